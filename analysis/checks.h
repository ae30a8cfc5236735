// End-of-screen checks: dynamic range, offset and peak-to-peak voltage.
//
// Both examine the frames stored in the screen just completed (at most one
// screen's worth): a screen closed early by a zoom change is judged on what
// it holds. With no frame stored no label changes.
#pragma once

#include <string>

#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

// Per channel: the noise against Offset[ch] as dynamic range in bits and dB
// (kept unchanged when the noise is zero), and the offset as a voltage when
// offsets were measured for this screen (ResetOffset or FirstScreen).
void NoiseCheck(const Acquisition& a, Host& host);
// Per channel: the peak-to-peak voltage of the screen.
void SignalCheck(const Acquisition& a, Host& host);

// A value in volts scaled to " V", " mV" or " µV" (UTF-8), two decimals
// right-aligned in 6 characters.
std::string VoltageText(double volts);

}  // namespace voxa
