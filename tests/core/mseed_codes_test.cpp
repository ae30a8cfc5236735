// Stream codes and their options, and UTC instants from GPS fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mseed/codes.h"
#include "mseed/mseed_stream.h"
#include "mseed/utc_time.h"

namespace voxa::test {
namespace {

TEST(MseedCodes, DefaultChannelCodesFollowTheRateAndTheOrientation) {
  struct Row {
    int32_t rate, channels;
    std::array<std::string, 3> codes;
  };
  const std::vector<Row> rows = {
      {50, 3, {"SHZ", "SHN", "SHE"}},  {100, 3, {"EHZ", "EHN", "EHE"}}, {200, 3, {"EHZ", "EHN", "EHE"}},
      {400, 3, {"DHZ", "DHN", "DHE"}}, {800, 3, {"DHZ", "DHN", "DHE"}}, {800, 1, {"DHZ", "DHZ", "DHZ"}},
      {50, 1, {"SHZ", "SHZ", "SHZ"}},
  };
  for (const Row& row : rows) {
    const StreamCodes codes = ResolveCodes(CodeChoices{}, row.rate, row.channels, "015");
    for (int32_t ch = 0; ch < row.channels; ++ch) {
      EXPECT_EQ(codes.channels[static_cast<size_t>(ch)], row.codes[static_cast<size_t>(ch)]) << row.rate;
    }
    EXPECT_EQ(codes.network, "XX");
    EXPECT_EQ(codes.station, "V015");
    EXPECT_EQ(codes.location, "");
  }
}

TEST(MseedCodes, OptionsOverrideTheDefaults) {
  CodeChoices choices;
  std::string message;
  ASSERT_TRUE(ApplyCodeOption("--network", "gr", choices, message));
  ASSERT_TRUE(ApplyCodeOption("--station", "BFO1", choices, message));
  ASSERT_TRUE(ApplyCodeOption("--location", "00", choices, message));
  ASSERT_TRUE(ApplyCodeOption("--channel-codes", "HHZ,HH1", choices, message));
  const StreamCodes codes = ResolveCodes(choices, 100, 3, "015");
  EXPECT_EQ(codes.network, "GR");
  EXPECT_EQ(codes.station, "BFO1");
  EXPECT_EQ(codes.location, "00");
  EXPECT_EQ(codes.channels, (std::array<std::string, 3>{"HHZ", "HH1", "EHE"}));
}

TEST(MseedCodes, StationFromTheDeviceNumberKeepsLettersAndDigitsOnly) {
  EXPECT_EQ(ResolveCodes({}, 100, 3, "000").station, "V000");
  EXPECT_EQ(ResolveCodes({}, 100, 3, "1/2").station, "V12");
  EXPECT_EQ(ResolveCodes({}, 100, 3, "").station, "V000");
}

TEST(MseedCodes, UnusableValuesAreRefusedWithAMessage) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"--network", ""},         {"--network", "ABC"},          {"--network", "X-"},
      {"--station", ""},         {"--station", "TOOLONG"},      {"--location", "123"},
      {"--location", "0 "},      {"--channel-codes", "EH"},     {"--channel-codes", "EHZ,EHZ"},
      {"--channel-codes", "A,B"}, {"--channel-codes", "EHZ,EHN,EHE,EH1"}, {"--channel-codes", "EHZ,"},
  };
  for (const auto& [name, value] : bad) {
    CodeChoices choices;
    std::string message;
    EXPECT_FALSE(ApplyCodeOption(name, value, choices, message)) << name << " " << value;
    EXPECT_NE(message.find(name), std::string::npos) << message;
  }
  CodeChoices choices;
  std::string message;
  EXPECT_TRUE(ApplyCodeOption("--location", "", choices, message)) << "an empty location is the default";
  EXPECT_TRUE(IsCodeOption("--channel-codes"));
  EXPECT_FALSE(IsCodeOption("--out"));
}

TEST(MseedTime, GpsFieldsGiveUtcInstants) {
  GpsTime time;
  time.hour = "23";
  time.minute = "59";
  time.second = "59";
  time.day = "31";
  time.month = "12";
  time.year = "24";
  const auto instant = UtcOfGpsTime(time);
  ASSERT_TRUE(instant.has_value());
  EXPECT_EQ(IsoText(*instant), "2024-12-31T23:59:59.000000");
  const UtcFields fields = FieldsOf(*instant);
  EXPECT_EQ(fields.dayOfYear, 366) << "2024 is a leap year";
  EXPECT_EQ(FieldsOf(*instant + kMicrosPerSecond).dayOfYear, 1);
  EXPECT_EQ(NextDayStart(*instant), *instant + kMicrosPerSecond);

  // Fields that are no date and time give none.
  for (const auto& [field, value] : std::vector<std::pair<std::string GpsTime::*, std::string>>{
           {&GpsTime::month, "00"}, {&GpsTime::month, "13"}, {&GpsTime::day, "32"}, {&GpsTime::hour, "24"},
           {&GpsTime::second, "60"}, {&GpsTime::year, "2a"}, {&GpsTime::minute, "5"}}) {
    GpsTime broken = time;
    broken.*field = value;
    EXPECT_FALSE(UtcOfGpsTime(broken).has_value()) << value;
  }
  time.month = "02";
  time.day = "29";
  time.year = "25";
  EXPECT_FALSE(UtcOfGpsTime(time).has_value()) << "2025 has no 29 February";
}

TEST(MseedTime, TemperatureTextInTenths) {
  EXPECT_EQ(TemperatureTenths("+23.5"), 235);
  EXPECT_EQ(TemperatureTenths("-04.2"), -42);
  EXPECT_EQ(TemperatureTenths("  17"), 170);
  EXPECT_EQ(TemperatureTenths("+1.25"), 12);
  EXPECT_FALSE(TemperatureTenths("").has_value());
  EXPECT_FALSE(TemperatureTenths("+2x.5").has_value());
}

}  // namespace
}  // namespace voxa::test
