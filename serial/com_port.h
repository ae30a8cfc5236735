// The serial port component: one serial device with its line settings,
// opened exclusively, configured, read by polling, and closed again. Every
// platform failure becomes an EComPort with one of 24 fixed messages. The
// settings are first built as the values a serial driver is given and only
// then translated to the platform, so the values can be checked apart from
// any device.
//
// This header is the one users include; it brings the rest of the component
// with it:
//   com_enums.h      the enumerations and the sets over them
//   com_errors.h     the failure codes, their messages, EComPort
//   com_settings.h   the settings objects (time-outs, flow control, parity, buffer)
//   driver_record.h  the device control record and the time-outs as values
// The port's definitions are split the same way: com_port.cpp opens,
// configures, reads and closes; com_events.cpp dispatches events to the
// handlers; posix_port.cpp holds every platform call.
//
// The component knows nothing of a GUI toolkit. When it is opened with a
// non-empty Events set it runs an event thread (com_thread.h); events that
// must reach the GUI thread go through a TComGuiDispatcher (gui_dispatcher.h).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/com_enums.h"
#include "serial/com_errors.h"
#include "serial/com_settings.h"
#include "serial/driver_record.h"

namespace voxa {

class TCustomComPort;
class TComThread;
class TComGuiDispatcher;
class PortDevice;
struct ComEventChannel;
struct ComPortTestAccess;

// ---------------------------------------------------------------- event handlers

using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int32_t count)>;
using TRxBufEvent = std::function<void(TCustomComPort& sender, const uint8_t* buffer, int32_t count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;
using TComExceptionEvent =
    std::function<void(TCustomComPort& sender, TComExceptions code, const std::string& comportMessage,
                       int64_t winError, const std::string& winMessage)>;

// ---------------------------------------------------------------- the port

class TCustomComPort {
 public:
  TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;
  virtual ~TCustomComPort();

  // Opens and configures the device; raises EComPort when it cannot. Does
  // nothing when already open.
  void OpenPort();
  // Releases the device (and ends the event thread first). Does nothing when closed.
  void ClosePort();
  // Bytes waiting in the input queue. Also clears pending line errors unreported.
  int32_t InQueueCount();
  // Reads at most `count` bytes of what has arrived, as the time-outs allow
  // (with the default time-outs: at once, possibly 0).
  int32_t ReadBytes(void* buffer, int32_t count);
  // As ReadBytes into `text`, whose length becomes the result.
  int32_t ReadText(std::string& text, int32_t count);
  // Reads and clears the line errors since the last call (or InQueueCount).
  TComErrors ReadLineErrors();
  TModemSignals ReadModemSignals();
  // Ends pending reads and writes; queued data stay.
  void CancelAllAsync();
  // The open descriptor, or -1, so an event loop can wait until the port is readable.
  int Handle() const;

  // The values the driver is given, built from the current settings
  // (driver_record.h).
  std::array<uint8_t, 28> BuildDeviceControlRecord() const;
  std::array<uint32_t, 5> TimeoutValues() const;

  // ------------------------------------------------------------ properties
  bool Connected() const { return connected_.load(std::memory_order_acquire); }
  void SetConnected(bool value);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int32_t value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool value);
  uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(uint8_t value);
  TComEvents Events() const { return events_; }
  // Takes effect at the next OpenPort.
  void SetEvents(TComEvents value) { events_ = value; }
  TComBuffer& Buffer() { return buffer_; }
  const TComBuffer& Buffer() const { return buffer_; }
  void SetBuffer(const TComBuffer& value);
  TComParity& Parity() { return parity_; }
  const TComParity& Parity() const { return parity_; }
  void SetParity(const TComParity& value);
  TComTimeouts& Timeouts() { return timeouts_; }
  const TComTimeouts& Timeouts() const { return timeouts_; }
  void SetTimeouts(const TComTimeouts& value);
  TComFlowControl& FlowControl() { return flowControl_; }
  const TComFlowControl& FlowControl() const { return flowControl_; }
  void SetFlowControl(const TComFlowControl& value);
  TSyncMethod SyncMethod() const { return syncMethod_; }
  // Raises "Cannot set property while connected" when changed while open.
  void SetSyncMethod(TSyncMethod value);
  TStoredProps StoredProps() const { return storedProps_; }
  void SetStoredProps(TStoredProps value) { storedProps_ = value; }
  bool TriggersOnRxChar() const;
  void SetTriggersOnRxChar(bool value);
  uint32_t CodePage() const { return codePage_; }
  void SetCodePage(uint32_t value) { codePage_ = value; }

  // Where smThreadSync and smWindowSync deliver events: the GUI thread's
  // queue. Needed only for an open with a non-empty Events set under those
  // modes; the dispatcher must outlive every open of the port.
  void SetGuiDispatcher(std::shared_ptr<TComGuiDispatcher> dispatcher) { dispatcher_ = std::move(dispatcher); }
  const std::shared_ptr<TComGuiDispatcher>& GuiDispatcher() const { return dispatcher_; }
  // True while the event thread exists.
  bool ThreadCreated() const { return threadCreated_; }

  // ------------------------------------------------------------ event handlers
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
  TComErrorEvent OnError;
  TComExceptionEvent OnException;

 protected:
  virtual void OpenPortHandle();
  virtual void ClosePortHandle();
  virtual void ConfigurePort();
  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(int32_t count);
  virtual void DoRxBuf(const uint8_t* buffer, int32_t count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool onOff);
  virtual void DoDSRChange(bool onOff);
  virtual void DoError(TComErrors errors);
  virtual void DoRLSDChange(bool onOff);
  virtual void DoRx80Full();
  // Send a group of settings to the device; each does nothing while closed.
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  // Every failure goes through here: to OnException when assigned (and the
  // caller carries on), else as an EComPort.
  void RaiseComError(TComExceptions code, int64_t winError);

 private:
  friend class TComTimeouts;
  friend class TComFlowControl;
  friend class TComParity;
  friend class TComBuffer;
  friend class TComThread;
  friend struct ComEventChannel;
  friend struct ComPortTestAccess;

  // The event side of the port (com_events.cpp). RunEventHandlers runs the
  // handling of the given events in their fixed order; the event thread
  // calls it on the thread SyncMethod selects.
  void RunEventHandlers(TComEvents events);
  void HandleEvent(TComEvent event);
  void HandleReceive();
  void NotifySignalsOpened();
  void NotifySignalsClosing();
  void StartEventThread();
  void StopEventThread();
  void ReapRetiredThread();

  std::unique_ptr<TComThread> eventThread_;
  // An event thread whose own handler closed the port: it cannot wait for
  // itself, so it is waited for at the next open or at destruction.
  std::unique_ptr<TComThread> retiredThread_;
  bool threadCreated_ = false;
  std::unique_ptr<PortDevice> device_;
  std::shared_ptr<TComGuiDispatcher> dispatcher_;
  std::atomic<bool> triggersOnRxChar_{true};
  // No listener kind exists that could set this; kept so the property's
  // guard reads as it should.
  bool hasLink_ = false;
  std::atomic<bool> connected_{false};
  bool closing_ = false;
  TBaudRate baudRate_ = br9600;
  int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = sbOneStopBit;
  TDataBits dataBits_ = dbEight;
  bool discardNull_ = false;
  uint8_t eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TComBuffer buffer_;
  TComParity parity_;
  TComTimeouts timeouts_;
  TComFlowControl flowControl_;
  TSyncMethod syncMethod_ = smThreadSync;
  TStoredProps storedProps_{spBasic};
  uint32_t codePage_ = 0;
  // Receive buffer of the event handling when the component reads itself.
  std::vector<uint8_t> rxBuffer_;
};

// Publishes everything and adds nothing.
class TComPort : public TCustomComPort {};

// ---------------------------------------------------------------- port names

// A name with a "/" is a path used as given; any other name lives under /dev/.
std::string ComPortDevicePath(const std::string& name);
// True when the port can be opened exclusively right now (it is closed again
// at once). A port held by another program is not available.
bool ComPortAvailable(const std::string& name);

}  // namespace voxa
