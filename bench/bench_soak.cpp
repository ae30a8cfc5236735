// Soak: weeks of an 800 sps, 3-channel stream with faults, generated on the
// fly by the simulated device (never stored), through the whole run pipeline
// with every output on. Two pipelines take the same stream in lockstep, one
// in the run controller's 4096-byte reads, the other in reads of random size;
// their files are compared as they grow and at the end, so the outputs are
// shown not to depend on how the stream arrives. Memory is sampled every
// stream day and must stay flat.
//
// The recordings would take tens of gigabytes each. Once compared, the part
// of a recording between its first 64 KiB (header and start records, which
// STOP rewrites) and what is written so far is given back to the file system
// (a hole punched in the file), so the disk holds only the stretch still to
// be compared while the file keeps its size and layout.
//
//   bench_soak [--days 40] [--dir DIRECTORY]
//
// Prints a line per stream day (wall time, resident memory) and the totals;
// exits with 1 when the two pipelines disagree, memory grew or a count is off.
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/raster.h"
#include "pipeline/run_pipeline.h"
#include "tools/sim_stream.h"

namespace {

namespace fs = std::filesystem;
using voxa::sim::Fault;
using voxa::sim::FaultKind;

constexpr int kRate = 800;
constexpr int kChannels = 3;
constexpr int64_t kSecondsPerDay = 86400;
// Faults start after the first screens, so that the recording is dated by a
// fix from its first second, and come every this many seconds.
constexpr int64_t kFaultEvery = 600;
// Compared stretches of the recordings are given back this often.
constexpr int64_t kCompareEvery = 600;
constexpr int64_t kKeptHead = 64 * 1024;

uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Resident memory and its high-water mark, in KiB.
struct Memory {
  long rss = 0;
  long peak = 0;
};
Memory ReadMemory() {
  Memory memory;
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") status >> memory.rss;
    if (key == "VmHWM:") status >> memory.peak;
  }
  return memory;
}

bool Failed(const std::string& what) {
  std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  return false;
}

// One pipeline with its files in its own directory, fed in its own reads.
class Receiver {
 public:
  Receiver(const std::string& directory, bool randomReads, uint64_t seed)
      : dir_(directory), randomReads_(randomReads), random_(seed), raster_(680, 400), pipeline_(host_, raster_) {
    voxa::MonitorOptions options;
    options.parameters = {kRate, kChannels, 16};
    options.screenSeconds = 8;
    options.run.saveStream = options.run.saveErrorList = options.run.saveShift = true;
    options.run.loadExtHeader = false;
    pipeline_.Configure(options);
    pipeline_.ResizePlot(640, 360);
    pipeline_.StartRun(options.run, "");
    pipeline_.Arm({2026, 3, 7, 13, 0, 0});
    const voxa::OutputFailures failures = pipeline_.OpenOutputs(voxa::OutputPaths::In(dir_));
    if (failures.errorList || failures.shiftList || failures.stream) {
      std::fprintf(stderr, "cannot create the files in %s\n", dir_.c_str());
      std::exit(2);
    }
    // Our own descriptor on the recording: it stays valid when STOP renames it.
    recording_ = ::open((fs::path(dir_) / voxa::kWorkingRecordingName).c_str(), O_RDWR);
    if (recording_ < 0) {
      std::perror("open recording");
      std::exit(2);
    }
  }
  ~Receiver() { ::close(recording_); }

  // The next bytes from the line, in this receiver's reads.
  void Receive(const uint8_t* data, size_t count) {
    while (count > 0) {
      if (readLeft_ == 0) readLeft_ = randomReads_ ? 1 + NextRandom(random_) % 16384 : 4096;
      const size_t n = std::min(count, readLeft_);
      Take(data, n);
      data += n;
      count -= n;
      readLeft_ -= n;
    }
  }

  std::string Stop() {
    pipeline_.Finish();
    pipeline_.CloseOutputs();
    return pipeline_.SavedRecording();
  }

