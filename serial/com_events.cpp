// How the port's events reach its handlers: starting and stopping the event
// thread that waits for them (com_thread.cpp), handling each event in the
// fixed order, reading for OnRxBuf when the port reads itself, the modem
// line notifications of opening and closing, and the calls of the assigned
// handlers through the overridable Do* steps.

#include "serial/com_port.h"

#include <memory>
#include <stdexcept>

#include "serial/com_thread.h"

namespace voxa {

// ---------------------------------------------------------------- the event thread

void TCustomComPort::StartEventThread() {
  if (syncMethod_ != smNone && !dispatcher_) {
    ClosePortHandle();
    connected_.store(false, std::memory_order_release);
    throw std::logic_error("serial port events under thread or window sync need a GUI dispatcher");
  }
  // Recorded before the thread runs: its first handler may already close the
  // port, and must then find the thread to stop.
  eventThread_ = std::make_unique<TComThread>(*this);
  threadCreated_ = true;
  if (const int error = eventThread_->Start()) {
    eventThread_.reset();
    threadCreated_ = false;
    ClosePortHandle();
    connected_.store(false, std::memory_order_release);
    RaiseComError(CE_WaitFailed, error);
  }
}

void TCustomComPort::StopEventThread() {
  TComThread& thread = *eventThread_;
  thread.RequestStop();
  if (thread.IsCurrentThread()) {
    // A handler on the event thread closes the port: the thread cannot wait
    // for itself. It ends as soon as the handler returns.
    thread.ReleaseDeviceHere();
    if (retiredThread_) retiredThread_.reset();
    retiredThread_ = std::move(eventThread_);
  } else {
    thread.WaitForEnd();
    eventThread_.reset();
  }
  threadCreated_ = false;
}

void TCustomComPort::ReapRetiredThread() {
  if (retiredThread_ && !retiredThread_->IsCurrentThread()) retiredThread_.reset();
}

// ---------------------------------------------------------------- modem lines at open and close

void TCustomComPort::NotifySignalsOpened() {
  // One read of the lines before each event.
  DoCTSChange(ReadModemSignals().Contains(msCTS));
  DoDSRChange(ReadModemSignals().Contains(msDSR));
  DoRLSDChange(ReadModemSignals().Contains(msRLSD));
}

void TCustomComPort::NotifySignalsClosing() {
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
}

// ---------------------------------------------------------------- event handling

void TCustomComPort::RunEventHandlers(TComEvents events) {
  for (TComEvent event : kEventHandlingOrder) {
    if (!events.Contains(event)) continue;
    // A handler may have closed the port: what is left would act on a closed device.
    if (!Connected()) return;
    HandleEvent(event);
  }
}

void TCustomComPort::HandleEvent(TComEvent event) {
  switch (event) {
    case evError: {
      const TComErrors errors = ReadLineErrors();
      if (!errors.Empty()) DoError(errors);
      break;
    }
    case evRxChar: HandleReceive(); break;
    case evTxEmpty: DoTxEmpty(); break;
    case evBreak: DoBreak(); break;
    case evRing: DoRing(); break;
    case evCTS: DoCTSChange(ReadModemSignals().Contains(msCTS)); break;
    case evDSR: DoDSRChange(ReadModemSignals().Contains(msDSR)); break;
    case evRxFlag: DoRxFlag(); break;
    case evRLSD: DoRLSDChange(ReadModemSignals().Contains(msRLSD)); break;
    case evRx80Full: DoRx80Full(); break;
  }
}

void TCustomComPort::HandleReceive() {
  int32_t count = InQueueCount();
  if (count > 0 && !TriggersOnRxChar()) {
    // The component reads for the handler; the buffer is kept between
    // events so that steady reception allocates nothing.
    if (rxBuffer_.size() < static_cast<size_t>(count)) rxBuffer_.resize(static_cast<size_t>(count));
    const int32_t got = ReadBytes(rxBuffer_.data(), count);
    // Only what was read is handed on, never the unfilled rest.
    count = 0;
    if (got > 0) DoRxBuf(rxBuffer_.data(), got);
  }
  if (count > 0) DoRxChar(count);
}

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(*this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(*this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(*this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(*this); }
void TCustomComPort::DoRxChar(int32_t count) { if (OnRxChar) OnRxChar(*this, count); }
void TCustomComPort::DoRxBuf(const uint8_t* buffer, int32_t count) { if (OnRxBuf) OnRxBuf(*this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(*this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(*this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(*this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(*this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(*this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(*this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(*this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(*this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(*this); }

}  // namespace voxa
