// The settings objects' rules: which writes count as changes, how the flow
// control shorthand reads and writes its four fields, how queue sizes are
// rounded, and which of the owning port's apply steps each object triggers.

#include "serial/com_settings.h"

#include "serial/com_port.h"

namespace voxa {

void TComTimeouts::Assign(const TComTimeouts& source) {
  read_interval_ = source.read_interval_;
  read_total_multiplier_ = source.read_total_multiplier_;
  read_total_constant_ = source.read_total_constant_;
  write_total_multiplier_ = source.write_total_multiplier_;
  write_total_constant_ = source.write_total_constant_;
}

void TComTimeouts::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyTimeoutSettings();
}

// One setter per property, all alike: store a changed value, then have the
// owning port send the group to the device.
#define VOXA_SETTING(Class, Name, Type, member) \
  void Class::Set##Name(Type value) {           \
    if (value == member) return;                \
    member = value;                             \
    Changed();                                  \
  }

VOXA_SETTING(TComTimeouts, ReadInterval, int32_t, read_interval_)
VOXA_SETTING(TComTimeouts, ReadTotalMultiplier, int32_t, read_total_multiplier_)
VOXA_SETTING(TComTimeouts, ReadTotalConstant, int32_t, read_total_constant_)
VOXA_SETTING(TComTimeouts, WriteTotalMultiplier, int32_t, write_total_multiplier_)
VOXA_SETTING(TComTimeouts, WriteTotalConstant, int32_t, write_total_constant_)

void TComFlowControl::Assign(const TComFlowControl& source) {
  out_cts_flow_ = source.out_cts_flow_;
  out_dsr_flow_ = source.out_dsr_flow_;
  control_dtr_ = source.control_dtr_;
  control_rts_ = source.control_rts_;
  xon_xoff_out_ = source.xon_xoff_out_;
  xon_xoff_in_ = source.xon_xoff_in_;
  dsr_sensitivity_ = source.dsr_sensitivity_;
  tx_continue_on_xoff_ = source.tx_continue_on_xoff_;
  xon_char_ = source.xon_char_;
  xoff_char_ = source.xoff_char_;
}

void TComFlowControl::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyLineSettings();
}

VOXA_SETTING(TComFlowControl, OutCTSFlow, bool, out_cts_flow_)
VOXA_SETTING(TComFlowControl, OutDSRFlow, bool, out_dsr_flow_)
VOXA_SETTING(TComFlowControl, ControlDTR, TDTRFlowControl, control_dtr_)
VOXA_SETTING(TComFlowControl, ControlRTS, TRTSFlowControl, control_rts_)
VOXA_SETTING(TComFlowControl, XonXoffOut, bool, xon_xoff_out_)
VOXA_SETTING(TComFlowControl, XonXoffIn, bool, xon_xoff_in_)
VOXA_SETTING(TComFlowControl, DSRSensitivity, bool, dsr_sensitivity_)
VOXA_SETTING(TComFlowControl, TxContinueOnXoff, bool, tx_continue_on_xoff_)
VOXA_SETTING(TComFlowControl, XonChar, uint8_t, xon_char_)
VOXA_SETTING(TComFlowControl, XoffChar, uint8_t, xoff_char_)

TFlowControl TComFlowControl::FlowControl() const {
  if (control_rts_ == rtsHandshake && out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) return fcHardware;
  if (control_rts_ == rtsDisable && !out_cts_flow_ && xon_xoff_in_ && xon_xoff_out_) return fcSoftware;
  if (control_rts_ == rtsDisable && !out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    control_rts_ = rtsDisable;
    out_cts_flow_ = false;
    xon_xoff_in_ = false;
    xon_xoff_out_ = false;
    if (value == fcHardware) {
      control_rts_ = rtsHandshake;
      out_cts_flow_ = true;
    } else if (value == fcSoftware) {
      xon_xoff_in_ = true;
      xon_xoff_out_ = true;
    }
  }
  // The shorthand always re-sends the line settings, changed or not.
  Changed();
}

void TComParity::Assign(const TComParity& source) {
  bits_ = source.bits_;
  check_ = source.check_;
  replace_ = source.replace_;
  replace_char_ = source.replace_char_;
}

void TComParity::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyLineSettings();
}

VOXA_SETTING(TComParity, Bits, TParityBits, bits_)
VOXA_SETTING(TComParity, Check, bool, check_)
VOXA_SETTING(TComParity, Replace, bool, replace_)
VOXA_SETTING(TComParity, ReplaceChar, uint8_t, replace_char_)

void TComBuffer::Assign(const TComBuffer& source) {
  input_size_ = source.input_size_;
  output_size_ = source.output_size_;
}

void TComBuffer::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int32_t value) {
  if (value == input_size_) return;
  input_size_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

void TComBuffer::SetOutputSize(int32_t value) {
  if (value == output_size_) return;
  output_size_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

#undef VOXA_SETTING

}  // namespace voxa
