// The header in force: built from config.txt or the window's parameters, and
// parsed from the device's header records, with unusable values refused.
#include <gtest/gtest.h>

#include <fstream>

#include "stream/header.h"
#include "stream/number_text.h"
#include "stream_test_support.h"

namespace voxa::test {
namespace {

constexpr const char* kPrefix = "ZELK_V=V0.0xxx;DEV_NO=000;E_NAME=N/A;";
constexpr const char* kSuffix = "S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;E_VOLT=0;B_VOLT=0;DAT_NO=000";

TEST(NumberText, LeadingDigitsAfterBlanksAndSign) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"200", 200},    {"  42x", 42},  {"-7", -7},         {"+5;", 5}, {"abc", 0},
               {"", 0},         {" - 3", 0},    {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(TextToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberText, FixedWidthTexts) {
  EXPECT_EQ(ZeroPadded(5, 2), "05");
  EXPECT_EQ(ZeroPadded(15, 5), "00015");
  EXPECT_EQ(FixedText(17.3622, 6, 2), " 17.36");
  EXPECT_EQ(FixedText(-1000.0, 6, 2), "-1000.00");
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
}

std::string Header(const Acquisition& a) {
  return std::string(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + a.HeaderLength);
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
    Acquisition a;
    a.Gain = c.gain;
    a.ChannelCount = c.channels;
    a.SampleRate = c.rate;
    BuildDefaultHeader(a);
    EXPECT_EQ(Header(a), kPrefix + c.items + rest);
    EXPECT_EQ(a.HeaderText, Header(a));
  }
}

class Config : public ::testing::Test {
 protected:
  void Load(const std::string& content, bool tick = true) {
    {
      std::ofstream out(dir.File("config.txt"), std::ios::binary);
      out << content;
    }
    RunOptions options;
    options.loadExtHeader = tick;
    InitStart(a, options);
    LoadConfiguration(a, dir.File("config.txt"), host);
  }
  ScratchDir dir;
  Acquisition a;
  RecordingHost host;
};

TEST_F(Config, OnlyTheRateGivenTheOtherKeysTakeZero) {
  a.Gain = 32;
  Load("S_RATE=200\r\n");
  EXPECT_TRUE(a.ExtHeaderLoaded);
  EXPECT_EQ(a.SampleRate, 200);
  EXPECT_EQ(a.Gain, 32);
  EXPECT_EQ(a.ChannelCount, 3);
  EXPECT_EQ(Header(a), std::string(kPrefix) +
                           "P_AMPL=0;CH_NUM=0;S_RATE=200;D_FILT=0;C_MODE=0;A_CHOP=0;F_TIME=0;GPS_TI=0;GPS_OF=0;"
                           "A_FILT=0;A_PHAS=0;GPS_ON=0;ACQ_ON=0;PLL_XO=0;V_TCXO=0;GPS_PO=N/A;" + kSuffix);
}

TEST_F(Config, RepeatedKeysAllAppearAndTheLastOneHolds) {
  Load("CH_NUM=1\nP_AMPL=8\n*S_RATE=800\n\nCH_NUM=3\n");
  EXPECT_EQ(a.ChannelCount, 3);
  EXPECT_EQ(a.BlockSize, 12);
  EXPECT_EQ(a.Gain, 8);
  EXPECT_EQ(a.SampleRate, 100);  // the comment changes nothing
  EXPECT_NE(a.HeaderText.find("P_AMPL=8;CH_NUM=1;CH_NUM=3;S_RATE=0;"), std::string::npos) << a.HeaderText;
}

TEST_F(Config, MissingFileFallsBackToTheParameters) {
  RunOptions options;
  InitStart(a, options);
  LoadConfiguration(a, dir.File("absent.txt"), host);
  EXPECT_FALSE(a.ExtHeaderLoaded);
  EXPECT_EQ(a.HeaderText.rfind(kPrefix, 0), 0u);
  EXPECT_NE(a.HeaderText.find("P_AMPL=16;CH_NUM=3;S_RATE=100;D_FILT=31;"), std::string::npos);
}

TEST_F(Config, UntickedBoxIgnoresThePresentFile) {
  Load("S_RATE=400\n", false);
  EXPECT_FALSE(a.ExtHeaderLoaded);
  EXPECT_EQ(a.SampleRate, 100);
}

TEST_F(Config, UnusableValuesKeepThePreviousValueAndSaySo) {
  Load("P_AMPL=0\nCH_NUM=2\nS_RATE=0\n");
  EXPECT_EQ(a.Gain, 16);
  EXPECT_EQ(a.ChannelCount, 3);
  EXPECT_EQ(a.SampleRate, 100);
  EXPECT_EQ(host.bootLines.size(), 3u);
  // The header describes what is in force, not the refused value.
  EXPECT_NE(a.HeaderText.find("P_AMPL=16;CH_NUM=3;S_RATE=100;"), std::string::npos) << a.HeaderText;
}

TEST_F(Config, RateThatDoesNotFitTheBufferIsRefused) {
  Load("CH_NUM=3\nS_RATE=30000\n");
  EXPECT_EQ(a.SampleRate, 100);
}

TEST_F(Config, MoreThanTwentyItemsLongLinesAndAFullHeaderNeverOverflow) {
  std::string content;
  for (int i = 0; i < 25; ++i) content += "GPS_PO=" + std::string(100, 'a' + (i % 26)) + "\r\n";
  content += "S_RATE=400\n";  // the 26th item: ignored
  Load(content);
  EXPECT_EQ(a.ConfigLineCount, 20);
  EXPECT_EQ(a.SampleRate, 100);
  EXPECT_LE(a.HeaderLength, kHeaderCapacity);
  // The start time at the end of the header always survives.
  ASSERT_GE(a.HeaderText.size(), std::string(kSuffix).size());
  EXPECT_EQ(a.HeaderText.substr(a.HeaderText.size() - std::string(kSuffix).size()), kSuffix);
  bool saidIgnored = false, saidFull = false;
  for (const auto& line : host.bootLines) {
    saidIgnored |= line.find("ignored") != std::string::npos;
    saidFull |= line.find("header is full") != std::string::npos;
  }
  EXPECT_TRUE(saidIgnored);
  EXPECT_TRUE(saidFull);

  Load("D_FILT=" + std::string(5000, '9') + "\n");
  EXPECT_LE(a.HeaderLength, kHeaderCapacity);
}

class ParseHeaderTest : public ::testing::Test {
 protected:
  void Parse(const std::string& text) {
    std::copy(text.begin(), text.end(), a.HeaderBuffer.begin());
    a.HeaderLength = static_cast<int32_t>(text.size());
    ParseHeader(a, host);
  }
  Acquisition a;
  RecordingHost host;
};

TEST_F(ParseHeaderTest, ValuesAtTheirPositions) {
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
    Parse("ZELK_V=V1.0;DEV_NO=015;" + c.header);
    EXPECT_EQ(a.SampleRate, c.rate);
    EXPECT_EQ(a.Gain, c.gain);
    EXPECT_EQ(a.ChannelCount, c.channels);
    EXPECT_EQ(a.BlockSize, 4 * c.channels);
    EXPECT_EQ(a.DeviceNumber, "015");
    EXPECT_TRUE(host.bootLines.empty()) << host.bootLines.front();
  }
}

