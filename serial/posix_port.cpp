// The serial device on Linux: every termios, ioctl, flock, poll and epoll
// detail of the serial component is here, each quirk noted where it bites.

#include "serial/posix_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

// The kernel's termios with free line rates, for rates that have no B
// constant (14400, 56000, 128000, 256000, custom); glibc does not declare it.
struct termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

namespace voxa {
namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
#ifndef BOTHER
constexpr tcflag_t BOTHER = 0010000;
#endif
// How often modem lines are compared while modem events are selected: the
// only interrupt-driven line wait (TIOCMIWAIT) cannot be combined with a wait
// on other descriptors.
constexpr int kModemCheckMs = 10;

uint32_t Le32(const std::array<uint8_t, 28>& record, int offset) {
  return static_cast<uint32_t>(record[offset]) | (static_cast<uint32_t>(record[offset + 1]) << 8) |
         (static_cast<uint32_t>(record[offset + 2]) << 16) | (static_cast<uint32_t>(record[offset + 3]) << 24);
}

speed_t StandardSpeed(uint32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

uint32_t SpeedRate(speed_t speed) {
  static constexpr uint32_t kRates[] = {50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800,
                                        9600, 19200, 38400, 57600, 115200, 230400, 460800, 500000,
                                        576000, 921600, 1000000};
  for (uint32_t rate : kRates) {
    if (StandardSpeed(rate) == speed) return rate;
  }
  return 0;
}

// A pseudo-terminal (and some adapters) have no modem lines or counters:
// the ioctl then fails with ENOTTY (older kernels: EINVAL), which means "none".
bool NotSupported(int error) { return error == ENOTTY || error == EINVAL; }

int SetModemLine(int fd, int line, bool on) {
  int bits = line;
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
  return NotSupported(errno) ? 0 : errno;
}

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

}  // namespace

// ---------------------------------------------------------------- PortDevice

PortDevice::~PortDevice() { Close(); }

int PortDevice::Open(const std::string& path) {
  if (IsOpen()) return EBUSY;
  // O_NONBLOCK: opening must not wait for carrier; O_NOCTTY: the port must
  // never become our controlling terminal, or a hang-up would signal us.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  if (!isatty(fd)) {
    close(fd);
    return ENOTTY;
  }
  // flock refuses a second open even for root (root passes TIOCEXCL). The
  // refusal is reported as EBUSY, the code TIOCEXCL gives, not as EAGAIN.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
    close(fd);
    return error;
  }
  // TIOCEXCL also keeps out programs that do not use flock.
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  fd_.store(fd, std::memory_order_relaxed);
  LineCounters counters;
  hasCounters_ = ReadCounters(counters) == 0;
  {
    std::lock_guard<std::mutex> lock(errorsMutex_);
    errorBaseline_ = counters;
    injectedErrors_ = 0;
  }
  return 0;
}

