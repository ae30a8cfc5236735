// The recording file: its layout byte for byte, the buffer that never
// overflows or drops a byte, the header that never overlaps the records after
// it, and names that never replace an existing recording.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "stream/header.h"
#include "stream/recording.h"
#include "stream_test_support.h"

namespace voxa::test {
namespace {

namespace fs = std::filesystem;

class Recording : public ::testing::Test {
 protected:
  void Start(int channels, int screenSeconds = 8) {
    a.ChannelCount = channels;
    a.SampleRate = 50;
    a.ScreenSeconds = screenSeconds;
    RunOptions options;
    options.saveStream = true;
    options.loadExtHeader = false;
    InitStart(a, options);
    LoadConfiguration(a, dir.File("config.txt"), host);
    a.PlotWidth = 100;
    a.PlotHeight = 60;
    a.StartClock = {2026, 3, 7, 14, 5, 9, 0};
    ASSERT_TRUE(a.StreamFile.Create(dir.File(kWorkingRecordingName)));
  }
  std::vector<uint8_t> Finished(const std::string& name) { return ReadFileBytes(dir.File(name)); }

  ScratchDir dir;
  Acquisition a;
  RecordingHost host;
  Raster raster{120, 80};
  StreamSeparator separator{a, host, raster};
};

TEST_F(Recording, ShortStreamLayoutByteForByte) {
  Start(1);
  std::vector<uint8_t> in = Bytes({0x90, 0, 0, 0, 1, 0x12, 0x34});  // an overlong block, then a stray byte
  in.push_back(0xF8);
  AppendText(in, "\nboot\r");
  in.push_back(0xF0);
  AppendText(in, "ZELK_V=V1;");  // no CH_NUM etc.: those values are kept
  AppendBlock(in, 0x80, {2});
  in.push_back(0xC3);  // an unlisted record
  in.push_back(0x01);
  AppendBlock(in, 0x80, {3});
  in.push_back(0x80);  // pending at STOP: not recorded
  separator.Begin(in[0]);
  FeedAll(separator, std::vector<uint8_t>(in.begin() + 1, in.end()));
  const std::string name = separator.Finish();

  // No GPS message: no end-time record, and the name comes from the
  // computer's clock. The device's header arrived before the first write, so
  // it is the header at the start of the file; the boot and header records
  // themselves are not in the recorded stream.
  std::vector<uint8_t> expected;
  expected.push_back(0xF0);
  AppendText(expected, "ZELK_V=V1;");
  const auto stream = Bytes({0x90, 0, 0, 0, 1, 0x12, 0x34, 0x80, 0, 0, 0, 2, 0xC3, 0x01, 0x80, 0, 0, 0, 3});
  expected.insert(expected.end(), stream.begin(), stream.end());
  expected.push_back(0xEF);
  EXPECT_EQ(name, "03071405.000");
  EXPECT_EQ(Finished(name), expected);
  EXPECT_FALSE(fs::exists(dir.File(kWorkingRecordingName)));
}

TEST_F(Recording, DeviceHeaderAfterTheFirstWriteIsFittedToTheLengthWritten) {
  Start(1, 1);  // every block flushes, so the built header is written first
  const size_t builtLength = a.HeaderText.size();
  std::vector<uint8_t> in = Bytes({0x90, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0xF0});
  const std::string device = "ZELK_V=V2.07;DEV_NO=015;CH_NUM=1;S_RATE=50;P_AMPL=16;" + std::string(400, 'x') + ";";
  AppendText(in, device);
  AppendBlock(in, 0x80, {3});
  in.push_back(0x80);
  in.push_back(0);
  separator.Begin(in[0]);
  FeedAll(separator, std::vector<uint8_t>(in.begin() + 1, in.end()));
  const std::string name = separator.Finish();
  EXPECT_EQ(name, "03071405.015");
  const std::vector<uint8_t> file = Finished(name);
  ASSERT_EQ(static_cast<size_t>(a.RecordedHeaderLength), builtLength);
  const std::string written(file.begin() + 1, file.begin() + 1 + static_cast<std::ptrdiff_t>(builtLength));
  // Whole items of the device header, padded with blanks; the records after
  // the header are intact.
  EXPECT_EQ(written.rfind("ZELK_V=V2.07;DEV_NO=015;CH_NUM=1;S_RATE=50;P_AMPL=16;", 0), 0u);
  EXPECT_EQ(written.back(), ' ');
  const size_t body = 1 + builtLength + 80;  // no GPS yet: the placeholder follows the header
  EXPECT_EQ(file[body], 0x90);
  EXPECT_EQ(file[body + 5], 0x80);
}

TEST_F(Recording, WithoutDeviceHeaderTheStartTimeGoesIntoTheBuiltHeader) {
  Start(1);
  const auto in = Bytes({0x90, 0, 0, 0, 1, 0x80, 0, 0, 0, 2});
  separator.Begin(in[0]);
  FeedAll(separator, std::vector<uint8_t>(in.begin() + 1, in.end()));
  const std::string name = separator.Finish();
  const std::vector<uint8_t> file = Finished(name);
  const std::string text(file.begin() + 1, file.begin() + 1 + a.RecordedHeaderLength);
  EXPECT_NE(text.find("S_TIME=14:05:09;S_DATE=26/03/07;"), std::string::npos) << text;
  EXPECT_EQ(file.back(), 0xEF);
  EXPECT_EQ(file[file.size() - 2], 2);  // the last block's last byte, then the end byte
}

TEST_F(Recording, EveryByteRecordedOnceWhenEachBlockFlushes) {
  // One second per screen: every block belongs to a screen's last second, so
  // the recording is flushed after every block, just before the marker that
  // ended it is dispatched.
  Start(1, 1);
  std::vector<uint8_t> in;
  for (int second = 0; second < 3; ++second) {
    for (int i = 0; i < 50; ++i) AppendBlock(in, i == 0 ? 0x90 : 0x80, {second * 100 + i});
    in.push_back(0x04);  // a stray byte now and then
  }
  in.push_back(0x80);
  in.push_back(0x00);
  separator.Begin(in[0]);
  for (size_t at = 1; at < in.size(); ++at) FeedAll(separator, {in[at]});
  const std::string name = separator.Finish();
  const std::vector<uint8_t> file = Finished(name);
  const size_t body = 1 + static_cast<size_t>(a.RecordedHeaderLength) + (a.PlaceholderWritten ? 80 : 0);
  ASSERT_EQ(file.size(), body + in.size() + 1);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), file.begin() + static_cast<std::ptrdiff_t>(body)));
}