  int Recording() const { return recording_; }
  const std::string& Directory() const { return dir_; }
  const voxa::RunPipeline& Pipeline() const { return pipeline_; }
  const voxa::Raster& Plot() const { return raster_; }

 private:
  // As the run controller takes a read: text before the first marker is dropped.
  void Take(const uint8_t* data, size_t count) {
    size_t next = 0;
    if (!streaming_) {
      while (next < count && data[next] < voxa::kMarkerBlock) ++next;
      if (next == count) return;
      pipeline_.StartStream(data[next++]);
      streaming_ = true;
    }
    // A rest after a header record only delays the rest of the read.
    while (next < count) next += pipeline_.Feed(data + next, count - next);
  }

  std::string dir_;
  bool randomReads_;
  uint64_t random_;
  size_t readLeft_ = 0;
  bool streaming_ = false;
  voxa::NullHost host_;
  voxa::Raster raster_;
  voxa::RunPipeline pipeline_;
  int recording_ = -1;
};

int64_t FileSize(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

// Compares the recordings over what both have written since the last call
// (up to end, or to what both hold when end is negative); gives back what
// lies between the kept head and that point.
class RecordingComparison {
 public:
  RecordingComparison(int a, int b) : a_(a), b_(b), chunkA_(1 << 20), chunkB_(1 << 20) {}

  bool Advance(int64_t end = -1) {
    if (end < 0) end = std::min(FileSize(a_), FileSize(b_));
    while (compared_ < end) {
      const auto n = static_cast<size_t>(std::min<int64_t>(end - compared_, static_cast<int64_t>(chunkA_.size())));
      if (::pread(a_, chunkA_.data(), n, compared_) != static_cast<ssize_t>(n) ||
          ::pread(b_, chunkB_.data(), n, compared_) != static_cast<ssize_t>(n)) {
        return Failed("cannot read the recordings back");
      }
      if (std::memcmp(chunkA_.data(), chunkB_.data(), n) != 0) {
        return Failed("the recordings differ after byte " + std::to_string(compared_));
      }
      compared_ += static_cast<int64_t>(n);
    }
    const int64_t released = compared_ / 4096 * 4096;
    if (released > std::max(released_, kKeptHead)) {
      const int64_t from = std::max(released_, kKeptHead);
      for (const int fd : {a_, b_}) {
        if (::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, from, released - from) != 0) {
          std::perror("fallocate (punching a hole)");
          std::fprintf(stderr, "the file system cannot give back compared stretches; the soak would fill it\n");
          std::exit(2);
        }
      }
      released_ = released;
    }
    return true;
  }

  // After STOP: the head again (STOP rewrote it), the rest, and the sizes.
  bool Finish() {
    const int64_t sizeA = FileSize(a_);
    if (sizeA != FileSize(b_)) return Failed("the recordings differ in size");
    if (!Advance(sizeA)) return false;
    const int64_t head = std::min(kKeptHead, sizeA);
    compared_ = 0;
    if (!Advance(head)) return false;
    compared_ = sizeA;
    return true;
  }

  int64_t Compared() const { return compared_; }

 private:
  int a_, b_;
  std::vector<uint8_t> chunkA_, chunkB_;
  int64_t compared_ = 0;
  int64_t released_ = 0;
};

bool SameFile(const std::string& a, const std::string& b, int64_t& size) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  size = 0;
  for (;;) {
    fa.read(x.data(), static_cast<std::streamsize>(x.size()));
    fb.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (fa.gcount() != fb.gcount() || std::memcmp(x.data(), y.data(), static_cast<size_t>(fa.gcount())) != 0) {
      return false;
    }
    size += fa.gcount();
    if (fa.gcount() == 0) return true;
  }
}

bool SamePixels(const voxa::Raster& a, const voxa::Raster& b) {
  const size_t count = static_cast<size_t>(a.Width()) * static_cast<size_t>(a.Height());
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::memcmp(a.Data(), b.Data(), count * sizeof(uint32_t)) == 0;
}

