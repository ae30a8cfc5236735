// The header in force: built from config.txt or the parameters, and replaced
// by the device's header records, with unusable values refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "core_test_support.h"
#include "device/device_settings.h"

namespace voxa::test {
namespace {

constexpr std::string_view kPrefix = "ZELK_V=V0.0xxx;DEV_NO=000;E_NAME=N/A;";
constexpr std::string_view kSuffix = "S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;E_VOLT=0;B_VOLT=0;DAT_NO=000";

std::string Header(const DeviceSettings& device) {
  const Bytes bytes = device.HeaderBytes();
  return std::string(bytes.begin(), bytes.end());
}

bool SaysSomething(const Notes& notes, std::string_view words) {
  return std::ranges::any_of(notes, [&](const std::string& note) { return note.find(words) != std::string::npos; });
}

TEST(BuildDefaultHeader, ParametersGoIntoTheTemplate) {
  struct Case {
    int32_t gain, channels, rate;
    std::string items;
  } cases[] = {
      {16, 3, 100, "P_AMPL=16;CH_NUM=3;S_RATE=100;"},
      {4, 3, 100, "P_AMPL=4;CH_NUM=3;S_RATE=100;"},
      {64, 1, 800, "P_AMPL=64;CH_NUM=1;S_RATE=800;"},
      {1, 3, 50, "P_AMPL=1;CH_NUM=3;S_RATE=50;"},
  };
  const std::string rest =
      "D_FILT=31;C_MODE=0;A_CHOP=1;F_TIME=30;GPS_TI=5;GPS_OF=0;A_FILT=0;A_PHAS=0;GPS_ON=0;ACQ_ON=0;PLL_XO=0;"
      "V_TCXO=0;GPS_PO=N/A;" + std::string(kSuffix);
  for (const Case& c : cases) {
    DeviceSettings device;
    device.SetParameters({c.rate, c.channels, c.gain});
    device.BuildDefaultHeader();
    EXPECT_EQ(Header(device), std::string(kPrefix) + c.items + rest);
    EXPECT_EQ(device.HeaderText(), Header(device));
  }
}

class Config : public ::testing::Test {
 protected:
  bool Load(const std::string& content, bool tick = true) {
    {
      std::ofstream out(dir.File("config.txt"), std::ios::binary);
      out << content;
    }
    device.StartRun();
    notes.clear();
    return device.LoadConfiguration(dir.File("config.txt"), tick, notes);
  }
  const DeviceParameters& P() const { return device.Parameters(); }

  ScratchDir dir;
  DeviceSettings device;
  Notes notes;
};

TEST_F(Config, OnlyTheRateGivenTheOtherKeysTakeZero) {
  device.SetParameters({100, 3, 32});
  EXPECT_TRUE(Load("S_RATE=200\r\n"));
  EXPECT_EQ(P().rate, 200);
  EXPECT_EQ(P().gain, 32);
  EXPECT_EQ(P().channels, 3);
  EXPECT_EQ(Header(device), std::string(kPrefix) +
                                "P_AMPL=0;CH_NUM=0;S_RATE=200;D_FILT=0;C_MODE=0;A_CHOP=0;F_TIME=0;GPS_TI=0;GPS_OF=0;"
                                "A_FILT=0;A_PHAS=0;GPS_ON=0;ACQ_ON=0;PLL_XO=0;V_TCXO=0;GPS_PO=N/A;" +
                                std::string(kSuffix));
}

TEST_F(Config, RepeatedKeysAllAppearAndTheLastOneHolds) {
  device.SetParameters({100, 1, 16});
  Load("CH_NUM=1\nP_AMPL=8\n*S_RATE=800\n\nCH_NUM=3\n");
  EXPECT_EQ(P().channels, 3);
  EXPECT_EQ(device.Format().BlockPayload(), 12);
  EXPECT_EQ(P().gain, 8);
  EXPECT_EQ(P().rate, 100);  // the comment changes nothing
  EXPECT_NE(device.HeaderText().find("P_AMPL=8;CH_NUM=1;CH_NUM=3;S_RATE=0;"), std::string::npos) << device.HeaderText();
}

TEST_F(Config, MissingFileFallsBackToTheParameters) {
  device.StartRun();
  EXPECT_FALSE(device.LoadConfiguration(dir.File("absent.txt"), true, notes));
  EXPECT_TRUE(device.HeaderText().starts_with(kPrefix));
  EXPECT_NE(device.HeaderText().find("P_AMPL=16;CH_NUM=3;S_RATE=100;D_FILT=31;"), std::string::npos);
  EXPECT_TRUE(notes.empty());
}

TEST_F(Config, UntickedBoxIgnoresThePresentFile) {
  EXPECT_FALSE(Load("S_RATE=400\n", false));
  EXPECT_EQ(P().rate, 100);
}

TEST_F(Config, UnusableValuesKeepThePreviousValueAndSaySo) {
  Load("P_AMPL=0\nCH_NUM=2\nS_RATE=0\n");
  EXPECT_EQ(P().gain, 16);
  EXPECT_EQ(P().channels, 3);
  EXPECT_EQ(P().rate, 100);
  EXPECT_EQ(notes.size(), 3u);
  // The header describes what is in force, not the refused value.
  EXPECT_NE(device.HeaderText().find("P_AMPL=16;CH_NUM=3;S_RATE=100;"), std::string::npos) << device.HeaderText();
}

TEST_F(Config, RateThatDoesNotFitTheBufferIsRefused) {
  Load("CH_NUM=3\nS_RATE=30000\n");
  EXPECT_EQ(P().rate, 100);
}

TEST_F(Config, MoreThanTwentyItemsLongLinesAndAFullHeaderNeverOverflow) {
  std::string content;
  for (int i = 0; i < 25; ++i) content += "GPS_PO=" + std::string(100, static_cast<char>('a' + i)) + "\r\n";
  content += "S_RATE=400\n";  // the 26th item: ignored
  Load(content);
  EXPECT_EQ(P().rate, 100);
  EXPECT_TRUE(SaysSomething(notes, "only the first 20 items are read; 6 more ignored"));
  EXPECT_TRUE(SaysSomething(notes, "header is full"));
  EXPECT_LE(device.HeaderBytes().size(), static_cast<size_t>(DeviceSettings::kHeaderCapacity));
  // The start time at the end of the header always survives.
  EXPECT_TRUE(device.HeaderText().ends_with(kSuffix));

  Load("D_FILT=" + std::string(5000, '9') + "\n");
  EXPECT_LE(device.HeaderBytes().size(), static_cast<size_t>(DeviceSettings::kHeaderCapacity));
  EXPECT_TRUE(device.HeaderText().ends_with(kSuffix));
}

class ReplaceHeader : public ::testing::Test {
 protected:
  void Replace(const std::string& text) {
    notes.clear();
    device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()), notes);
  }
  const DeviceParameters& P() const { return device.Parameters(); }
  DeviceSettings device;
  Notes notes;
};

