// The header in force: built at START from config.txt or from the window's
// parameters, replaced by every header record the device sends.
#pragma once

#include <string>

#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

// Reads config.txt at path when a.LoadExtHeader is set and builds the header
// in force from it (a.ExtHeaderLoaded := true), else from the parameters.
// Lines about values that could not be used go to the boot window.
void LoadConfiguration(Acquisition& a, const std::string& path, Host& host);
void BuildHeaderFromConfig(Acquisition& a, Host& host);
void BuildDefaultHeader(Acquisition& a);

// Takes channel count, gain, rate, device number and firmware version from
// the header record in HeaderBuffer (HeaderLength bytes). Values that cannot
// be used keep their previous value, with a line in the boot window.
void ParseHeader(Acquisition& a, Host& host);

}  // namespace voxa