// The fault of one stream second, turning through the simulated device's
// kinds; the GPS clock jumps alternate forward and back.
Fault FaultOf(int64_t second, uint64_t& random) {
  static constexpr FaultKind kKinds[] = {
      FaultKind::kDropByte,  FaultKind::kExtraByte,       FaultKind::kBrokenGps,       FaultKind::kMissingMark,
      FaultKind::kShortGps,  FaultKind::kUnlistedRecord,  FaultKind::kAlternateMarker, FaultKind::kBlockCount,
      FaultKind::kGpsJump,   FaultKind::kRepeatHeader,
  };
  const int64_t n = second / kFaultEvery;
  Fault fault;
  fault.kind = kKinds[n % std::size(kKinds)];
  fault.second = second;
  fault.block = static_cast<int>(NextRandom(random) % kRate);
  switch (fault.kind) {
    case FaultKind::kShortGps: fault.value = static_cast<int>(NextRandom(random) % 76); break;
    case FaultKind::kBlockCount: fault.value = kRate - 2 + static_cast<int>(NextRandom(random) % 5); break;
    case FaultKind::kGpsJump: fault.value = (n / std::size(kKinds)) % 2 == 0 ? 3 : -3; break;
    default: break;
  }
  return fault;
}

}  // namespace

int main(int argc, char** argv) {
  double days = 40;
  std::string directory = (fs::temp_directory_path() / "voxa-soak").string();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--days" && i + 1 < argc) {
      days = std::atof(argv[++i]);
    } else if (arg == "--dir" && i + 1 < argc) {
      directory = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--days N] [--dir DIRECTORY]\n", argv[0]);
      return 2;
    }
  }
  const auto seconds = static_cast<int64_t>(days * kSecondsPerDay);
  fs::remove_all(directory);
  fs::create_directories(fs::path(directory) / "a");
  fs::create_directories(fs::path(directory) / "b");
  struct statvfs disk {};
  if (::statvfs(directory.c_str(), &disk) == 0) {
    const double freeGb = static_cast<double>(disk.f_bavail) * static_cast<double>(disk.f_frsize) / 1e9;
    std::printf("soak: %.2f days of %d sps x %d channels in %s (%.1f GB free)\n", days, kRate, kChannels,
                directory.c_str(), freeGb);
    // In flight: two recordings' stretches between comparisons and two shift lists of ~80 MB.
    if (freeGb < 2.0) {
      std::fprintf(stderr, "less than 2 GB free\n");
      return 2;
    }
  }

  voxa::sim::SimOptions device;
  device.rate = kRate;
  device.channels = kChannels;
  device.deviceNumber = "015";
  device.start = {2026, 3, 7, 12, 0, 0};
  device.utcOffset = 18;
  device.amplitude = 200000;
  device.noise = 40;
  device.seed = 11;
  device.durationSeconds = seconds;
  device.preamble = "VOXA starting\r\n";
  device.bootLines = voxa::sim::DefaultBootReport(device, 5);
  voxa::sim::StreamGenerator generator(device);

  Receiver a((fs::path(directory) / "a").string(), false, 1);
  Receiver b((fs::path(directory) / "b").string(), true, 2);
  RecordingComparison recordings(a.Recording(), b.Recording());

  const auto started = std::chrono::steady_clock::now();
  const Memory atStart = ReadMemory();
  Memory afterFirstDay;
  uint64_t random = 5;
  int64_t blocksSent = 0;
  int64_t damagedBlocks = 0;
  bool ok = true;
  std::vector<uint8_t> bytes;
  bytes.reserve(32 * 1024);
  generator.Start(bytes);
  for (int64_t second = 0; second < seconds && ok; ++second) {
    int blocks = kRate;
    if (second > 0 && second % kFaultEvery == 0) {
      const Fault fault = FaultOf(second, random);
      generator.InjectFaults({fault});
      if (fault.kind == FaultKind::kBlockCount) blocks = fault.value;
      if (fault.kind == FaultKind::kDropByte || fault.kind == FaultKind::kExtraByte) ++damagedBlocks;
    }
    blocksSent += blocks;
    generator.NextSecond(bytes);
    a.Receive(bytes.data(), bytes.size());
    b.Receive(bytes.data(), bytes.size());
    bytes.clear();

    if ((second + 1) % kCompareEvery == 0) ok = recordings.Advance();
    if ((second + 1) % kSecondsPerDay == 0) {
      const Memory memory = ReadMemory();
      if (second + 1 == kSecondsPerDay) afterFirstDay = memory;
      const double minutes =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60.0;
      std::printf("day %3lld: %6.1f min, resident %ld KiB (peak %ld KiB), %lld blocks, recordings compared %.1f GB\n",
                  static_cast<long long>((second + 1) / kSecondsPerDay), minutes, memory.rss, memory.peak,
                  static_cast<long long>(a.Pipeline().Statistics().GoodBlocks()),
                  static_cast<double>(recordings.Compared()) / 1e9);
      std::fflush(stdout);
    }
  }

  const std::string nameA = a.Stop();
  const std::string nameB = b.Stop();
  ok = ok && recordings.Finish();
  const double minutes = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60.0;
  const Memory atEnd = ReadMemory();

  if (nameA != nameB || nameA.empty()) ok = Failed("recording names " + nameA + " and " + nameB);
  for (const char* list : {"error.csv", "shift.csv"}) {
    int64_t size = 0;
    if (!SameFile(a.Directory() + "/" + list, b.Directory() + "/" + list, size)) {
      ok = Failed(std::string(list) + " differs");
    } else {
      std::printf("%s: %lld bytes, the same in both\n", list, static_cast<long long>(size));
    }
  }
  const voxa::BlockStatistics& sa = a.Pipeline().Statistics();
  const voxa::BlockStatistics& sb = b.Pipeline().Statistics();
  if (sa.GoodBlocks() != sb.GoodBlocks() || sa.BlockErrors() != sb.BlockErrors() ||
      sa.SecondErrors() != sb.SecondErrors() || sa.RateErrors() != sb.RateErrors()) {
    ok = Failed("the counts differ");
  }
  if (!SamePixels(a.Plot(), b.Plot())) ok = Failed("the plots differ");
  // The last block is still open at STOP: it is recorded but not judged.
  if (sa.GoodBlocks() + sa.BlockErrors() != blocksSent - 1) {
    ok = Failed("blocks judged " + std::to_string(sa.GoodBlocks() + sa.BlockErrors()) + ", sent " +
                std::to_string(blocksSent));
  }
  if (sa.BlockErrors() != damagedBlocks) ok = Failed("block errors " + std::to_string(sa.BlockErrors()));
  // Growth after the first day would be a leak or an unbounded buffer.
  const long growth = atEnd.peak - (afterFirstDay.peak > 0 ? afterFirstDay.peak : atEnd.peak);
  if (growth > 1024) ok = Failed("peak memory grew by " + std::to_string(growth) + " KiB after the first day");

  std::printf("recording %s: %.2f GB, the same in both\n", nameA.c_str(), static_cast<double>(recordings.Compared()) / 1e9);
  std::printf("blocks: %lld good, %lld errors; second errors %lld, sample-rate errors %lld\n",
              static_cast<long long>(sa.GoodBlocks()), static_cast<long long>(sa.BlockErrors()),
              static_cast<long long>(sa.SecondErrors()), static_cast<long long>(sa.RateErrors()));
  std::printf("time %.1f min for %.2f days (two pipelines and the generator); resident at start %ld KiB, "
              "peak after day 1 %ld KiB, peak at end %ld KiB\n",
              minutes, days, atStart.rss, afterFirstDay.peak, atEnd.peak);
  std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
  fs::remove_all(directory);
  return ok ? 0 : 1;
}