int PortDevice::Close() {
  // Linux releases the descriptor even when close reports an error, so it is
  // forgotten either way: closing its number again could hit a reused one.
  const int fd = fd_.exchange(-1, std::memory_order_relaxed);
  if (fd < 0) return 0;
  // TIOCEXCL belongs to the tty, not to the descriptor: it would outlive
  // the close and lock everybody else (but root) out.
  ioctl(fd, TIOCNXCL);
  if (close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int PortDevice::SetQueueSizes(int32_t inputSize, int32_t outputSize) {
  // termios has no settable queue sizes: they are kept, and the input size
  // sets the "80 percent full" mark of the event wait.
  inputQueueSize_ = inputSize;
  outputQueueSize_ = outputSize;
  return IsOpen() ? 0 : EBADF;
}

int PortDevice::ApplyControlRecord(const std::array<uint8_t, 28>& record) {
  const uint32_t rate = Le32(record, 4);
  const uint32_t flags = Le32(record, 8);
  const uint8_t byteSize = record[18];
  const uint8_t parity = record[19];
  const uint8_t stopBits = record[20];
  if (rate == 0 || byteSize < 5 || byteSize > 8 || parity > 4 || stopBits > 2) return EINVAL;

  termios settings;
  if (tcgetattr(Descriptor(), &settings) != 0) return errno;
  // Raw bytes: no line editing, echo, signals or CR/LF translation.
  cfmakeraw(&settings);
  // CLOCAL: reads must not depend on the carrier line; CREAD: receive at all.
  settings.c_cflag |= CREAD | CLOCAL;
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  settings.c_cflag |= kSizes[byteSize - 5];
  // Mark and space parity are the stick-parity variants of odd and even.
  switch (parity) {
    case 1: settings.c_cflag |= PARENB | PARODD; break;
    case 2: settings.c_cflag |= PARENB; break;
    case 3: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: settings.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // POSIX has no 1.5 stop bits; UARTs send 1.5 for CSTOPB with 5 data bits.
  if (stopBits != 0) settings.c_cflag |= CSTOPB;
  // termios can only replace a byte with a parity error by 0 (INPCK without
  // PARMRK/IGNPAR); without replacement the byte passes unchanged and the
  // driver still counts the error.
  if ((flags & 0x0002) && (flags & 0x0400)) settings.c_iflag |= INPCK;
  // CTS output flow and RTS handshaking are one switch here.
  if ((flags & 0x0004) || (flags & 0x3000) == 0x2000) settings.c_cflag |= CRTSCTS;
  if (flags & 0x0100) settings.c_iflag |= IXON;
  if (flags & 0x0200) settings.c_iflag |= IXOFF;
  // DSR flow, DSR sensitivity, DTR handshaking, continue-after-XOFF and
  // discarding NUL bytes have no termios counterpart and are not applied.
  settings.c_cc[VSTART] = record[21];
  settings.c_cc[VSTOP] = record[22];
  // Reads never block in the driver; the time-outs are kept by Read itself.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  const speed_t speed = StandardSpeed(rate);
  if (speed != B0) {
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
  }
  if (tcsetattr(Descriptor(), TCSANOW, &settings) != 0) return errno;
  if (speed == B0) {
    termios2 freeRate;
    if (ioctl(Descriptor(), TCGETS2, &freeRate) != 0) return errno;
    freeRate.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    freeRate.c_cflag |= BOTHER;
    freeRate.c_ispeed = rate;
    freeRate.c_ospeed = rate;
    if (ioctl(Descriptor(), TCSETS2, &freeRate) != 0) return errno;
  }
  // The output lines: enabled or handshaking DTR is raised; RTS is raised
  // when enabled, left to the driver for handshaking, and held low for
  // toggling (it would only rise while sending, and nothing is sent).
  const uint32_t dtr = flags & 0x0030;
  if (const int error = SetModemLine(Descriptor(), TIOCM_DTR, dtr != 0)) return error;
  const uint32_t rts = flags & 0x3000;
  if (rts != 0x2000) {
    if (const int error = SetModemLine(Descriptor(), TIOCM_RTS, rts == 0x1000)) return error;
  }
  return 0;
}

int PortDevice::ApplyTimeouts(const std::array<uint32_t, 5>& timeouts) {
  if (!IsOpen()) return EBADF;
  // Nothing to tell the driver: Read keeps the time-outs with poll().
  timeouts_ = timeouts;
  return 0;
}

int PortDevice::ReadCounters(LineCounters& counters) const {
  serial_icounter_struct icount;
  std::memset(&icount, 0, sizeof icount);
  if (ioctl(Descriptor(), TIOCGICOUNT, &icount) != 0) return errno;
  counters.cts = icount.cts;
  counters.dsr = icount.dsr;
  counters.rng = icount.rng;
  counters.dcd = icount.dcd;
  counters.frame = icount.frame;
  counters.overrun = icount.overrun;
  counters.parity = icount.parity;
  counters.brk = icount.brk;
  counters.bufOverrun = icount.buf_overrun;
  return 0;
}

int PortDevice::ClearErrors(uint32_t& errors, int32_t& queued) {
  errors = 0;
  queued = 0;
  int waiting = 0;
  // FIONREAD is the input queue; on a pseudo-terminal it tops out at 4095.
  if (ioctl(Descriptor(), FIONREAD, &waiting) != 0) return errno;
  queued = waiting;
  std::lock_guard<std::mutex> lock(errorsMutex_);
  errors = injectedErrors_;
  injectedErrors_ = 0;
  if (hasCounters_) {
    // The driver only counts; "clearing" is moving our baseline up.
    LineCounters now;
    if (ReadCounters(now) != 0) return errno;
    if (now.frame != errorBaseline_.frame) errors |= kLineFrame;
    if (now.parity != errorBaseline_.parity) errors |= kLineParity;
    if (now.overrun != errorBaseline_.overrun) errors |= kLineOverrun;
    if (now.bufOverrun != errorBaseline_.bufOverrun) errors |= kLineRxOver;
    if (now.brk != errorBaseline_.brk) errors |= kLineBreak;
    errorBaseline_ = now;
  }
  return 0;
}

bool PortDevice::LineErrorsPending() {
  std::lock_guard<std::mutex> lock(errorsMutex_);
  if (injectedErrors_ & (kLineFrame | kLineParity | kLineOverrun | kLineRxOver)) return true;
  if (!hasCounters_) return false;
  LineCounters now;
  if (ReadCounters(now) != 0) return false;
  return now.frame != errorBaseline_.frame || now.parity != errorBaseline_.parity ||
         now.overrun != errorBaseline_.overrun || now.bufOverrun != errorBaseline_.bufOverrun;
}

void PortDevice::InjectLineErrors(uint32_t flags) {
  std::lock_guard<std::mutex> lock(errorsMutex_);
  injectedErrors_ |= flags;
}

int PortDevice::ModemStatus(uint32_t& lines) {
  lines = 0;
  int bits = 0;
  if (ioctl(Descriptor(), TIOCMGET, &bits) != 0) return NotSupported(errno) ? 0 : errno;
  if (bits & TIOCM_CTS) lines |= kModemCts;
  if (bits & TIOCM_DSR) lines |= kModemDsr;
  if (bits & TIOCM_RNG) lines |= kModemRing;
  if (bits & TIOCM_CAR) lines |= kModemRlsd;
  return 0;
}

int PortDevice::CancelPending() { return IsOpen() ? 0 : EBADF; }

int PortDevice::Purge(bool transmit, bool receive) {
  if (!transmit && !receive) return 0;
  const int which = transmit && receive ? TCIOFLUSH : (transmit ? TCOFLUSH : TCIFLUSH);
  return tcflush(Descriptor(), which) == 0 ? 0 : errno;
}

bool PortDevice::HungUp() const {
  pollfd entry{Descriptor(), POLLIN, 0};
  if (poll(&entry, 1, 0) < 0) return false;
  return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int PortDevice::Read(uint8_t* buffer, int32_t count, int32_t& got) {
  got = 0;
  const int fd = Descriptor();
  if (fd < 0) return EBADF;
  if (count <= 0) return 0;
  const uint32_t interval = timeouts_[0];
  const uint32_t multiplier = timeouts_[1];
  const uint32_t constant = timeouts_[2];
  // All-ones interval and no totals: return at once with what has arrived.
  const bool immediate = interval == kAllOnes && multiplier == 0 && constant == 0;
  // All-ones interval and multiplier with a constant: return as soon as
  // anything has arrived, waiting at most the constant for the first byte.
  const bool firstByte = interval == kAllOnes && multiplier == kAllOnes && constant != 0 && constant != kAllOnes;
  const uint64_t totalMs =
      firstByte ? constant : static_cast<uint64_t>(multiplier) * static_cast<uint64_t>(count) + constant;
  const bool hasTotal = totalMs != 0;
  const bool hasInterval = interval != 0 && !firstByte;
  const Clock::time_point start = Clock::now();
  const Clock::time_point totalDeadline = start + std::chrono::milliseconds(hasTotal ? totalMs : 0);
  Clock::time_point lastByte = start;

  for (;;) {
    const ssize_t n = read(fd, buffer + got, static_cast<size_t>(count - got));
    if (n > 0) {
      got += static_cast<int32_t>(n);
      if (got == count) return 0;
      // A short read of a raw tty has taken everything that was queued.
      if (immediate || firstByte) return 0;
      lastByte = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A raw tty with VMIN 0 reports "nothing" as 0 and as EAGAIN alike; a
    // hung-up one also reads 0, so only poll can tell the device is gone.
    if (n < 0 && errno != EAGAIN) return got > 0 ? 0 : errno;
    if (HungUp()) return got > 0 ? 0 : EIO;
    if (immediate) return 0;
    int waitMs = -1;
    if (hasTotal) waitMs = MillisecondsUntil(totalDeadline);
    if (hasInterval && got > 0) {
      const int intervalMs = MillisecondsUntil(lastByte + std::chrono::milliseconds(interval));
      waitMs = waitMs < 0 ? intervalMs : (intervalMs < waitMs ? intervalMs : waitMs);
    }
    if (waitMs == 0) return 0;
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, waitMs) < 0 && errno != EINTR) return got > 0 ? 0 : errno;
  }
}

int PortDevice::ReadLineRate(uint32_t& rate) const {
  rate = 0;
  termios2 settings;
  if (ioctl(Descriptor(), TCGETS2, &settings) != 0) return errno;
  if ((settings.c_cflag & CBAUD) == BOTHER) {
    rate = settings.c_ospeed;
  } else {
    rate = SpeedRate(settings.c_cflag & CBAUD);
  }
  return 0;
}

bool PortCanBeOpened(const std::string& path) {
  PortDevice device;
  return device.Open(path) == 0;
}

// ---------------------------------------------------------------- DeviceEventWait

DeviceEventWait::~DeviceEventWait() {
  Release();
  if (stopFd_ >= 0) close(stopFd_);
}

int DeviceEventWait::Create() {
  if (stopFd_ >= 0) return 0;
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return stopFd_ >= 0 ? 0 : errno;
}

int DeviceEventWait::SetMask(PortDevice& device, uint32_t mask) {
  device_ = &device;
  mask_ = mask;
  if (mask == 0) {
    Release();
    return 0;
  }
  if (epollFd_ < 0) {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) return errno;
    epoll_event stop{};
    // The stop descriptor is never read: once signalled it ends every wait.
    stop.events = EPOLLIN;
    stop.data.u32 = 0;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, stopFd_, &stop) != 0) return errno;
    epoll_event port{};
    // Edge-triggered: a wait must end on new bytes, not spin on queued ones.
    port.events = EPOLLIN | EPOLLET;
    port.data.u32 = 1;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, device.Descriptor(), &port) != 0) return errno;
  }
  hungUp_ = false;
  int32_t queued = 0;
  if (ioctl(device.Descriptor(), FIONREAD, &queued) == 0) lastQueued_ = queued;
  const uint32_t modemEvents = kDeviceCts | kDeviceDsr | kDeviceRlsd | kDeviceRing;
  watchModem_ = false;
  modemByCounters_ = device.ReadCounters(lastCounters_) == 0;
  if (mask & (modemEvents | kDeviceBreak)) {
    int bits = 0;
    // Lines are watched only where the driver has them; a pseudo-terminal
    // has none, so its modem events never fire.
    if (ioctl(device.Descriptor(), TIOCMGET, &bits) == 0) {
      device.ModemStatus(lastLines_);
      watchModem_ = (mask & modemEvents) != 0;
    }
  }
  return 0;
}

