// The writer: a queue of file steps, done in order on a FileStore.
#include "recording/file_writer.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace voxa {
namespace {

// Spare buffers kept for the next bytes handed over, so that steady writing
// allocates nothing; larger ones go back to the system.
constexpr size_t kSpareBuffers = 8;
constexpr size_t kSpareCapacity = 1024 * 1024;
// Numbered names tried before a name is given up.
constexpr int kNumberedNames = 100000;

std::string SystemText(int error) {
  char buffer[256];
  // The GNU strerror_r: the text, in buffer or static.
  return strerror_r(error, buffer, sizeof buffer);
}

std::string Failure(const char* what, const std::string& path, int error) {
  return std::string(what) + " '" + path + "': " + SystemText(error);
}

std::string GoneFailure(const std::string& path, int error) {
  if (error == ESTALE) return "'" + path + "' was replaced or moved away while it was written";
  if (error == ENOENT) return "'" + path + "' was removed while it was written";
  return Failure("Cannot check", path, error);
}

// name, then name with "-2", "-3", ... before its extension.
std::string NumberedName(const std::string& name, int number) {
  if (number <= 1) return name;
  const size_t dot = name.find_last_of('.');
  const bool extension = dot != std::string::npos && dot > 0;
  const std::string stem = extension ? name.substr(0, dot) : name;
  const std::string tail = extension ? name.substr(dot) : "";
  return stem + "-" + std::to_string(number) + tail;
}

std::string InDirectory(const std::string& directory, const std::string& name) {
  return directory == "." ? name : directory + "/" + name;
}

}  // namespace

// What a job gets: its file, through the store, on the runner's thread.
class FileWriter::Access final : public FileAccess {
 public:
  Access(FileStore& store, Slot& slot) : store_(store), slot_(slot) {}
  int64_t Size() override { return slot_.end; }
  void ReadAt(int64_t offset, uint8_t* data, size_t count) override {
    if (const int error = store_.ReadAt(slot_.descriptor, offset, data, count)) {
      throw IoError(Failure("Cannot read back", slot_.outcome.path, error));
    }
  }
  void WriteAt(int64_t offset, const uint8_t* data, size_t count) override {
    size_t written = 0;
    const int error = store_.WriteAt(slot_.descriptor, offset, data, count, written);
    slot_.end = std::max(slot_.end, offset + static_cast<int64_t>(written));
    if (error != 0) throw IoError(Failure("Cannot write to", slot_.outcome.path, error));
  }
  void Resize(int64_t size) override {
    if (const int error = store_.Resize(slot_.descriptor, size)) {
      throw IoError(Failure("Cannot write to", slot_.outcome.path, error));
    }
    slot_.end = size;
  }

 private:
  FileStore& store_;
  Slot& slot_;
};

FileWriter::FileWriter(FileStore& store, Mode mode) : mode_(mode), store_(&store) { queue_.resize(64); }

FileWriter::~FileWriter() {
  // Files still open when the writer goes (the program torn down during a
  // run) are closed as they stand.
  for (auto& [id, slot] : files_) {
    if (slot.descriptor >= 0) store_->Close(slot.descriptor);
  }
}

void FileWriter::SetStore(FileStore& store) {
  std::lock_guard guard(lock_);
  store_ = &store;
}

// --- The owners of files ----------------------------------------------------------------

FileId FileWriter::Create(const std::string& path, Creation how, int& error) {
  int descriptor = -1;
  error = store_->Create(path, how, descriptor);
  if (error != 0) return kNoFile;
  // A file written on goes on after what it holds.
  int64_t end = 0;
  if (how == Creation::Continued) {
    error = store_->Size(descriptor, end);
    if (error != 0) {
      store_->Close(descriptor);
      return kNoFile;
    }
  }
  FileId id = kNoFile;
  {
    std::lock_guard guard(lock_);
    id = nextId_++;
    Slot& slot = files_[id];
    slot.descriptor = descriptor;
    slot.end = end;
    slot.outcome.path = path;
  }
  // The new directory entry reaches the disk too, or a power cut could lose
  // the whole file however often its data was synced.
  Op op;
  op.step = Step::SyncDirectory;
  op.file = id;
  Push(std::move(op), false);
  return id;
}

void FileWriter::Append(FileId file, Bytes bytes) {
  if (bytes.empty()) return;
  Op op;
  op.step = Step::Append;
  op.file = file;
  {
    std::lock_guard guard(lock_);
    op.bytes = SpareBuffer();
  }
  op.bytes.assign(bytes.begin(), bytes.end());
  Push(std::move(op), true);
}

