// The settings objects' rules: which writes count as changes, how the flow
// control shorthand reads and writes its four fields, how queue sizes are
// rounded, and which of the owning port's apply steps each object triggers.

#include "serial/com_settings.h"

#include "serial/com_port.h"

namespace voxa {

void TComTimeouts::Assign(const TComTimeouts& source) {
  readInterval_ = source.readInterval_;
  readTotalMultiplier_ = source.readTotalMultiplier_;
  readTotalConstant_ = source.readTotalConstant_;
  writeTotalMultiplier_ = source.writeTotalMultiplier_;
  writeTotalConstant_ = source.writeTotalConstant_;
}

void TComTimeouts::Changed() {
  if (comPort_ != nullptr) comPort_->ApplyTimeoutSettings();
}

// One setter per property, all alike: store a changed value, then have the
// owning port send the group to the device.
#define VOXA_SETTING(Class, Name, Type, member) \
  void Class::Set##Name(Type value) {           \
    if (value == member) return;                \
    member = value;                             \
    Changed();                                  \
  }

VOXA_SETTING(TComTimeouts, ReadInterval, int32_t, readInterval_)
VOXA_SETTING(TComTimeouts, ReadTotalMultiplier, int32_t, readTotalMultiplier_)
VOXA_SETTING(TComTimeouts, ReadTotalConstant, int32_t, readTotalConstant_)
VOXA_SETTING(TComTimeouts, WriteTotalMultiplier, int32_t, writeTotalMultiplier_)
VOXA_SETTING(TComTimeouts, WriteTotalConstant, int32_t, writeTotalConstant_)

void TComFlowControl::Assign(const TComFlowControl& source) {
  outCtsFlow_ = source.outCtsFlow_;
  outDsrFlow_ = source.outDsrFlow_;
  controlDtr_ = source.controlDtr_;
  controlRts_ = source.controlRts_;
  xonXoffOut_ = source.xonXoffOut_;
  xonXoffIn_ = source.xonXoffIn_;
  dsrSensitivity_ = source.dsrSensitivity_;
  txContinueOnXoff_ = source.txContinueOnXoff_;
  xonChar_ = source.xonChar_;
  xoffChar_ = source.xoffChar_;
}

void TComFlowControl::Changed() {
  if (comPort_ != nullptr) comPort_->ApplyLineSettings();
}

VOXA_SETTING(TComFlowControl, OutCTSFlow, bool, outCtsFlow_)
VOXA_SETTING(TComFlowControl, OutDSRFlow, bool, outDsrFlow_)
VOXA_SETTING(TComFlowControl, ControlDTR, TDTRFlowControl, controlDtr_)
VOXA_SETTING(TComFlowControl, ControlRTS, TRTSFlowControl, controlRts_)
VOXA_SETTING(TComFlowControl, XonXoffOut, bool, xonXoffOut_)
VOXA_SETTING(TComFlowControl, XonXoffIn, bool, xonXoffIn_)
VOXA_SETTING(TComFlowControl, DSRSensitivity, bool, dsrSensitivity_)
VOXA_SETTING(TComFlowControl, TxContinueOnXoff, bool, txContinueOnXoff_)
VOXA_SETTING(TComFlowControl, XonChar, uint8_t, xonChar_)
VOXA_SETTING(TComFlowControl, XoffChar, uint8_t, xoffChar_)

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRts_ == rtsHandshake && outCtsFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRts_ == rtsDisable && !outCtsFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRts_ == rtsDisable && !outCtsFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    controlRts_ = rtsDisable;
    outCtsFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (value == fcHardware) {
      controlRts_ = rtsHandshake;
      outCtsFlow_ = true;
    } else if (value == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  // The shorthand always re-sends the line settings, changed or not.
  Changed();
}

void TComParity::Assign(const TComParity& source) {
  bits_ = source.bits_;
  check_ = source.check_;
  replace_ = source.replace_;
  replaceChar_ = source.replaceChar_;
}

void TComParity::Changed() {
  if (comPort_ != nullptr) comPort_->ApplyLineSettings();
}

VOXA_SETTING(TComParity, Bits, TParityBits, bits_)
VOXA_SETTING(TComParity, Check, bool, check_)
VOXA_SETTING(TComParity, Replace, bool, replace_)
VOXA_SETTING(TComParity, ReplaceChar, uint8_t, replaceChar_)

void TComBuffer::Assign(const TComBuffer& source) {
  inputSize_ = source.inputSize_;
  outputSize_ = source.outputSize_;
}

void TComBuffer::Changed() {
  if (comPort_ != nullptr) comPort_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int32_t value) {
  if (value == inputSize_) return;
  inputSize_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

void TComBuffer::SetOutputSize(int32_t value) {
  if (value == outputSize_) return;
  outputSize_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

#undef VOXA_SETTING

}  // namespace voxa
