// The file-system calls behind a run's files, as one interface: the program
// uses the operating system's (PosixFileStore); a test puts a disk in its
// place that fails (ENOSPC, EIO) or stalls, to see what the monitor does then.
// Every call returns 0 or the error number (an errno value) of its failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace voxa {

enum class Creation {
  New,        // a new file: an existing one is an error (EEXIST), never replaced or emptied
  Emptied,    // created, or emptied when it exists (the lists, written afresh by START)
  Continued,  // created, or written on after what it holds (the lists of a run Reconnect starts)
};

class FileStore {
 public:
  virtual ~FileStore() = default;

  virtual int Create(const std::string& path, Creation how, int& descriptor) = 0;
  // Writes count bytes at offset; written tells how many made it when the
  // write fails part way (a full disk takes what fits).
  virtual int WriteAt(int descriptor, int64_t offset, const uint8_t* data, size_t count, size_t& written) = 0;
  // Reads exactly count bytes at offset; a file that ends before them is EIO.
  virtual int ReadAt(int descriptor, int64_t offset, uint8_t* data, size_t count) = 0;
  virtual int Resize(int descriptor, int64_t size) = 0;
  virtual int Size(int descriptor, int64_t& size) = 0;
  // The file's data on the medium (what a reader needs of the file's metadata included).
  virtual int SyncData(int descriptor) = 0;
  // The file's data and all its metadata on the medium.
  virtual int Sync(int descriptor) = 0;
  // 0 while path names the open file; ENOENT when the file was removed from
  // its directory (or its name was taken away), ESTALE when path now names another file.
  virtual int StillNamed(int descriptor, const std::string& path) = 0;
  virtual int Close(int descriptor) = 0;
  // Moves from to to, never replacing a file at to: EEXIST when one is there.
  virtual int RenameNoReplace(const std::string& from, const std::string& to) = 0;
  virtual int Remove(const std::string& path) = 0;
  // The size of the regular file at path: ENOENT when nothing is there,
  // EISDIR when something other than a regular file is.
  virtual int RegularFileSize(const std::string& path, int64_t& size) = 0;
  virtual int SyncDirectory(const std::string& directory) = 0;
};

// The operating system's calls.
class PosixFileStore final : public FileStore {
 public:
  int Create(const std::string& path, Creation how, int& descriptor) override;
  int WriteAt(int descriptor, int64_t offset, const uint8_t* data, size_t count, size_t& written) override;
  int ReadAt(int descriptor, int64_t offset, uint8_t* data, size_t count) override;
  int Resize(int descriptor, int64_t size) override;
  int Size(int descriptor, int64_t& size) override;
  int SyncData(int descriptor) override;
  int Sync(int descriptor) override;
  int StillNamed(int descriptor, const std::string& path) override;
  int Close(int descriptor) override;
  int RenameNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  int RegularFileSize(const std::string& path, int64_t& size) override;
  int SyncDirectory(const std::string& directory) override;
};

// The directory a path is in ("." for a bare name).
std::string DirectoryOf(const std::string& path);
// The last part of a path.
std::string NameOf(const std::string& path);

}  // namespace voxa