void FileWriter::WriteAt(FileId file, int64_t offset, Bytes bytes) {
  if (bytes.empty()) return;
  Op op;
  op.step = Step::WriteAt;
  op.file = file;
  op.offset = offset;
  op.bytes.assign(bytes.begin(), bytes.end());
  Push(std::move(op), true);
}

void FileWriter::Run(FileId file, FileJob job) {
  Op op;
  op.step = Step::Job;
  op.file = file;
  op.job = std::move(job);
  Push(std::move(op), false);
}

void FileWriter::Sync(FileId file) {
  Op op;
  op.step = Step::Sync;
  op.file = file;
  Push(std::move(op), false);
}

void FileWriter::Close(FileId file, const ClosingName& naming) {
  Op op;
  op.step = Step::Close;
  op.file = file;
  op.naming = naming;
  Push(std::move(op), false);
}

std::vector<uint8_t> FileWriter::SpareBuffer() {
  if (spare_.empty()) return {};
  std::vector<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

void FileWriter::Push(Op op, bool bytesCounted) {
  bool refused = false;
  {
    std::lock_guard guard(lock_);
    const auto found = files_.find(op.file);
    if (found == files_.end()) return;
    Slot& slot = found->second;
    const bool data = op.step == Step::Append || op.step == Step::WriteAt || op.step == Step::Job;
    // A failed file takes no more data; a closed one takes nothing.
    if (slot.closeQueued) return;
    if (op.step == Step::Close) slot.closeQueued = true;
    if (data && (slot.refused || slot.outcome.failed)) return;
    if (op.step == Step::Sync) {
      if (slot.syncWaiting) return;
      slot.syncWaiting = true;
    }
    const size_t size = bytesCounted ? op.bytes.size() : 0;
    if (queuedBytes_ + size > kQueueLimit) {
      slot.refused = true;
      if (!slot.outcome.failed) {
        slot.outcome.failed = true;
        slot.outcome.failure = "Cannot write to '" + slot.outcome.path +
                               "': the disk is not taking the data; more than " +
                               std::to_string(kQueueLimit / (1024 * 1024)) + " MiB wait for it in memory";
        failures_.push_back(slot.outcome.failure);
      }
      refused = true;
    } else {
      if (count_ == queue_.size()) {
        // A full ring doubles, oldest step first.
        std::vector<Op> larger(queue_.size() * 2);
        for (size_t i = 0; i < count_; ++i) larger[i] = std::move(queue_[(head_ + i) % queue_.size()]);
        queue_ = std::move(larger);
        head_ = 0;
      }
      queuedBytes_ += size;
      ++slot.waitingSteps;
      queue_[(head_ + count_) % queue_.size()] = std::move(op);
      ++count_;
    }
  }
  if (refused) {
    WakeIfDue(true);
    return;
  }
  if (mode_ == Mode::Immediate) {
    RunPending();
  } else {
    workArrived_.notify_one();
  }
}

FileOutcome FileWriter::Outcome(FileId file) const {
  std::lock_guard guard(lock_);
  const auto found = files_.find(file);
  return found == files_.end() ? FileOutcome{} : found->second.outcome;
}

std::vector<std::string> FileWriter::Failures() const {
  std::lock_guard guard(lock_);
  return failures_;
}

void FileWriter::ClearFailures() {
  std::lock_guard guard(lock_);
  failures_.clear();
}

void FileWriter::Forget(FileId file) {
  std::lock_guard guard(lock_);
  const auto found = files_.find(file);
  if (found != files_.end() && found->second.outcome.closed && found->second.waitingSteps == 0) files_.erase(found);
}

bool FileWriter::Idle() const {
  std::lock_guard guard(lock_);
  return count_ == 0 && !running_;
}

size_t FileWriter::QueuedBytes() const {
  std::lock_guard guard(lock_);
  return queuedBytes_;
}

// --- The runner ---------------------------------------------------------------------------

void FileWriter::SetWake(std::function<void()> wake) {
  std::lock_guard guard(lock_);
  wake_ = std::move(wake);
}

bool FileWriter::WaitForWork() {
  std::unique_lock guard(lock_);
  workArrived_.wait(guard, [this] { return count_ > 0 || stopping_; });
  return count_ > 0;
}

void FileWriter::Stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  workArrived_.notify_all();
}

void FileWriter::RunPending() {
  std::unique_lock guard(lock_);
  // One runner at a time: a step that wakes the caller, who hands over more,
  // leaves the new steps to the loop already running.
  if (running_) return;
  running_ = true;
  while (count_ > 0) {
    Op op = std::move(queue_[head_]);
    head_ = (head_ + 1) % queue_.size();
    --count_;
    Slot& slot = files_.at(op.file);
    // A sync asked for while this one runs must run again afterwards.
    if (op.step == Step::Sync) slot.syncWaiting = false;
    guard.unlock();
    Execute(op, slot);
    guard.lock();
    if (op.step == Step::Append || op.step == Step::WriteAt) queuedBytes_ -= op.bytes.size();
    --slot.waitingSteps;
    if (op.step == Step::Append && spare_.size() < kSpareBuffers && op.bytes.capacity() <= kSpareCapacity) {
      op.bytes.clear();
      spare_.push_back(std::move(op.bytes));
    }
  }
  running_ = false;
  guard.unlock();
  WakeIfDue(false);
}

