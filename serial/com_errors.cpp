// The failure messages and EComPort's text: the fixed message of the code,
// with the platform's error number appended when there is one.

#include "serial/com_errors.h"

#include <cstdio>

namespace voxa {
namespace {

// Indexed by failure code - 1.
constexpr const char* kComErrorMessages[24] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};

std::string ComErrorText(int32_t code, int64_t winError) {
  std::string text = ComErrorMessage(code);
  if (winError > 0) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, " (Error: %d)", static_cast<int>(winError));
    text += suffix;
  }
  return text;
}

}  // namespace

std::string ComErrorMessage(int32_t code) {
  if (code < 1 || code > 24) return std::string();
  return kComErrorMessages[code - 1];
}

EComPort::EComPort(int32_t code, int64_t winError)
    : std::runtime_error(ComErrorText(code, winError)),
      code_(code),
      winError_(winError > 0 ? static_cast<int32_t>(winError) : -1) {}

}  // namespace voxa