TEST_F(ReplaceHeader, ValuesAtTheirPositions) {
  struct Case {
    std::string header;
    int32_t rate, gain, channels;
  } cases[] = {
      {"CH_NUM=3;S_RATE=50;P_AMPL=1;", 50, 1, 3},
      {"CH_NUM=1;S_RATE=800;P_AMPL=8;", 800, 8, 1},
      {"P_AMPL=32;S_RATE=100;CH_NUM=3;", 100, 32, 3},
      {"P_AMPL=128;S_RATE=200;CH_NUM=3;", 200, 12, 3},  // two characters at most
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    device.StartRun();
    EXPECT_FALSE(device.DeviceHeaderReceived());
    Replace("ZELK_V=V1.0;DEV_NO=015;" + c.header);
    EXPECT_TRUE(device.DeviceHeaderReceived());
    EXPECT_EQ(Header(device), "ZELK_V=V1.0;DEV_NO=015;" + c.header);
    EXPECT_EQ(device.HeaderText(), Header(device));
    EXPECT_EQ(P().rate, c.rate);
    EXPECT_EQ(P().gain, c.gain);
    EXPECT_EQ(P().channels, c.channels);
    EXPECT_EQ(device.Format().BlockPayload(), 4 * c.channels);
    EXPECT_EQ(device.DeviceNumber(), "015");
    EXPECT_TRUE(notes.empty()) << notes.front();
  }
}

TEST_F(ReplaceHeader, FirmwareVersionUpToItsOwnSemicolonAtMostTenCharacters) {
  Replace("DEV_NO=001;ZELK_V=V1.2345678901234;CH_NUM=3;S_RATE=100;P_AMPL=16;");
  EXPECT_EQ(device.FirmwareVersion(), "V1.2345678");
  Replace("ZELK_V=V2;DEV_NO=001;CH_NUM=3;S_RATE=100;P_AMPL=16;");
  EXPECT_EQ(device.FirmwareVersion(), "V2");
  device.StartRun();  // START forgets the device
  EXPECT_EQ(device.FirmwareVersion() + " " + device.DeviceNumber(), "n/a 000");
}

TEST_F(ReplaceHeader, MissingKeysAndCutValuesKeepThePreviousValues) {
  Replace("CH_NUM=1;P_AMPL=4;S_RATE=400;DEV_NO=042;ZELK_V=V7;");
  Replace("E_NAME=x;S_RATE=");
  EXPECT_EQ(P().rate, 400);
  EXPECT_EQ(P().gain, 4);
  EXPECT_EQ(P().channels, 1);
  EXPECT_EQ(device.DeviceNumber(), "042");
  EXPECT_EQ(device.FirmwareVersion(), "V7");
  EXPECT_EQ(notes.size(), 5u);

  Replace("CH_NUM=1;P_AMPL=0;S_RATE=0;DEV_NO=9;ZELK_V=V3");
  EXPECT_EQ(P().gain, 4);
  EXPECT_EQ(P().rate, 400);
  EXPECT_EQ(device.DeviceNumber(), "9;Z");
  EXPECT_EQ(device.FirmwareVersion(), "V3");
  EXPECT_EQ(notes.size(), 2u);
}

TEST_F(ReplaceHeader, ChannelCountOtherThanOneOrThreeIsRefused) {
  Replace("CH_NUM=2;S_RATE=100;P_AMPL=16;DEV_NO=001;ZELK_V=V1;");
  EXPECT_EQ(P().channels, 3);
  EXPECT_EQ(device.Format().BlockPayload(), 12);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("CH_NUM=2"), std::string::npos);
}

}  // namespace
}  // namespace voxa::test