TEST_F(ParseHeaderTest, FirmwareVersionUpToItsOwnSemicolonAtMostTenCharacters) {
  Parse("DEV_NO=001;ZELK_V=V1.2345678901234;CH_NUM=3;S_RATE=100;P_AMPL=16;");
  EXPECT_EQ(a.FirmwareVersion, "V1.2345678");
  Parse("ZELK_V=V2;DEV_NO=001;CH_NUM=3;S_RATE=100;P_AMPL=16;");
  EXPECT_EQ(a.FirmwareVersion, "V2");
}

TEST_F(ParseHeaderTest, MissingKeysAndCutValuesKeepThePreviousValues) {
  a.SampleRate = 400;
  a.Gain = 4;
  a.ChannelCount = 1;
  a.DeviceNumber = "042";
  a.FirmwareVersion = "V7";
  Parse("E_NAME=x;S_RATE=");
  EXPECT_EQ(a.SampleRate, 400);
  EXPECT_EQ(a.Gain, 4);
  EXPECT_EQ(a.ChannelCount, 1);
  EXPECT_EQ(a.DeviceNumber, "042");
  EXPECT_EQ(a.FirmwareVersion, "V7");
  EXPECT_EQ(host.bootLines.size(), 5u);

  host.bootLines.clear();
  Parse("CH_NUM=1;P_AMPL=0;S_RATE=0;DEV_NO=9;ZELK_V=V3");
  EXPECT_EQ(a.Gain, 4);
  EXPECT_EQ(a.SampleRate, 400);
  EXPECT_EQ(a.DeviceNumber, "9;Z");
  EXPECT_EQ(a.FirmwareVersion, "V3");
  EXPECT_EQ(host.bootLines.size(), 2u);
}

TEST_F(ParseHeaderTest, ChannelCountOtherThanOneOrThreeIsRefused) {
  Parse("CH_NUM=2;S_RATE=100;P_AMPL=16;DEV_NO=001;ZELK_V=V1;");
  EXPECT_EQ(a.ChannelCount, 3);
  EXPECT_EQ(a.BlockSize, 12);
  ASSERT_EQ(host.bootLines.size(), 1u);
  EXPECT_NE(host.bootLines[0].find("CH_NUM=2"), std::string::npos);
}

}  // namespace
}  // namespace voxa::test