uint32_t DeviceEventWait::ProbeInput() {
  uint32_t happened = 0;
  if (mask_ & kDeviceRxChar) happened |= kDeviceRxChar;
  if ((mask_ & kDeviceError) && device_->LineErrorsPending()) happened |= kDeviceError;
  if ((mask_ & kDeviceBreak) && modemByCounters_) {
    LineCounters now;
    if (device_->ReadCounters(now) == 0 && now.brk != lastCounters_.brk) {
      happened |= kDeviceBreak;
      lastCounters_.brk = now.brk;
    }
  }
  if (mask_ & kDeviceRx80Full) {
    int32_t queued = 0;
    if (ioctl(device_->Descriptor(), FIONREAD, &queued) == 0) {
      // Reported once when the queue crosses the mark, as a driver would.
      const int64_t mark = static_cast<int64_t>(device_->InputQueueSize()) * 8 / 10;
      if (mark > 0 && queued >= mark && lastQueued_ < mark) happened |= kDeviceRx80Full;
      lastQueued_ = queued;
    }
  }
  return happened;
}

uint32_t DeviceEventWait::ProbeModemLines() {
  uint32_t happened = 0;
  if (modemByCounters_) {
    // Counters catch a pulse that is over before we look.
    LineCounters now;
    if (device_->ReadCounters(now) != 0) return 0;
    if (now.cts != lastCounters_.cts) happened |= kDeviceCts;
    if (now.dsr != lastCounters_.dsr) happened |= kDeviceDsr;
    if (now.dcd != lastCounters_.dcd) happened |= kDeviceRlsd;
    if (now.rng != lastCounters_.rng) happened |= kDeviceRing;
    const int32_t brk = lastCounters_.brk;
    lastCounters_ = now;
    lastCounters_.brk = brk;
  } else {
    uint32_t lines = 0;
    if (device_->ModemStatus(lines) != 0) return 0;
    const uint32_t changed = lines ^ lastLines_;
    if (changed & kModemCts) happened |= kDeviceCts;
    if (changed & kModemDsr) happened |= kDeviceDsr;
    if (changed & kModemRlsd) happened |= kDeviceRlsd;
    // A ring is reported as it ends, as the counters count it.
    if ((lastLines_ & kModemRing) && !(lines & kModemRing)) happened |= kDeviceRing;
    lastLines_ = lines;
  }
  return happened & mask_;
}

DeviceEventWait::Result DeviceEventWait::Wait(uint32_t& happened) {
  happened = 0;
  if (epollFd_ < 0 || hungUp_) return Result::Failed;
  for (;;) {
    epoll_event ready[2];
    const int n = epoll_wait(epollFd_, ready, 2, watchModem_ ? kModemCheckMs : -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Result::Failed;
    }
    bool input = false;
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.u32 == 0) return Result::Stopped;
      if (ready[i].events & (EPOLLHUP | EPOLLERR)) hungUp_ = true;
      if (ready[i].events & EPOLLIN) input = true;
    }
    // A device that has gone away ends the waiting (and, edge-triggered, the
    // hang-up is reported only once, so it is remembered).
    if (hungUp_) return Result::Failed;
    if (input) happened |= ProbeInput();
    if (watchModem_) happened |= ProbeModemLines();
    if (happened != 0) return Result::Event;
  }
}

void DeviceEventWait::Stop() {
  if (stopFd_ < 0) return;
  const uint64_t one = 1;
  // A full counter still reads as signalled, so a failed write changes nothing.
  [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
}

void DeviceEventWait::Release() {
  if (epollFd_ >= 0) {
    close(epollFd_);
    epollFd_ = -1;
  }
}

}  // namespace voxa
