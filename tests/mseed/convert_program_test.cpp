// The voxa-convert program: what it prints and its exit status.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/test_files.h"

namespace voxa::test {
namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error together
};

Outcome RunConvert(const std::string& arguments) {
  const std::string command = std::string(VOXA_CONVERT_EXECUTABLE) + " " + arguments + " 2>&1";
  Outcome outcome;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, n);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string Data(const std::string& name) { return std::string(VOXA_TEST_DATA_DIR) + "/" + name; }

TEST(VoxaConvert, SaysWhatItWroteChannelsTimeSpanAndGaps) {
  ScratchDir dir;
  const Outcome outcome = RunConvert("--out " + dir.File("archive") + " " + Data("faults/recording.bin"));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  for (const char* expected : {"1 channel at 100 sps, device 015", "XX.V015..EHZ", "2026-03-07T23:59:52.000000",
                               "2026-03-08T00:00:04.000000", "2 gaps, 1 overlaps", "gap at 2026-03-07T23:59:55.050000",
                               "overlap at 2026-03-08T00:00:02.500000", "XX.V015..LCQ", "end-time record: E_TIME=00:00:03"}) {
    EXPECT_NE(outcome.output.find(expected), std::string::npos) << expected << "\n" << outcome.output;
  }
}

// A second conversion into the same archive writes nothing and says how
// many records it found already there.
TEST(VoxaConvert, ConvertingAgainSaysTheRecordsTheArchiveAlreadyHeld) {
  ScratchDir dir;
  const std::string arguments = "--out " + dir.File("archive") + " " + Data("faults/recording.bin");
  const Outcome first = RunConvert(arguments);
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(first.output.find("already held"), std::string::npos) << first.output;
  const std::string day = dir.File("archive/2026/XX/V015/EHZ.D/XX.V015..EHZ.D.2026.066");
  const std::vector<uint8_t> before = ReadFileBytes(day);
  const Outcome second = RunConvert(arguments);
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("  18 records the archive already held, not written again\n"), std::string::npos)
      << second.output;
  EXPECT_EQ(ReadFileBytes(day), before);
}

TEST(VoxaConvert, AnUnusableFileIsNamedAndTheOthersAreStillConverted) {
  ScratchDir dir;
  { std::ofstream(dir.File("notes.txt")) << "not a recording\n"; }
  { std::ofstream(dir.File("empty.bin")); }
  const Outcome outcome = RunConvert("--out " + dir.File("archive") + " " + dir.File("notes.txt") + " " +
                              dir.File("empty.bin") + " " + Data("corpus/gps-absent/recording.bin") + " " +
                              dir.File("missing.bin"));
  EXPECT_EQ(outcome.status, 1) << outcome.output;
  EXPECT_NE(outcome.output.find("notes.txt: is not a recording"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("empty.bin: is empty"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("missing.bin: cannot be read"), std::string::npos) << outcome.output;
  // The recording without GPS is converted, and says how it was dated.
  EXPECT_NE(outcome.output.find("dated from the computer's clock"), std::string::npos) << outcome.output;
  EXPECT_TRUE(std::filesystem::exists(dir.File("archive/2026/XX/V015/EHZ.D/XX.V015..EHZ.D.2026.066")));
}

TEST(VoxaConvert, BadCommandLinesAndAnArchiveThatCannotBeWritten) {
  ScratchDir dir;
  { std::ofstream(dir.File("plain")) << "x"; }
  const std::string recording = Data("faults/recording.bin");
  struct Row {
    std::string arguments;
    int status;
    std::string says;
  };
  const std::vector<Row> rows = {
      {"", 2, "--out DIR is required"},
      {"--out " + dir.File("a"), 2, "no recording given"},
      {"--frobnicate --out " + dir.File("a") + " " + recording, 2, "unknown option '--frobnicate'"},
      {"--network ABC --out " + dir.File("a") + " " + recording, 2, "invalid value 'ABC' for --network"},
      {"--out", 2, "needs a value"},
      {"--out " + dir.File("plain/archive") + " " + recording, 3,
       "cannot make the archive directory " + dir.File("plain/archive") + ": Not a directory"},
      {"--out " + dir.File("plain") + " " + recording, 3,
       "cannot make the archive directory " + dir.File("plain") + ": it exists and is not a directory"},
      {"--help", 0, "Usage: voxa-convert"},
      {"--station=ST1 --channel-codes=HHZ --out=" + dir.File("b") + " " + recording, 0, "XX.ST1..HHZ"},
  };
  for (const Row& row : rows) {
    const Outcome outcome = RunConvert(row.arguments);
    EXPECT_EQ(outcome.status, row.status) << row.arguments << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos) << row.arguments << "\n" << outcome.output;
  }
}

}  // namespace
}  // namespace voxa::test
