// End-of-screen checks: dynamic range, offset and peak-to-peak voltage.
#pragma once

#include <string>

#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

void NoiseCheck(const Acquisition& a, Host& host);
void SignalCheck(const Acquisition& a, Host& host);

// A value in volts scaled to " V", " mV" or " µV" (UTF-8), two decimals
// right-aligned in 6 characters.
std::string VoltageText(double volts);

}  // namespace voxa