void FileWriter::WakeIfDue(bool failed) {
  std::function<void()> wake;
  {
    std::lock_guard guard(lock_);
    if (!failed && (count_ > 0 || running_)) return;
    wake = wake_;
  }
  if (wake) wake();
}

void FileWriter::ReportFailure(const std::string& text) {
  {
    std::lock_guard guard(lock_);
    failures_.push_back(text);
  }
  WakeIfDue(true);
}

void FileWriter::Fail(Slot& slot, const std::string& text) {
  slot.takesData = false;
  {
    std::lock_guard guard(lock_);
    if (slot.outcome.failed) return;
    slot.outcome.failed = true;
    slot.outcome.failure = text;
    failures_.push_back(text);
  }
  WakeIfDue(true);
}

void FileWriter::Execute(Op& op, Slot& slot) {
  FileStore& store = *store_;
  const std::string& path = slot.outcome.path;
  switch (op.step) {
    case Step::Append:
    case Step::WriteAt: {
      if (!slot.takesData) return;
      const int64_t offset = op.step == Step::Append ? slot.end : op.offset;
      size_t written = 0;
      const int error = store.WriteAt(slot.descriptor, offset, op.bytes.data(), op.bytes.size(), written);
      slot.end = std::max(slot.end, offset + static_cast<int64_t>(written));
      if (error != 0) Fail(slot, Failure("Cannot write to", path, error));
      return;
    }
    case Step::Job: {
      if (!slot.takesData) return;
      Access access(store, slot);
      try {
        op.job(access);
      } catch (const std::exception& e) {
        Fail(slot, e.what());
      }
      return;
    }
    case Step::Sync: {
      // What the file holds goes to the disk also after a failure.
      if (const int error = store.SyncData(slot.descriptor)) Fail(slot, Failure("Cannot write to", path, error));
      if (slot.named) {
        if (const int error = store.StillNamed(slot.descriptor, path)) {
          slot.named = false;
          Fail(slot, GoneFailure(path, error));
        }
      }
      return;
    }
    case Step::SyncDirectory:
      if (const int error = store.SyncDirectory(DirectoryOf(path))) {
        Fail(slot, Failure("Cannot write the directory of", path, error));
      }
      return;
    case Step::Close:
      ExecuteClose(op, slot);
      return;
  }
}

void FileWriter::ExecuteClose(Op& op, Slot& slot) {
  FileStore& store = *store_;
  const std::string path = slot.outcome.path;
  // Data and size reach the disk before the name says the file is finished.
  if (const int error = store.Sync(slot.descriptor)) Fail(slot, Failure("Cannot write to", path, error));
  if (slot.named) {
    if (const int error = store.StillNamed(slot.descriptor, path)) {
      slot.named = false;
      Fail(slot, GoneFailure(path, error));
    }
  }
  const int closeError = store.Close(slot.descriptor);
  slot.descriptor = -1;
  if (closeError != 0) Fail(slot, Failure("Cannot close", path, closeError));

  // A file that its path no longer names is never renamed: the path would
  // move whatever took its place.
  std::string name;
  if (slot.named) {
    name = NameOf(path);
    if (!op.naming.name.empty()) {
      name = CloseName(slot, op.naming.name);
      if (name.empty() && !op.naming.fallback.empty()) name = CloseName(slot, op.naming.fallback);
      if (name.empty()) name = NameOf(path);
    }
    if (const int error = store.SyncDirectory(DirectoryOf(path))) {
      Fail(slot, Failure("Cannot write the directory of", path, error));
    }
  }
  std::lock_guard guard(lock_);
  slot.outcome.closed = true;
  slot.outcome.name = name;
}

std::string FileWriter::CloseName(Slot& slot, const std::string& wanted) {
  const std::string& path = slot.outcome.path;
  const std::string directory = DirectoryOf(path);
  const std::string current = NameOf(path);
  for (int number = 1; number <= kNumberedNames; ++number) {
    const std::string candidate = NumberedName(wanted, number);
    if (candidate == current) continue;
    const int error = store_->RenameNoReplace(path, InDirectory(directory, candidate));
    if (error == 0) return candidate;
    if (error != EEXIST) return "";
  }
  return "";
}

}  // namespace voxa
