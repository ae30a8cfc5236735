// A disk for tests: the operating system's underneath, with the faults a
// test asks for (a write that fails once so many bytes went to a file, a
// rename that fails, a stall until released) and a log of the calls made.
// Safe to use from the writer's thread while the test's thread steers it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "recording/file_store.h"

namespace voxa::test {

class TestFileStore final : public FileStore {
 public:
  // Writes to the file whose name is name fail with error once `after`
  // bytes in all have been written to it (what fits before is written).
  void FailWrites(const std::string& name, int error, int64_t after = 0) {
    std::lock_guard guard(lock_);
    failWrites_[name] = {error, after};
  }
  // Syncs of the file whose name is name fail with error (0: they work again).
  void FailSyncs(const std::string& name, int error) {
    std::lock_guard guard(lock_);
    failSyncs_[name] = error;
  }
  // Syncs are logged but not done: tests that run many whole runs need not
  // wait for the disk.
  void SkipSyncs() {
    std::lock_guard guard(lock_);
    skipSyncs_ = true;
  }
  void FailRenames(int error) {
    std::lock_guard guard(lock_);
    renameError_ = error;
  }
  // From now on every write waits until Release.
  void Stall() {
    std::lock_guard guard(lock_);
    stalled_ = true;
  }
  void Release() {
    {
      std::lock_guard guard(lock_);
      stalled_ = false;
    }
    changed_.notify_all();
  }
  // A write is waiting in the stall.
  bool Stalling() const {
    std::lock_guard guard(lock_);
    return stalling_ > 0;
  }
  std::vector<std::string> Calls() const {
    std::lock_guard guard(lock_);
    return calls_;
  }
  void ClearCalls() {
    std::lock_guard guard(lock_);
    calls_.clear();
  }

  int Create(const std::string& path, Creation how, int& descriptor) override {
    const int error = real_.Create(path, how, descriptor);
    std::lock_guard guard(lock_);
    if (error == 0) names_[descriptor] = NameOf(path);
    Log("create " + NameOf(path) + (error != 0 ? " failed" : ""));
    return error;
  }
  int WriteAt(int descriptor, int64_t offset, const uint8_t* data, size_t count, size_t& written) override {
    written = 0;
    size_t allowed = count;
    int error = 0;
    {
      std::unique_lock guard(lock_);
      ++stalling_;
      changed_.wait(guard, [this] { return !stalled_; });
      --stalling_;
      const std::string& name = names_[descriptor];
      Log("write " + name);
      const auto fault = failWrites_.find(name);
      if (fault != failWrites_.end()) {
        int64_t& left = fault->second.second;
        if (static_cast<int64_t>(count) > left) {
          allowed = static_cast<size_t>(left);
          error = fault->second.first;
        }
        left -= static_cast<int64_t>(allowed);
      }
    }
    if (allowed > 0) {
      if (const int real = real_.WriteAt(descriptor, offset, data, allowed, written)) return real;
    }
    return error;
  }
  int ReadAt(int descriptor, int64_t offset, uint8_t* data, size_t count) override {
    return real_.ReadAt(descriptor, offset, data, count);
  }
  int Resize(int descriptor, int64_t size) override { return real_.Resize(descriptor, size); }
  int Size(int descriptor, int64_t& size) override { return real_.Size(descriptor, size); }
  int SyncData(int descriptor) override {
    if (const int error = SyncFault(descriptor)) return error;
    if (LogFor("sync", descriptor)) return 0;
    return real_.SyncData(descriptor);
  }
  int Sync(int descriptor) override {
    if (const int error = SyncFault(descriptor)) return error;
    if (LogFor("fsync", descriptor)) return 0;
    return real_.Sync(descriptor);
  }
  int StillNamed(int descriptor, const std::string& path) override { return real_.StillNamed(descriptor, path); }
  int Close(int descriptor) override {
    LogFor("close", descriptor);
    return real_.Close(descriptor);
  }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    int error = 0;
    {
      std::lock_guard guard(lock_);
      error = renameError_;
      Log("rename " + NameOf(from) + " " + NameOf(to));
    }
    return error != 0 ? error : real_.RenameNoReplace(from, to);
  }
  int Remove(const std::string& path) override {
    Logged("remove " + NameOf(path));
    return real_.Remove(path);
  }
  int RegularFileSize(const std::string& path, int64_t& size) override { return real_.RegularFileSize(path, size); }
  int SyncDirectory(const std::string& directory) override {
    Logged("syncdir");
    return skipSyncs_ ? 0 : real_.SyncDirectory(directory);
  }

 private:
  void Log(const std::string& call) { calls_.push_back(call); }
  void Logged(const std::string& call) {
    std::lock_guard guard(lock_);
    Log(call);
  }
  int SyncFault(int descriptor) {
    std::lock_guard guard(lock_);
    const auto fault = failSyncs_.find(names_[descriptor]);
    return fault == failSyncs_.end() ? 0 : fault->second;
  }
  // Logs the call; true when syncs are skipped.
  bool LogFor(const char* what, int descriptor) {
    std::lock_guard guard(lock_);
    Log(std::string(what) + " " + names_[descriptor]);
    return skipSyncs_;
  }

  PosixFileStore real_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::map<int, std::string> names_;
  std::map<std::string, std::pair<int, int64_t>> failWrites_;
  std::map<std::string, int> failSyncs_;
  int renameError_ = 0;
  bool skipSyncs_ = false;
  bool stalled_ = false;
  int stalling_ = 0;
  std::vector<std::string> calls_;
};

}  // namespace voxa::test
