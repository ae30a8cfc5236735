// The station's log (no floods) and its care of the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/disk_guard.h"
#include "station/event_log.h"
#include "station/status_document.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;

struct Logged {
  std::vector<std::string> lines;
  int64_t now = 1000;
  EventLog log{[this](std::string_view line) { lines.emplace_back(line); }, [this] { return now; }, false};
};

TEST(EventLog, ARepeatedErrorIsSummarisedOnceAMinute) {
  Logged t;
  for (int i = 0; i < 100; ++i) t.log.ErrorLine("12:00:01 ; -3; sec");
  t.log.ErrorLine("12:00:02 ; 1; gps");
  // Five of a kind in a minute are written; the other kind has its own count.
  ASSERT_EQ(t.lines.size(), 6u);
  EXPECT_EQ(t.lines[0], "warning: error list: 12:00:01 ; -3; sec");
  EXPECT_EQ(t.lines[5], "warning: error list: 12:00:02 ; 1; gps");
  t.now += 59;
  t.log.Flush();
  EXPECT_EQ(t.lines.size(), 6u);
  t.now += 1;
  t.log.Flush();
  ASSERT_EQ(t.lines.size(), 7u);
  EXPECT_EQ(t.lines[6], "warning: error list: sec errors (95 more in the last 60 s, not shown)");
  // A new minute starts afresh.
  t.log.ErrorLine("12:01:01 ; -3; sec");
  EXPECT_EQ(t.lines.back(), "warning: error list: 12:01:01 ; -3; sec");
  EXPECT_EQ(t.log.Suppressed(), 95);
}

TEST(EventLog, TheSameLineTwiceInAMinuteIsCounted) {
  Logged t;
  for (int i = 0; i < 3; ++i) t.log.Line(LogLevel::Warning, "/dev/voxa0 is back; a new run starts");
  t.log.Line(LogLevel::Notice, "the device is sending");
  ASSERT_EQ(t.lines.size(), 2u);
  t.now += 61;
  t.log.Flush();
  ASSERT_EQ(t.lines.size(), 3u);
  EXPECT_EQ(t.lines[2], "warning: /dev/voxa0 is back; a new run starts (2 more in the last 60 s, not shown)");

  // Under systemd the level is the priority prefix journald reads.
  std::vector<std::string> journal;
  EventLog log([&](std::string_view line) { journal.emplace_back(line); }, [] { return 0; }, true);
  log.Line(LogLevel::Error, "cannot write");
  EXPECT_EQ(journal, std::vector<std::string>{"<3>cannot write"});
}

TEST(DiskGuard, DayFilesByName) {
  EXPECT_EQ(SdsFileDay("XX.V015..EHZ.D.1970.001"), 0);
  EXPECT_EQ(SdsFileDay("XX.V015..EHZ.D.2026.342"), 20795);  // 2026-12-08
  EXPECT_EQ(SdsFileDay("GE.HUT1.00.HHZ.D.2024.366"), 20088);  // 2024-12-31, a leap year
  for (const char* other : {"XX.V015..EHZ.D.2025.366", "XX.V015..EHZ.D.2026.34", "streamdat.bin",
                            "XX.V015..EHZ.D.2026.342.tmp", "XX.V015.EHZ.D.2026.342"}) {
    EXPECT_FALSE(SdsFileDay(other)) << other;
  }
  EXPECT_EQ(JudgeDisk(100, 50, 10), DiskState::Ok);
  EXPECT_EQ(JudgeDisk(49, 50, 10), DiskState::Low);
  EXPECT_EQ(JudgeDisk(9, 50, 10), DiskState::BelowFloor);
}

TEST(DiskGuard, PruningKeepsTheDaysAskedForAndNeverToday) {
  const fs::path root = fs::temp_directory_path() / ("voxa-prune-" + std::to_string(::getpid()));
  fs::remove_all(root);
  const fs::path folder = root / "2026/XX/V015/EHZ.D";
  fs::create_directories(folder);
  const int64_t today = 20795;  // day 342 of 2026
  for (const char* name : {"XX.V015..EHZ.D.2026.339", "XX.V015..EHZ.D.2026.340", "XX.V015..EHZ.D.2026.341",
                           "XX.V015..EHZ.D.2026.342", "notes.txt"}) {
    std::ofstream(folder / name) << "x";
  }
  std::vector<std::string> removed = PruneArchive(root.string(), 2, today);
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_FALSE(fs::exists(folder / "XX.V015..EHZ.D.2026.340"));
  EXPECT_TRUE(fs::exists(folder / "XX.V015..EHZ.D.2026.341"));
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
  // Even keeping a single day, today's file stays.
  removed = PruneArchive(root.string(), 1, today);
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_TRUE(fs::exists(folder / "XX.V015..EHZ.D.2026.342"));
  EXPECT_TRUE(PruneArchive(root.string(), 0, today).empty());
  fs::remove_all(root);
}

TEST(StatusDocument, WrittenWholeWithItsTextEscaped) {
  StationStatus status;
  status.phase = "receiving";
  status.lastProblem = "cannot write \"error.csv\"\n\x01";
  status.archive.push_back({"XX.V015..EHZ", "2026-12-08T12:00:00.000000Z"});
  const std::string json = StatusJson(status);
  EXPECT_NE(json.find(R"("last_problem": "cannot write \"error.csv\"\n\u0001")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("archive": [{"stream": "XX.V015..EHZ", "last_sample": "2026-12-08T12:00:00.000000Z"}])"),
            std::string::npos);
  const fs::path path = fs::temp_directory_path() / ("voxa-status-" + std::to_string(::getpid()) + ".json");
  ASSERT_EQ(WriteFileAtomically(path.string(), json), "");
  std::string why;
  EXPECT_EQ(ReadWholeFile(path.string(), why), json);
  EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
  EXPECT_NE(WriteFileAtomically("/nonexistent-dir/status.json", json).find("cannot create"), std::string::npos);
  fs::remove(path);
}

}  // namespace
}  // namespace voxa
