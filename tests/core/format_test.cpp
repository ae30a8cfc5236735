// The stream's formats: number texts, sample values and GPS record texts.
#include <gtest/gtest.h>

#include "format/gps_record.h"
#include "format/number_text.h"
#include "format/sample.h"

namespace voxa {
namespace {

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

TEST(DecodeSample, SevenBitGroupsToSigned24Bit) {
  struct Case {
    const char* legend;
    uint8_t b1, b2, b3, b4;
    int32_t value;
  } cases[] = {
      {"top bit set: most negative", 0x40, 0x00, 0x00, 0x00, -8388608},
      {"largest positive", 0x3F, 0x7F, 0x7F, 0x07, 8388607},
      {"last group added unmasked", 0x00, 0x00, 0x00, 0x7F, 127},
      {"minus one", 0x7F, 0x7F, 0x7F, 0x07, -1},
      {"zero", 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeSample(c.b1, c.b2, c.b3, c.b4), c.value) << c.legend;
}

TEST(GpsRecordText, ChecksumsAndHexDigits) {
  EXPECT_EQ(GpsChecksum(kPlaceholderGpsText.substr(1, 35)), "79");
  EXPECT_EQ(GpsChecksum(kPlaceholderGpsText.substr(40, 33)), "61");
  const std::pair<uint8_t, const char*> hex[] = {{0x00, "00"}, {0x0A, "0A"}, {0x10, "10"}, {0xA5, "A5"}, {0xFF, "FF"}};
  for (const auto& [value, text] : hex) EXPECT_EQ(HexByte(value), text) << int{value};
}

TEST(GpsRecordText, OverwriteNeverChangesTheLength) {
  // An item cut by the end of a header keeps the header's length.
  std::string text = "DEV_NO=015;S_DATE=11/1";
  gps_text::OverwriteAt(text, 19, "26/03/07", 8);
  EXPECT_EQ(text, "DEV_NO=015;S_DATE=26/0");
  gps_text::OverwriteAt(text, 1, "ABCDEFGH", 3);
  EXPECT_EQ(text, "ABC_NO=015;S_DATE=26/0");
  gps_text::OverwriteAt(text, 23, "x", 1);  // past the end: nothing
  EXPECT_EQ(text, "ABC_NO=015;S_DATE=26/0");
}

}  // namespace
}  // namespace voxa
