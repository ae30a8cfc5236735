// The serial port component: one serial device with its line settings,
// opened exclusively, configured, read by polling, and closed again. Every
// platform failure becomes an EComPort with one of 24 fixed messages. The
// settings are first built as the values a serial driver is given (a 28-byte
// device control record, five time-outs) and only then translated to the
// platform, so the values can be checked apart from any device.
//
// The component knows nothing of a GUI toolkit. When it is opened with a
// non-empty Events set it runs an event thread (com_thread.h); events that
// must reach the GUI thread go through a TComGuiDispatcher (gui_dispatcher.h).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace voxa {

class TCustomComPort;
class TComThread;
class TComGuiDispatcher;
class PortDevice;
struct ComEventChannel;
struct ComPortTestAccess;

// ---------------------------------------------------------------- enumerations

enum TBaudRate : uint8_t {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TComError : uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
enum TModemSignal : uint8_t { msCTS, msDSR, msRing, msRLSD };

// A set over one of the enumerations above: member n at bit n.
template <typename E, typename Bits>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E member : members) Include(member);
  }
  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet set;
    set.bits_ = bits;
    return set;
  }
  constexpr Bits ToBits() const { return bits_; }
  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(E member) { bits_ = static_cast<Bits>(bits_ | Bit(member)); }
  constexpr void Exclude(E member) { bits_ = static_cast<Bits>(bits_ & ~Bit(member)); }
  friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }
  friend constexpr EnumSet operator|(EnumSet a, EnumSet b) { return FromBits(static_cast<Bits>(a.bits_ | b.bits_)); }
  friend constexpr EnumSet operator&(EnumSet a, EnumSet b) { return FromBits(static_cast<Bits>(a.bits_ & b.bits_)); }

 private:
  static constexpr Bits Bit(E member) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(member)); }
  Bits bits_ = 0;
};

using TComEvents = EnumSet<TComEvent, uint16_t>;
using TComErrors = EnumSet<TComError, uint8_t>;
using TStoredProps = EnumSet<TStoredProp, uint8_t>;
using TModemSignals = EnumSet<TModemSignal, uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x03FF);

// ---------------------------------------------------------------- failures

// Failure codes, numbered as the message table below (1 to 24).
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
  // win_error <= 0 means there is no platform code: WinError() is then -1 and
  // the message carries no " (Error: %d)" suffix.
  EComPort(int32_t code, int64_t win_error);
  int ErrorCode() const { return code_; }
  int WinError() const { return win_error_; }

 private:
  int32_t code_;
  int32_t win_error_;
};

// ---------------------------------------------------------------- event handlers

using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int32_t count)>;
using TRxBufEvent = std::function<void(TCustomComPort& sender, const uint8_t* buffer, int32_t count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool on_off)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;
using TComExceptionEvent =
    std::function<void(TCustomComPort& sender, TComExceptions code, const std::string& comport_message,
                       int64_t win_error, const std::string& win_message)>;

// ---------------------------------------------------------------- settings objects
//
// Each settings object may belong to a port. A property write stores a
// changed value and then has the owning port send its group of settings to
// the device (which it does only while open). Assign copies the values,
// never the owner.

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

// -1 becomes the all-ones value (no limit); every other value passes as its
// 32-bit pattern.
uint32_t TimeoutValue(int32_t value);

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

  // The values the driver is given, built from the current settings.
  std::array<uint8_t, 28> BuildDeviceControlRecord() const;
  std::array<uint32_t, 5> TimeoutValues() const;

  // ------------------------------------------------------------ properties
  bool Connected() const { return connected_.load(std::memory_order_acquire); }
  void SetConnected(bool value);
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const { return custom_baud_rate_; }
  void SetCustomBaudRate(int32_t value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return data_bits_; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return discard_null_; }
  void SetDiscardNull(bool value);
  uint8_t EventChar() const { return event_char_; }
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
  TComFlowControl& FlowControl() { return flow_control_; }
  const TComFlowControl& FlowControl() const { return flow_control_; }
  void SetFlowControl(const TComFlowControl& value);
  TSyncMethod SyncMethod() const { return sync_method_; }
  // Raises "Cannot set property while connected" when changed while open.
  void SetSyncMethod(TSyncMethod value);
  TStoredProps StoredProps() const { return stored_props_; }
  void SetStoredProps(TStoredProps value) { stored_props_ = value; }
  bool TriggersOnRxChar() const;
  void SetTriggersOnRxChar(bool value);
  uint32_t CodePage() const { return code_page_; }
  void SetCodePage(uint32_t value) { code_page_ = value; }

  // Where smThreadSync and smWindowSync deliver events: the GUI thread's
  // queue. Needed only for an open with a non-empty Events set under those
  // modes; the dispatcher must outlive every open of the port.
  void SetGuiDispatcher(std::shared_ptr<TComGuiDispatcher> dispatcher) { dispatcher_ = std::move(dispatcher); }
  const std::shared_ptr<TComGuiDispatcher>& GuiDispatcher() const { return dispatcher_; }
  // True while the event thread exists.
  bool ThreadCreated() const { return thread_created_; }

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
  virtual void DoCTSChange(bool on_off);
  virtual void DoDSRChange(bool on_off);
  virtual void DoError(TComErrors errors);
  virtual void DoRLSDChange(bool on_off);
  virtual void DoRx80Full();
  // Send a group of settings to the device; each does nothing while closed.
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  // Every failure goes through here: to OnException when assigned (and the
  // caller carries on), else as an EComPort.
  void RaiseComError(TComExceptions code, int64_t win_error);

 private:
  friend class TComTimeouts;
  friend class TComFlowControl;
  friend class TComParity;
  friend class TComBuffer;
  friend class TComThread;
  friend struct ComEventChannel;
  friend struct ComPortTestAccess;

  // Runs the handling of the given events in their fixed order; the event
  // thread calls it on the thread SyncMethod selects.
  void RunEventHandlers(TComEvents events);
  void HandleEvent(TComEvent event);
  void HandleReceive();
  void NotifySignalsOpened();
  void NotifySignalsClosing();
  void StartEventThread();
  void StopEventThread();
  void ReapRetiredThread();

  std::unique_ptr<TComThread> event_thread_;
  // An event thread whose own handler closed the port: it cannot wait for
  // itself, so it is waited for at the next open or at destruction.
  std::unique_ptr<TComThread> retired_thread_;
  bool thread_created_ = false;
  std::unique_ptr<PortDevice> device_;
  std::shared_ptr<TComGuiDispatcher> dispatcher_;
  std::atomic<bool> triggers_on_rx_char_{true};
  // No listener kind exists that could set this; kept so the property's
  // guard reads as it should.
  bool has_link_ = false;
  std::atomic<bool> connected_{false};
  bool closing_ = false;
  TBaudRate baud_rate_ = br9600;
  int32_t custom_baud_rate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stop_bits_ = sbOneStopBit;
  TDataBits data_bits_ = dbEight;
  bool discard_null_ = false;
  uint8_t event_char_ = 0;
  TComEvents events_ = kAllComEvents;
  TComBuffer buffer_;
  TComParity parity_;
  TComTimeouts timeouts_;
  TComFlowControl flow_control_;
  TSyncMethod sync_method_ = smThreadSync;
  TStoredProps stored_props_{spBasic};
  uint32_t code_page_ = 0;
  // Receive buffer of the event handling when the component reads itself.
  std::vector<uint8_t> rx_buffer_;
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
