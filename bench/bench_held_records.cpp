// What opening a full day file for appending costs: a day of 800 sps on one
// channel (the largest day file the monitor writes) is packed into an SDS
// day file first (not measured), then read as a run reads it when it first
// writes to that file: every record's header, adjoining records merged into
// spans. A live run does this on the port's thread once per channel, at its
// start (a new day's file at midnight is empty), so it must stay short.
//
//   bench_held_records [SECONDS]     (86400 unless given)
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mseed/archive.h"
#include "mseed/held_records.h"
#include "mseed/packer.h"

namespace fs = std::filesystem;

namespace {

class FileSink final : public voxa::PackedRecordSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void OnPackedRecord(int32_t, voxa::Micros, const uint8_t* record, size_t length) override {
    std::fwrite(record, 1, length, file_);
    ++records;
  }
  int64_t records = 0;

 private:
  std::FILE* file_;
};

}  // namespace

int main(int argc, char** argv) {
  const int64_t seconds = argc > 1 ? std::atoll(argv[1]) : 86400;
  constexpr int32_t kRate = 800;
  const fs::path dir = fs::temp_directory_path() / ("voxa-bench-held-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string name = "day";
  std::FILE* file = std::fopen((dir / name).c_str(), "wb");
  if (file == nullptr) {
    std::perror("bench_held_records");
    return 1;
  }
  FileSink sink(file);
  {
    voxa::ChannelPacker packer;
    packer.Open({"XX", "V015", "", "DHZ"}, kRate, true, sink, 0);
    const voxa::Micros start = *voxa::UtcInstant(2026, 1, 1, 0, 0, 0);
    std::vector<int32_t> second(kRate);
    uint64_t noise = 1;
    for (int64_t s = 0; s < seconds; ++s) {
      for (int32_t i = 0; i < kRate; ++i) {
        noise = noise * 6364136223846793005ULL + 1442695040888963407ULL;
        const double t = static_cast<double>(s) + static_cast<double>(i) / kRate;
        second[static_cast<size_t>(i)] =
            static_cast<int32_t>(20000 * std::sin(6.283185307 * t) + static_cast<double>(noise >> 58) * 8);
      }
      packer.Append(start + s * voxa::kMicrosPerSecond, second.data(), kRate, 1, {100, true, false});
    }
    packer.Close();
  }
  std::fclose(file);
  const auto bytes = fs::file_size(dir / name);

  voxa::DayFiles files(dir.string(), false);
  double best = 1e9;
  size_t spans = 0;
  for (int round = 0; round < 5; ++round) {
    const auto begin = std::chrono::steady_clock::now();
    voxa::HeldRecords held;
    files.ReadHeld(name, [&held](const uint8_t* data, size_t count) { held.Take(data, count); });
    held.Finish();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    best = std::min(best, took);
    spans = held.Spans();
  }
  std::printf("%" PRId64 " s at %d sps: %" PRId64 " records, %.1f MB; read in %.0f ms (best of 5, file in the page "
              "cache), %zu span%s held\n",
              seconds, kRate, sink.records, static_cast<double>(bytes) / 1e6, best * 1e3, spans,
              spans == 1 ? "" : "s");
  fs::remove_all(dir);
  return 0;
}
