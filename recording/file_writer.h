// The writer seam: every write of a run's files goes through one FileWriter.
// The owners of the files (the recording, the lists, any other output of the
// stream) hand it their bytes and steps and go on; the writer does them in
// order, file by file, on a FileStore.
//
// It runs in one of two modes. Immediate: each step is done before the call
// returns, on the caller's thread (tools, the core's tests, the stored runs).
// Queued: the steps wait in a queue until a thread of the program calls
// RunPending; the program runs the queue on a writer thread of its own, so
// that a slow or stalled disk never holds up the reading of the port. The
// writer itself starts no thread: the core stays free of them.
//
// The queue holds at most kQueueLimit bytes. A file whose bytes would take
// it past the limit (the disk has stopped taking data for minutes) fails
// with a message saying so, and takes no more data.
//
// Failures are kept per file and never thrown at the caller: a file fails
// once, with the first reason (the file's name and the system's text), and
// takes no more data after it; what it holds is still synced, closed and
// named, so that what reached the disk stays there and readable. The caller
// asks for the outcome, or is woken (SetWake) when a file fails and when the
// queue has run empty.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/records.h"
#include "recording/file_store.h"

namespace voxa {

// A failed step of a job, or of a file the caller reads and writes directly.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using FileId = int32_t;
inline constexpr FileId kNoFile = -1;

// What a job (Run) may do with its file, where the file is written. Each
// call throws IoError when it fails.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // The bytes the file holds.
  virtual int64_t Size() = 0;
  virtual void ReadAt(int64_t offset, uint8_t* data, size_t count) = 0;
  virtual void WriteAt(int64_t offset, const uint8_t* data, size_t count) = 0;
  // Cuts the file to size (a job that moved the file's end down).
  virtual void Resize(int64_t size) = 0;
};

using FileJob = std::function<void(FileAccess&)>;

// The name a file gets when it is closed: name in its own directory, with
// "-2", "-3", ... before the extension when that is taken; when no such name
// can be used, the same with fallback. Empty: the file keeps its name.
struct ClosingName {
  std::string name;
  std::string fallback;
};

struct FileOutcome {
  std::string path;      // where it was created
  std::string name;      // its name once closed (in the same directory); "" before
  bool closed = false;   // closed, and its directory synced
  bool failed = false;
  std::string failure;   // the first failure, for the operator
};

class FileWriter {
 public:
  enum class Mode { Immediate, Queued };
  // Bytes waiting for the disk at most: some twelve minutes of the line's
  // 11,520 bytes per second.
  static constexpr size_t kQueueLimit = 8 * 1024 * 1024;

  explicit FileWriter(FileStore& store, Mode mode = Mode::Immediate);
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  Mode WriterMode() const { return mode_; }
  // The store for the files created from now on; only while the writer is idle.
  void SetStore(FileStore& store);
  FileStore& Store() { return *store_; }

  // --- The owners of files --------------------------------------------------------
  // Creates (or opens, to write on) path at once, on the caller's thread (its
  // directory entry reaches the disk later, in order). kNoFile and the error
  // number when it cannot.
  FileId Create(const std::string& path, Creation how, int& error);
  // Bytes at the file's end; copied, the caller's buffer is free on return.
  void Append(FileId file, Bytes bytes);
  // Bytes at an offset inside what the file holds.
  void WriteAt(FileId file, int64_t offset, Bytes bytes);
  // A step that needs the file itself (reading back): done in order with the rest.
  void Run(FileId file, FileJob job);
  // What the file holds to the disk, and a check that its path still names
  // it (a file removed or replaced meanwhile fails). A sync already waiting
  // covers this one.
  void Sync(FileId file);
  // The last step: synced, closed, named, its directory synced.
  void Close(FileId file, const ClosingName& naming = {});

  // A failure of a file the caller opens itself (a file that could not be
  // created in the middle of a run), kept and reported with the others.
  void ReportFailure(const std::string& text);

  FileOutcome Outcome(FileId file) const;
  // The failures since the last ClearFailures, in the order they happened.
  std::vector<std::string> Failures() const;
  void ClearFailures();
  // Drops a closed file's outcome.
  void Forget(FileId file);
  // Every step handed over is done.
  bool Idle() const;
  size_t QueuedBytes() const;

  // --- The thread that runs a queued writer's steps ---------------------------------
  // Called, from whichever thread notices, when a file has failed and when
  // the queue has run empty. It must not call back into the writer's steps.
  void SetWake(std::function<void()> wake);
  // Blocks until there is a step to run (true) or Stop was called and none is left (false).
  bool WaitForWork();
  // Runs the steps waiting, until the queue is empty.
  void RunPending();
  void Stop();

 private:
  enum class Step { Append, WriteAt, Job, Sync, Close, SyncDirectory };
  struct Op {
    Step step = Step::Append;
    FileId file = kNoFile;
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
    FileJob job;
    ClosingName naming;
  };
  // One file. The descriptor, its end and whether it still takes data are the
  // runner's; the outcome is shared (under the lock).
  struct Slot {
    int descriptor = -1;
    int64_t end = 0;
    bool takesData = true;     // no failure so far
    bool named = true;         // its path still names it
    bool refused = false;      // past the queue's limit: appends are dropped at once
    bool syncWaiting = false;  // a Sync is in the queue
    bool closeQueued = false;  // Close was handed over: nothing follows it
    size_t waitingSteps = 0;
    FileOutcome outcome;
  };
  class Access;

  void Push(Op op, bool bytesCounted);
  std::vector<uint8_t> SpareBuffer();
  void Execute(Op& op, Slot& slot);
  void Fail(Slot& slot, const std::string& text);
  void ExecuteClose(Op& op, Slot& slot);
  std::string CloseName(Slot& slot, const std::string& name);
  void WakeIfDue(bool failed);

  const Mode mode_;
  FileStore* store_;
  mutable std::mutex lock_;
  std::condition_variable workArrived_;
  std::vector<Op> queue_;  // a ring: head_ and count_
  size_t head_ = 0;
  size_t count_ = 0;
  bool running_ = false;   // a step is being done outside the lock
  size_t queuedBytes_ = 0;
  bool stopping_ = false;
  std::vector<std::vector<uint8_t>> spare_;
  std::map<FileId, Slot> files_;
  std::vector<std::string> failures_;
  FileId nextId_ = 0;
  std::function<void()> wake_;
};

}  // namespace voxa