TEST_F(Recording, BufferGrowsBeforeTheFirstWriteAndFlushesEarlyAfterIt) {
  Start(1);
  a.RawBuffer.assign(16, 0);  // a tiny buffer shows the policy quickly
  std::vector<uint8_t> in;
  for (int i = 0; i < 10; ++i) AppendBlock(in, 0x80, {i});
  separator.Begin(0x90);
  FeedAll(separator, in);
  EXPECT_FALSE(a.RecordingHeaderWritten);
  EXPECT_GE(a.RawBuffer.size(), static_cast<size_t>(a.RawCount));
  EXPECT_GT(a.RawBuffer.size(), 16u);

  FlushRecording(a);  // the first write
  a.RawBuffer.assign(16, 0);
  FeedAll(separator, in);  // 50 bytes through a 16-byte buffer
  EXPECT_EQ(a.RawBuffer.size(), 16u);
  const std::string name = separator.Finish();
  const std::vector<uint8_t> file = Finished(name);
  const size_t body = 1 + static_cast<size_t>(a.RecordedHeaderLength);
  ASSERT_EQ(file.size(), body + 1 + 2 * in.size() + 1);
  EXPECT_EQ(file[body], 0x90);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), file.begin() + static_cast<std::ptrdiff_t>(body + 1)));
  EXPECT_TRUE(std::equal(in.begin(), in.end(), file.begin() + static_cast<std::ptrdiff_t>(body + 1 + in.size())));
}

