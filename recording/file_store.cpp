// The operating system's file calls, each retried on EINTR and answered with
// an error number.
#include "recording/file_store.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace voxa {
namespace {

// Files are readable by everyone, as the monitor's files always were.
constexpr mode_t kFileMode = 0644;

int ErrorOf(int result) { return result < 0 ? errno : 0; }

// renameat2 with RENAME_NOREPLACE; where the file system or the kernel does
// not offer it, a hard link (which never replaces either) and the removal of
// the old name.
int RenameWithoutReplacing(const char* from, const char* to) {
#ifdef SYS_renameat2
  if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  const int error = errno;
  if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return error;
#endif
  if (link(from, to) != 0) return errno;
  if (unlink(from) != 0) {
    // Both names hold the file now; the old one stays rather than lose it.
    const int error = errno;
    unlink(to);
    return error;
  }
  return 0;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int PosixFileStore::Create(const std::string& path, Creation how, int& descriptor) {
  int flags = O_RDWR | O_CREAT | O_CLOEXEC;
  if (how == Creation::New) flags |= O_EXCL;
  if (how == Creation::Emptied) flags |= O_TRUNC;
  do {
    descriptor = open(path.c_str(), flags, kFileMode);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor < 0 ? errno : 0;
}

int PosixFileStore::WriteAt(int descriptor, int64_t offset, const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  while (written < count) {
    const ssize_t n = pwrite(descriptor, data + written, count - written, static_cast<off_t>(offset) + static_cast<off_t>(written));
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing without an error would loop for ever.
    return n < 0 ? errno : ENOSPC;
  }
  return 0;
}

int PosixFileStore::ReadAt(int descriptor, int64_t offset, uint8_t* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = pread(descriptor, data + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? errno : EIO;
  }
  return 0;
}

int PosixFileStore::Resize(int descriptor, int64_t size) {
  int result = 0;
  do {
    result = ftruncate(descriptor, static_cast<off_t>(size));
  } while (result < 0 && errno == EINTR);
  return ErrorOf(result);
}

int PosixFileStore::Size(int descriptor, int64_t& size) {
  struct stat status {};
  if (fstat(descriptor, &status) != 0) return errno;
  size = static_cast<int64_t>(status.st_size);
  return 0;
}

int PosixFileStore::SyncData(int descriptor) { return ErrorOf(fdatasync(descriptor)); }

int PosixFileStore::Sync(int descriptor) { return ErrorOf(fsync(descriptor)); }

int PosixFileStore::StillNamed(int descriptor, const std::string& path) {
  struct stat open {};
  if (fstat(descriptor, &open) != 0) return errno;
  if (open.st_nlink == 0) return ENOENT;
  struct stat named {};
  if (stat(path.c_str(), &named) != 0) return errno == ENOENT ? ENOENT : errno;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino ? 0 : ESTALE;
}

int PosixFileStore::Close(int descriptor) {
  // Linux closes the descriptor even when close reports EINTR: never retried.
  return ErrorOf(close(descriptor));
}

int PosixFileStore::RenameNoReplace(const std::string& from, const std::string& to) {
  return RenameWithoutReplacing(from.c_str(), to.c_str());
}

int PosixFileStore::Remove(const std::string& path) { return ErrorOf(unlink(path.c_str())); }

int PosixFileStore::RegularFileSize(const std::string& path, int64_t& size) {
  size = 0;
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return EISDIR;
  size = static_cast<int64_t>(status.st_size);
  return 0;
}

int PosixFileStore::SyncDirectory(const std::string& directory) {
  const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return errno;
  int error = ErrorOf(fsync(descriptor));
  // Some file systems cannot sync a directory; its entries then go with the files.
  if (error == EINVAL || error == EROFS) error = 0;
  close(descriptor);
  return error;
}

}  // namespace voxa
