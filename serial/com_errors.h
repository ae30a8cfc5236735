// The serial port component's failures: the 24 failure codes, their fixed
// messages, and EComPort, the exception every platform failure becomes
// unless the port's OnException takes it instead.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace voxa {

// Failure codes, numbered as the message table (1 to 24).
enum TComExceptions : int32_t {
  CE_OpenFailed = 1, CE_WriteFailed, CE_ReadFailed, CE_InvalidAsync, CE_PurgeFailed,
  CE_AsyncCheck, CE_SetStateFailed, CE_TimeoutsFailed, CE_SetupComFailed, CE_ClearComFailed,
  CE_ModemStatFailed, CE_EscapeComFailed, CE_TransmitFailed, CE_ConnChangeProp, CE_EnumPortsFailed,
  CE_StoreFailed, CE_LoadFailed, CE_RegFailed, CE_LedStateFailed, CE_ThreadCreated,
  CE_WaitFailed, CE_HasLink, CE_RegError, CEPortNotOpen
};

// The fixed message of a failure code; empty for a code outside 1..24.
std::string ComErrorMessage(int32_t code);

class EComPort : public std::runtime_error {
 public:
  // winError <= 0 means there is no platform code: WinError() is then -1 and
  // the message carries no " (Error: %d)" suffix.
  EComPort(int32_t code, int64_t winError);
  int ErrorCode() const { return code_; }
  int WinError() const { return winError_; }

 private:
  int32_t code_;
  int32_t winError_;
};

}  // namespace voxa
