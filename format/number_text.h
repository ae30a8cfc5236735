// Number text conversions shared by the header, GPS and time code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace voxa {

// Reads a number from its leading decimal digits after optional blanks and a
// sign; text without digits gives 0. Never fails; values beyond the 32-bit
// range are clamped to it.
int32_t TextToInt(std::string_view text);

// value in decimal with leading zeros up to width characters.
std::string ZeroPadded(int64_t value, int width);

// value with the given decimals, right-aligned in width characters (a longer
// number is not cut), as a Pascal "%*.*f" would write it.
std::string FixedText(double value, int width, int decimals);

// Rounds to the nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(double value);

}  // namespace voxa
