// The serial port component's settings objects: time-outs, flow control,
// parity and queue sizes. Each may belong to a port. A property write stores
// a changed value and then has the owning port send its group of settings
// to the device (which it does only while open). Assign copies the values,
// never the owner, and a copy belongs to no port.
#pragma once

#include <cstdint>

#include "serial/com_enums.h"

namespace voxa {

class TCustomComPort;

class TComTimeouts {
 public:
  TComTimeouts() = default;
  TComTimeouts(const TComTimeouts& other) { Assign(other); }
  TComTimeouts& operator=(const TComTimeouts&) = delete;
  void Assign(const TComTimeouts& source);

  int32_t ReadInterval() const { return readInterval_; }
  int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  int32_t ReadTotalConstant() const { return readTotalConstant_; }
  int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetReadInterval(int32_t value);
  void SetReadTotalMultiplier(int32_t value);
  void SetReadTotalConstant(int32_t value);
  void SetWriteTotalMultiplier(int32_t value);
  void SetWriteTotalConstant(int32_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* comPort_ = nullptr;
  int32_t readInterval_ = -1;
  int32_t readTotalMultiplier_ = 0;
  int32_t readTotalConstant_ = 0;
  int32_t writeTotalMultiplier_ = 100;
  int32_t writeTotalConstant_ = 1000;
};

class TComFlowControl {
 public:
  TComFlowControl() = default;
  TComFlowControl(const TComFlowControl& other) { Assign(other); }
  TComFlowControl& operator=(const TComFlowControl&) = delete;
  void Assign(const TComFlowControl& source);

  bool OutCTSFlow() const { return outCtsFlow_; }
  bool OutDSRFlow() const { return outDsrFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDtr_; }
  TRTSFlowControl ControlRTS() const { return controlRts_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  uint8_t XonChar() const { return xonChar_; }
  uint8_t XoffChar() const { return xoffChar_; }
  TFlowControl FlowControl() const;

  void SetOutCTSFlow(bool value);
  void SetOutDSRFlow(bool value);
  void SetControlDTR(TDTRFlowControl value);
  void SetControlRTS(TRTSFlowControl value);
  void SetXonXoffOut(bool value);
  void SetXonXoffIn(bool value);
  void SetDSRSensitivity(bool value);
  void SetTxContinueOnXoff(bool value);
  void SetXonChar(uint8_t value);
  void SetXoffChar(uint8_t value);
  void SetFlowControl(TFlowControl value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* comPort_ = nullptr;
  bool outCtsFlow_ = false;
  bool outDsrFlow_ = false;
  TDTRFlowControl controlDtr_ = dtrDisable;
  TRTSFlowControl controlRts_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  uint8_t xonChar_ = 0x11;
  uint8_t xoffChar_ = 0x13;
};

class TComParity {
 public:
  TComParity() = default;
  TComParity(const TComParity& other) { Assign(other); }
  TComParity& operator=(const TComParity&) = delete;
  void Assign(const TComParity& source);

  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  uint8_t ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits value);
  void SetCheck(bool value);
  void SetReplace(bool value);
  void SetReplaceChar(uint8_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* comPort_ = nullptr;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  uint8_t replaceChar_ = 0;
};

class TComBuffer {
 public:
  TComBuffer() = default;
  TComBuffer(const TComBuffer& other) { Assign(other); }
  TComBuffer& operator=(const TComBuffer&) = delete;
  void Assign(const TComBuffer& source);

  int32_t InputSize() const { return inputSize_; }
  int32_t OutputSize() const { return outputSize_; }
  // An odd positive size is lowered by one: drivers take queue sizes in
  // whole pairs of bytes.
  void SetInputSize(int32_t value);
  void SetOutputSize(int32_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* comPort_ = nullptr;
  int32_t inputSize_ = 1024;
  int32_t outputSize_ = 1024;
};

}  // namespace voxa
