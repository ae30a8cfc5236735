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

// Gain, channel count and rate in the header are always the ones the run
// uses, each written once; every other key the file lacks takes zero.
TEST_F(Config, ParametersTheFileLacksAreTheOnesInForceTheOtherKeysTakeZero) {
  device.SetParameters({100, 3, 32});
  EXPECT_TRUE(Load("S_RATE=200\r\n"));
  EXPECT_EQ(P().rate, 200);
  EXPECT_EQ(P().gain, 32);
  EXPECT_EQ(P().channels, 3);
  EXPECT_EQ(Header(device), std::string(kPrefix) +
                                "P_AMPL=32;CH_NUM=3;S_RATE=200;D_FILT=0;C_MODE=0;A_CHOP=0;F_TIME=0;GPS_TI=0;GPS_OF=0;"
                                "A_FILT=0;A_PHAS=0;GPS_ON=0;ACQ_ON=0;PLL_XO=0;V_TCXO=0;GPS_PO=N/A;" +
                                std::string(kSuffix));
}

TEST_F(Config, RepeatedParameterKeysAreWrittenOnceWithTheValueInForce) {
  struct Case {
    std::string file;
    DeviceParameters result;  // rate, channels, gain
    std::string items;
  } cases[] = {
      {"CH_NUM=1\nP_AMPL=8\n*S_RATE=800\n\nCH_NUM=3\n", {100, 3, 8}, "P_AMPL=8;CH_NUM=3;S_RATE=100;D_FILT=0;"},
      // A refused value keeps the previous one, which is written once.
      {"CH_NUM=3\nCH_NUM=2\nS_RATE=400\nS_RATE=1\n", {400, 3, 16}, "P_AMPL=16;CH_NUM=3;S_RATE=400;D_FILT=0;"},
      // Other keys stay as written, repeats included.
      {"D_FILT=5\nD_FILT=6\nP_AMPL=2\n", {100, 1, 2}, "P_AMPL=2;CH_NUM=1;S_RATE=100;D_FILT=5;D_FILT=6;C_MODE=0;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    device.SetParameters({100, 1, 16});
    Load(c.file);
    EXPECT_EQ(P().rate, c.result.rate);
    EXPECT_EQ(P().channels, c.result.channels);
    EXPECT_EQ(P().gain, c.result.gain);
    EXPECT_EQ(device.Format().BlockPayload(), 4 * c.result.channels);
    EXPECT_EQ(device.HeaderText().substr(kPrefix.size(), c.items.size()), c.items);
    for (const std::string_view key : {"P_AMPL=", "CH_NUM=", "S_RATE="}) {
      EXPECT_EQ(device.HeaderText().find(key), device.HeaderText().rfind(key)) << key << " twice";
    }
  }
}

// The header is a record's text in the recording: no byte of it may read
// as a marker there.
TEST_F(Config, BytesAboveSevenBitsAreWrittenAsQuestionMarks) {
  Load("P_AMPL=8\nGPS_PO=52\xC2\xB0N 13\xC2\xB0" "E\n");
  EXPECT_NE(device.HeaderText().find(";GPS_PO=52??N 13??E;"), std::string::npos) << device.HeaderText();
  EXPECT_TRUE(std::ranges::all_of(device.HeaderBytes(), [](uint8_t b) { return b < 0x80; }));
  EXPECT_EQ(notes, Notes{"config.txt: bytes above 0x7F written as ?"});
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

// Only the device's own rates are taken; anything else keeps the rate in
// force, says so in the boot window, and the header carries the rate in force.
TEST_F(Config, OnlyTheDeviceRatesAreTaken) {
  const struct {
    std::string value;
    int32_t rate;  // 0: refused
  } cases[] = {
      {"50", 50}, {"100", 100}, {"200", 200}, {"400", 400},   {"800", 800}, {" 800 ", 800}, {"1", 0},
      {"0", 0},   {"99999", 0}, {"100abc", 0}, {"30000", 0},  {"-100", 0},  {"", 0},        {"1000", 0},
      {"80", 0},  {"4294967696", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    device.SetParameters({200, 3, 16});
    Load("S_RATE=" + c.value + "\n");
    const int32_t inForce = c.rate == 0 ? 200 : c.rate;
    EXPECT_EQ(P().rate, inForce);
    EXPECT_EQ(SaysSomething(notes, "is not a usable sample rate; 200 sps kept"), c.rate == 0);
    EXPECT_NE(device.HeaderText().find(";S_RATE=" + std::to_string(inForce) + ";"), std::string::npos);
  }
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

TEST_F(ReplaceHeader, OnlyTheDeviceRatesAreTakenWholeValueUpToItsSemicolon) {
  const struct {
    std::string item;
    int32_t rate;
    std::string shown;  // as the note quotes the refused value
  } cases[] = {
      {"S_RATE=50;", 50, ""},           {"S_RATE=800;", 800, ""},         {"S_RATE=400", 400, ""},
      {"S_RATE=99999;", 200, "99999"},  {"S_RATE=1000;", 200, "1000"},    {"S_RATE=100abc;", 200, "100abc"},
      {"S_RATE=0;", 200, "0"},          {"S_RATE=;", 200, ""},            {"S_RATE=25;", 200, "25"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    Replace("DEV_NO=015;ZELK_V=V1;CH_NUM=3;S_RATE=200;P_AMPL=16;");
    Replace("DEV_NO=015;ZELK_V=V1;CH_NUM=3;P_AMPL=16;" + c.item);
    EXPECT_EQ(P().rate, c.rate);
    if (c.rate == 200) {
      ASSERT_EQ(notes.size(), 1u);
      EXPECT_EQ(notes[0], "Header: S_RATE=" + c.shown + " is not a usable sample rate; 200 sps kept");
    } else {
      EXPECT_TRUE(notes.empty());
    }
  }
}

// A 0xF0 byte in line noise opens a "header record" of whatever follows it.
// Without one KEY=value; item it is not the device's: nothing changes.
TEST_F(ReplaceHeader, RecordWithoutAnItemIsIgnored) {
  const std::string deviceHeader = "ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;";
  for (const std::string& noise : {std::string(), std::string("\x12\x7f"), std::string("=;"), std::string("A=1"),
                                  std::string("; =1;"), std::string("x y=1;;"), std::string(511, 'k')}) {
    SCOPED_TRACE(noise);
    device.StartRun();
    Replace(deviceHeader);
    ASSERT_TRUE(notes.empty());
    notes.clear();
    EXPECT_FALSE(device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(noise.data()), noise.size()), notes));
    EXPECT_EQ(notes, Notes{"Header: a record without KEY=value; items ignored"});
    EXPECT_EQ(Header(device), deviceHeader);
    EXPECT_EQ(P().rate, 50);
    EXPECT_EQ(device.DeviceNumber(), "015");

    // Before any header record of the run, the header built at START stays,
    // and the device's header still counts as not received.
    device.StartRun();
    device.BuildDefaultHeader();
    const std::string built = Header(device);
    notes.clear();
    device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(noise.data()), noise.size()), notes);
    EXPECT_EQ(Header(device), built);
    EXPECT_FALSE(device.DeviceHeaderReceived());
  }
  // One item is enough, wherever it stands.
  notes.clear();
  const std::string one = "\x01\x02junk;E_NAME=N/A;";
  EXPECT_TRUE(device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(one.data()), one.size()), notes));
  EXPECT_EQ(Header(device), one);
  EXPECT_TRUE(device.DeviceHeaderReceived());
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
