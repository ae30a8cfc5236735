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

  int32_t ReadInterval() const { return read_interval_; }
  int32_t ReadTotalMultiplier() const { return read_total_multiplier_; }
  int32_t ReadTotalConstant() const { return read_total_constant_; }
  int32_t WriteTotalMultiplier() const { return write_total_multiplier_; }
  int32_t WriteTotalConstant() const { return write_total_constant_; }
  void SetReadInterval(int32_t value);
  void SetReadTotalMultiplier(int32_t value);
  void SetReadTotalConstant(int32_t value);
  void SetWriteTotalMultiplier(int32_t value);
  void SetWriteTotalConstant(int32_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* com_port_ = nullptr;
  int32_t read_interval_ = -1;
  int32_t read_total_multiplier_ = 0;
  int32_t read_total_constant_ = 0;
  int32_t write_total_multiplier_ = 100;
  int32_t write_total_constant_ = 1000;
};

class TComFlowControl {
 public:
  TComFlowControl() = default;
  TComFlowControl(const TComFlowControl& other) { Assign(other); }
  TComFlowControl& operator=(const TComFlowControl&) = delete;
  void Assign(const TComFlowControl& source);

  bool OutCTSFlow() const { return out_cts_flow_; }
  bool OutDSRFlow() const { return out_dsr_flow_; }
  TDTRFlowControl ControlDTR() const { return control_dtr_; }
  TRTSFlowControl ControlRTS() const { return control_rts_; }
  bool XonXoffOut() const { return xon_xoff_out_; }
  bool XonXoffIn() const { return xon_xoff_in_; }
  bool DSRSensitivity() const { return dsr_sensitivity_; }
  bool TxContinueOnXoff() const { return tx_continue_on_xoff_; }
  uint8_t XonChar() const { return xon_char_; }
  uint8_t XoffChar() const { return xoff_char_; }
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
  TCustomComPort* com_port_ = nullptr;
  bool out_cts_flow_ = false;
  bool out_dsr_flow_ = false;
  TDTRFlowControl control_dtr_ = dtrDisable;
  TRTSFlowControl control_rts_ = rtsDisable;
  bool xon_xoff_out_ = false;
  bool xon_xoff_in_ = false;
  bool dsr_sensitivity_ = false;
  bool tx_continue_on_xoff_ = false;
  uint8_t xon_char_ = 0x11;
  uint8_t xoff_char_ = 0x13;
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
  uint8_t ReplaceChar() const { return replace_char_; }
  void SetBits(TParityBits value);
  void SetCheck(bool value);
  void SetReplace(bool value);
  void SetReplaceChar(uint8_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* com_port_ = nullptr;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  uint8_t replace_char_ = 0;
};

class TComBuffer {
 public:
  TComBuffer() = default;
  TComBuffer(const TComBuffer& other) { Assign(other); }
  TComBuffer& operator=(const TComBuffer&) = delete;
  void Assign(const TComBuffer& source);

  int32_t InputSize() const { return input_size_; }
  int32_t OutputSize() const { return output_size_; }
  // An odd positive size is lowered by one: drivers take queue sizes in
  // whole pairs of bytes.
  void SetInputSize(int32_t value);
  void SetOutputSize(int32_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* com_port_ = nullptr;
  int32_t input_size_ = 1024;
  int32_t output_size_ = 1024;
};

}  // namespace voxa