TEST(FittedHeader, ShorterPaddedLongerCutAtAWholeItem) {
  Acquisition a;
  const std::string text = "AB=1;CD=22;EF=333;";
  std::copy(text.begin(), text.end(), a.HeaderBuffer.begin());
  a.HeaderLength = static_cast<int32_t>(text.size());
  auto fitted = [&](int32_t length) {
    const std::vector<uint8_t> h = FittedHeader(a, length);
    return std::string(h.begin(), h.end());
  };
  EXPECT_EQ(fitted(18), text);
  EXPECT_EQ(fitted(22), text + "    ");
  EXPECT_EQ(fitted(14), "AB=1;CD=22;   ");
  EXPECT_EQ(fitted(3), "AB=");  // no whole item fits: cut
  EXPECT_EQ(fitted(0), "");
}

TEST(RecordingNames, ExistingRecordingsAreNeverReplaced) {
  ScratchDir dir;
  EXPECT_EQ(UnusedFileName(dir.Path().string(), "03071405.015"), "03071405.015");
  std::ofstream(dir.File("03071405.015")) << "first";
  EXPECT_EQ(UnusedFileName(dir.Path().string(), "03071405.015"), "03071405-2.015");
  std::ofstream(dir.File("03071405-2.015")) << "second";
  EXPECT_EQ(UnusedFileName(dir.Path().string(), "03071405.015"), "03071405-3.015");
}

TEST(RecordingNames, SecondRunInTheSameMinuteKeepsBoth) {
  ScratchDir dir;
  std::vector<std::string> names;
  for (int run = 0; run < 2; ++run) {
    Acquisition a;
    RecordingHost host;
    Raster raster(50, 50);
    RunOptions options;
    options.saveStream = true;
    options.loadExtHeader = false;
    InitStart(a, options);
    LoadConfiguration(a, dir.File("config.txt"), host);
    a.StartClock = {2026, 3, 7, 14, 5, 0, 0};
    ASSERT_TRUE(a.StreamFile.Create(dir.File(kWorkingRecordingName)));
    StreamSeparator separator(a, host, raster);
    separator.Begin(0x90);
    FeedAll(separator, Bytes({0, 0, 0, static_cast<uint8_t>(run), 0x80, 0}));
    names.push_back(separator.Finish());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"03071405.000", "03071405-2.000"}));
  EXPECT_EQ(ReadFileBytes(dir.File(names[0])).size(), ReadFileBytes(dir.File(names[1])).size());
}

TEST(RecordingNames, UnfinishedRecordingIsMovedAsideBeforeTheNextStart) {
  ScratchDir dir;
  EXPECT_EQ(KeepUnfinishedRecording(dir.Path().string()), "");
  std::ofstream(dir.File(kWorkingRecordingName)).close();  // empty: nothing to keep
  EXPECT_EQ(KeepUnfinishedRecording(dir.Path().string()), "");
  std::ofstream(dir.File(kWorkingRecordingName)) << "bytes";
  EXPECT_EQ(KeepUnfinishedRecording(dir.Path().string()), "streamdat-2.bin");
  EXPECT_EQ(ReadFileText(dir.File("streamdat-2.bin")), "bytes");
  EXPECT_FALSE(fs::exists(dir.File(kWorkingRecordingName)));
}

TEST(RecordingAbandon, WhatIsBufferedIsWrittenBeforeTheFileIsClosed) {
  ScratchDir dir;
  Acquisition a;
  RunOptions options;
  options.saveStream = true;
  InitStart(a, options);
  BuildDefaultHeader(a);
  ASSERT_TRUE(a.StreamFile.Create(dir.File(kWorkingRecordingName)));
  AppendRaw(a, 0x90);
  AppendRaw(a, 0x01);
  AbandonRecording(a);
  EXPECT_FALSE(a.StreamFile.IsOpen());
  const std::vector<uint8_t> file = ReadFileBytes(dir.File(kWorkingRecordingName));
  ASSERT_EQ(file.size(), 1u + a.HeaderText.size() + 2u);
  EXPECT_EQ(file[file.size() - 2], 0x90);
}

}  // namespace
}  // namespace voxa::test
