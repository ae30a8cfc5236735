// The platform layer under the serial port component: a serial device on a
// POSIX system (termios and the Linux serial ioctls). It takes the values a
// serial driver is given (the 28-byte device control record, the five
// time-outs, the queue sizes) and reports results the way the component
// expects them: 0 or the saved errno of the failed call, line error flags
// and modem line bits in the driver's usual bit positions.
//
// Everything that touches termios, ioctl, flock, poll or epoll lives in
// posix_port.cpp, so this is the only place to read for a platform question.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace voxa {

// Line error flags, as a driver reports (and clears) them with the queue count.
inline constexpr uint32_t kLineRxOver = 0x0001;
inline constexpr uint32_t kLineOverrun = 0x0002;
inline constexpr uint32_t kLineParity = 0x0004;
inline constexpr uint32_t kLineFrame = 0x0008;
inline constexpr uint32_t kLineBreak = 0x0010;
inline constexpr uint32_t kLineTxFull = 0x0100;
inline constexpr uint32_t kLineIo = 0x0400;
inline constexpr uint32_t kLineMode = 0x8000;

// Modem input lines.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemRlsd = 0x80;

// Device event bits: what an event wait selects and reports.
inline constexpr uint32_t kDeviceRxChar = 0x0001;
inline constexpr uint32_t kDeviceRxFlag = 0x0002;
inline constexpr uint32_t kDeviceTxEmpty = 0x0004;
inline constexpr uint32_t kDeviceCts = 0x0008;
inline constexpr uint32_t kDeviceDsr = 0x0010;
inline constexpr uint32_t kDeviceRlsd = 0x0020;
inline constexpr uint32_t kDeviceBreak = 0x0040;
inline constexpr uint32_t kDeviceError = 0x0080;
inline constexpr uint32_t kDeviceRing = 0x0100;
inline constexpr uint32_t kDeviceRx80Full = 0x0400;

// The driver's interrupt counters we take deltas of.
struct LineCounters {
  int32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
  int32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// One open serial device. Open/Close and the settings calls belong to the
// thread that owns the port; ClearErrors, ModemStatus and the error probe of
// the event wait may run on the event thread at the same time, so the error
// baseline they share is guarded.
class PortDevice {
 public:
  PortDevice() = default;
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;
  ~PortDevice();

  // Every call below returns 0 or the errno of the call that failed.
  int Open(const std::string& path);
  int Close();
  bool IsOpen() const { return Descriptor() >= 0; }
  int Descriptor() const { return fd_.load(std::memory_order_relaxed); }

  int SetQueueSizes(int32_t inputSize, int32_t outputSize);
  int ApplyControlRecord(const std::array<uint8_t, 28>& record);
  int ApplyTimeouts(const std::array<uint32_t, 5>& timeouts);
  // Returns and clears the line error flags, and the count of bytes waiting.
  int ClearErrors(uint32_t& errors, int32_t& queued);
  int ModemStatus(uint32_t& lines);
  // Ends pending reads and writes (there are none: every read here completes
  // before it returns).
  int CancelPending();
  int Purge(bool transmit, bool receive);
  // Reads at most `count` bytes as the time-outs allow. A device that has
  // gone away fails with EIO, never as a read of 0 bytes.
  int Read(uint8_t* buffer, int32_t count, int32_t& got);

  // The line rate the driver reports now (for checks after a setting).
  int ReadLineRate(uint32_t& rate) const;
  int32_t InputQueueSize() const { return inputQueueSize_; }
  int32_t OutputQueueSize() const { return outputQueueSize_; }
  bool HasLineCounters() const { return hasCounters_; }

  // True when line errors are waiting to be reported (the event thread's probe).
  bool LineErrorsPending();
  // A pseudo-terminal has no line error counters: tests add flags here, as if
  // the driver had counted them.
  void InjectLineErrors(uint32_t flags);

 private:
  friend class DeviceEventWait;
  int ReadCounters(LineCounters& counters) const;
  bool HungUp() const;

  // Shared with the event thread, whose handler may close the port while
  // the owning thread still uses it (SyncMethod smNone).
  std::atomic<int> fd_{-1};
  bool hasCounters_ = false;
  int32_t inputQueueSize_ = 0;
  int32_t outputQueueSize_ = 0;
  std::array<uint32_t, 5> timeouts_{0xFFFFFFFFu, 0, 0, 0, 0};
  std::mutex errorsMutex_;
  LineCounters errorBaseline_;
  uint32_t injectedErrors_ = 0;
};

// The event thread's wait: the device's descriptor and a stop descriptor,
// both in one epoll set. Input is watched edge-triggered: a wait ends when
// new bytes arrive, not while old ones stay queued, because the receive
// handling may deliberately leave bytes in the queue.
class DeviceEventWait {
 public:
  enum class Result { Event, Stopped, Failed };

  DeviceEventWait() = default;
  DeviceEventWait(const DeviceEventWait&) = delete;
  DeviceEventWait& operator=(const DeviceEventWait&) = delete;
  ~DeviceEventWait();

  // Creates the stop descriptor. Returns 0 or errno.
  int Create();
  // Selects the device events that end a wait (0 selects none). Returns 0 or errno.
  int SetMask(PortDevice& device, uint32_t mask);
  // Blocks until a selected event happens (its bits in `happened`), the wait
  // is stopped, or the device fails.
  Result Wait(uint32_t& happened);
  // Ends the current and every later wait. Safe from any thread.
  void Stop();
  // Releases the epoll set; the stop descriptor stays until destruction, so
  // a late Stop never writes to a reused descriptor number.
  void Release();

 private:
  uint32_t ProbeInput();
  uint32_t ProbeModemLines();

  PortDevice* device_ = nullptr;
  int epollFd_ = -1;
  int stopFd_ = -1;
  uint32_t mask_ = 0;
  bool hungUp_ = false;
  bool watchModem_ = false;
  bool modemByCounters_ = false;
  LineCounters lastCounters_;
  uint32_t lastLines_ = 0;
  int32_t lastQueued_ = 0;
};

// Opens the device exclusively and closes it again at once.
bool PortCanBeOpened(const std::string& path);

}  // namespace voxa
