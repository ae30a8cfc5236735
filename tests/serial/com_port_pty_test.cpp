// The serial component on a real pseudo-terminal: what opening does to the
// line, reading, exclusive access, reopening, and the failures.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial_test_support.h"

namespace voxa {
namespace {

using test::PseudoTerminal;
using test::UseMonitorSettings;
using test::WaitForQueue;

// Runs `action` and returns the EComPort it raised (code 0 when none).
struct Raised {
  int code = 0;
  int win_error = 0;
  std::string what;
};
Raised Capture(const std::function<void()>& action) {
  Raised raised;
  try {
    action();
  } catch (const EComPort& error) {
    raised.code = error.ErrorCode();
    raised.win_error = error.WinError();
    raised.what = error.what();
  }
  return raised;
}

// Records the component's notifications in order.
void LogNotifications(TCustomComPort& port, std::vector<std::string>& log) {
  port.OnBeforeOpen = [&log](TCustomComPort&) { log.push_back("before open"); };
  port.OnAfterOpen = [&log](TCustomComPort&) { log.push_back("after open"); };
  port.OnBeforeClose = [&log](TCustomComPort&) { log.push_back("before close"); };
  port.OnAfterClose = [&log](TCustomComPort&) { log.push_back("after close"); };
  port.OnCTSChange = [&log](TCustomComPort&, bool on) { log.push_back(on ? "CTS on" : "CTS off"); };
  port.OnDSRChange = [&log](TCustomComPort&, bool on) { log.push_back(on ? "DSR on" : "DSR off"); };
  port.OnRLSDChange = [&log](TCustomComPort&, bool on) { log.push_back(on ? "RLSD on" : "RLSD off"); };
}

TEST(PortOpen, AppliesTheMonitorLineSettings) {
  PseudoTerminal terminal;
  TComPort port;
  UseMonitorSettings(port, terminal);
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  ASSERT_GE(port.Handle(), 0);

  termios settings;
  ASSERT_EQ(tcgetattr(port.Handle(), &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), B115200);
  EXPECT_EQ(cfgetispeed(&settings), B115200);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(settings.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(settings.c_cc[VMIN], 0);
  EXPECT_EQ(settings.c_cc[VTIME], 0);
  EXPECT_EQ(ComPortTestAccess::Device(port).InputQueueSize(), 1024);
  EXPECT_EQ(ComPortTestAccess::Device(port).OutputQueueSize(), 1024);

  // Raw means every byte value passes unchanged, CR and ^C included.
  const std::string bytes("\r\n\x03\x11\x13\x7F\x80\xFF", 8);
  terminal.Send(bytes);
  ASSERT_TRUE(WaitForQueue(port, 8));
  std::string text;
  EXPECT_EQ(port.ReadText(text, 8), 8);
  EXPECT_EQ(text, bytes);
}

TEST(PortOpen, LineRateFollowsTheSettingWhenOpenAndAtTheNextOpen) {
  struct Row {
    TBaudRate rate;
    int32_t custom;
    uint32_t expected;
  };
  const Row rows[] = {{br57600, 0, 57600}, {br9600, 0, 9600}, {br56000, 0, 56000},
                      {br256000, 0, 256000}, {brCustom, 31250, 31250}};
  PseudoTerminal terminal;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    uint32_t rate = 0;
    {
      // Written while open: sent at once.
      TComPort port;
      UseMonitorSettings(port, terminal);
      port.OpenPort();
      port.SetCustomBaudRate(row.custom);
      port.SetBaudRate(row.rate);
      ASSERT_EQ(ComPortTestAccess::Device(port).ReadLineRate(rate), 0);
      EXPECT_EQ(rate, row.expected);
    }
    {
      // Written while closed: stored, and sent by the next open.
      TComPort port;
      UseMonitorSettings(port, terminal);
      port.OpenPort();
      port.ClosePort();
      port.SetCustomBaudRate(row.custom);
      port.SetBaudRate(row.rate);
      port.OpenPort();
      ASSERT_EQ(ComPortTestAccess::Device(port).ReadLineRate(rate), 0);
      EXPECT_EQ(rate, row.expected);
    }
  }
}

TEST(PortRead, CountsFollowWhatHasArrived) {
  struct Row {
    const char* legend;
    int sent;
    bool as_text;
    int32_t count;
    int32_t expected;
  };
  const Row rows[] = {
      {"nothing arrived", 0, false, 1, 0},
      {"one of five", 5, false, 1, 1},
      {"all of five, more asked", 5, false, 64, 5},
      {"text: 70 of 100", 100, true, 70, 70},
      {"text: nothing arrived", 0, true, 70, 0},
      {"text: count 0", 100, true, 0, 0},
      {"text: negative count", 3, true, -1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    PseudoTerminal terminal;
    TComPort port;
    UseMonitorSettings(port, terminal);
    port.OpenPort();
    std::string sent;
    for (int i = 0; i < row.sent; ++i) sent.push_back(static_cast<char>('A' + i % 26));
    terminal.Send(sent);
    ASSERT_TRUE(WaitForQueue(port, row.sent));

    std::string got;
    if (row.as_text) {
      std::string text = "left over";
      EXPECT_EQ(port.ReadText(text, row.count), row.expected);
      EXPECT_EQ(text.size(), static_cast<size_t>(row.expected));
      got = text;
    } else {
      uint8_t buffer[64] = {};
      const int32_t n = port.ReadBytes(buffer, row.count);
      EXPECT_EQ(n, row.expected);
      got.assign(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n > 0 ? n : 0));
    }
    EXPECT_EQ(got, sent.substr(0, static_cast<size_t>(row.expected)));
    EXPECT_EQ(port.InQueueCount(), row.sent - row.expected);
  }
}

TEST(PortRead, TimeoutsDecideHowLongAReadWaits) {
  struct Row {
    const char* legend;
    int32_t interval, multiplier, constant;
    int sent;
    int32_t count;
    int32_t expected;
  };
  const Row rows[] = {
      // Returns as soon as anything is there, without waiting for the rest.
      {"first byte ends the wait", -1, -1, 60000, 3, 10, 3},
      // The total limit ends a read that cannot be filled.
      {"total limit", 0, 0, 20, 2, 10, 2},
      {"total limit, nothing arrives", 0, 1, 5, 0, 10, 0},
      // Filled before any limit: returns at once.
      {"count reached", 0, 0, 60000, 4, 4, 4},
      // The gap after the last byte ends the read.
      {"interval", 15, 0, 0, 6, 10, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    PseudoTerminal terminal;
    TComPort port;
    UseMonitorSettings(port, terminal);
    port.Timeouts().SetReadInterval(row.interval);
    port.Timeouts().SetReadTotalMultiplier(row.multiplier);
    port.Timeouts().SetReadTotalConstant(row.constant);
    port.OpenPort();
    terminal.Send(std::string(static_cast<size_t>(row.sent), 'x'));
    ASSERT_TRUE(WaitForQueue(port, row.sent));
    uint8_t buffer[16];
    EXPECT_EQ(port.ReadBytes(buffer, row.count), row.expected);
  }
}

TEST(PortFailures, RaiseTheFixedMessages) {
  struct Row {
    const char* legend;
    std::function<void(TComPort&)> action;
    int code;
    const char* what;
  };
  const std::vector<Row> rows = {
      {"read bytes on a closed port", [](TComPort& p) { uint8_t b; p.ReadBytes(&b, 1); },
       CEPortNotOpen, "Port Not Open"},
      {"read text on a closed port", [](TComPort& p) { std::string t; p.ReadText(t, 70); },
       CEPortNotOpen, "Port Not Open"},
      {"queue count on a closed port", [](TComPort& p) { p.InQueueCount(); },
       CE_ClearComFailed, "ClearCommError function failed (Error: 9)"},
      {"device that does not exist", [](TComPort& p) { p.SetPort("/dev/voxa-no-such-port"); p.OpenPort(); },
       CE_OpenFailed, "Unable to open com port (Error: 2)"},
      {"short name that does not exist", [](TComPort& p) { p.SetPort("ttyVOXA99"); p.OpenPort(); },
       CE_OpenFailed, "Unable to open com port (Error: 2)"},
      {"a file that is no serial device", [](TComPort& p) { p.SetPort("/dev/null"); p.OpenPort(); },
       CE_OpenFailed, "Unable to open com port (Error: 25)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    std::vector<std::string> log;  // outlives the port, which notifies up to its end
    TComPort port;
    LogNotifications(port, log);
    const Raised raised = Capture([&] { row.action(port); });
    EXPECT_EQ(raised.code, row.code);
    EXPECT_EQ(raised.what, row.what);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), -1);
    // A failed open has announced itself and nothing else.
    if (row.code == CE_OpenFailed) {
      EXPECT_EQ(log, std::vector<std::string>{"before open"});
    }
  }
}

TEST(PortFailures, RefusedLineSettingsCloseTheDeviceAgainOnlyWhenOpening) {
  PseudoTerminal terminal;
  TComPort port;
  UseMonitorSettings(port, terminal);
  // No line runs at 0 bits per second.
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(0);
  const Raised opening = Capture([&] { port.OpenPort(); });
  EXPECT_EQ(opening.what, "SetCommState function failed (Error: 22)");
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), -1);
  EXPECT_TRUE(ComPortAvailable(terminal.SlaveName()));

  // Refused while open: reported, and the port stays open on its old settings.
  port.SetBaudRate(br115200);
  port.OpenPort();
  EXPECT_EQ(Capture([&] { port.SetBaudRate(brCustom); }).code, CE_SetStateFailed);
  EXPECT_TRUE(port.Connected());
  uint32_t rate = 0;
  ASSERT_EQ(ComPortTestAccess::Device(port).ReadLineRate(rate), 0);
  EXPECT_EQ(rate, 115200u);
}

TEST(PortFailures, OnExceptionReceivesTheFailureInstead) {
  TComPort port;
  int calls = 0;
  TComExceptions code{};
  std::string message, win_message;
  int64_t win_error = 0;
  port.OnException = [&](TCustomComPort&, TComExceptions c, const std::string& m, int64_t w, const std::string& wm) {
    ++calls;
    code = c;
    message = m;
    win_error = w;
    win_message = wm;
  };
  port.SetPort("/dev/voxa-no-such-port");
  port.OpenPort();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(code, CE_OpenFailed);
  EXPECT_EQ(message, "Unable to open com port");
  EXPECT_EQ(win_error, 2);
  EXPECT_FALSE(win_message.empty());
  // Without a device the port does not pretend to be open.
  EXPECT_FALSE(port.Connected());

  uint8_t byte = 0;
  EXPECT_EQ(port.ReadBytes(&byte, 1), 0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(code, CEPortNotOpen);
  EXPECT_EQ(win_error, 0);
  EXPECT_TRUE(win_message.empty());
}

TEST(PortExclusive, AHeldPortIsRefusedAndNotAvailable) {
  PseudoTerminal terminal;
  EXPECT_TRUE(ComPortAvailable(terminal.SlaveName()));

  TComPort first;
  UseMonitorSettings(first, terminal);
  first.OpenPort();
  EXPECT_FALSE(ComPortAvailable(terminal.SlaveName()));
  TComPort second;
  UseMonitorSettings(second, terminal);
  const Raised raised = Capture([&] { second.OpenPort(); });
  EXPECT_EQ(raised.code, CE_OpenFailed);
  EXPECT_EQ(raised.what, "Unable to open com port (Error: 16)");
  EXPECT_FALSE(second.Connected());

  int exclusive = 0;
  ASSERT_EQ(ioctl(first.Handle(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);

  // Released by the close: neither lock outlives it (the tty's exclusive
  // mark would, if it were not cleared).
  first.ClosePort();
  EXPECT_TRUE(ComPortAvailable(terminal.SlaveName()));
  const int after = open(terminal.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(after, 0);
  ASSERT_EQ(ioctl(after, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(after);
  second.OpenPort();
  EXPECT_TRUE(second.Connected());
  second.ClosePort();

  // Another program holding its own lock keeps us out too.
  const int other = open(terminal.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(ComPortAvailable(terminal.SlaveName()));
  EXPECT_EQ(Capture([&] { second.OpenPort(); }).code, CE_OpenFailed);
  close(other);
  EXPECT_TRUE(ComPortAvailable(terminal.SlaveName()));
  EXPECT_FALSE(ComPortAvailable(""));
  EXPECT_FALSE(ComPortAvailable("/dev/voxa-no-such-port"));
}

TEST(PortLifecycle, OpenAndCloseAreIdempotentAndAnnounced) {
  PseudoTerminal terminal;
  std::vector<std::string> log;  // outlives the port, which notifies up to its end
  TComPort port;
  UseMonitorSettings(port, terminal);
  LogNotifications(port, log);

  port.ClosePort();
  EXPECT_TRUE(log.empty());
  port.OpenPort();
  const int handle = port.Handle();
  port.OpenPort();
  port.SetConnected(true);
  EXPECT_EQ(port.Handle(), handle);
  // A pseudo-terminal has no modem lines: they read as off.
  EXPECT_EQ(log, (std::vector<std::string>{"before open", "after open", "CTS off", "DSR off", "RLSD off"}));

  log.clear();
  port.ClosePort();
  port.ClosePort();
  port.SetConnected(false);
  EXPECT_EQ(log, (std::vector<std::string>{"CTS off", "DSR off", "RLSD off", "before close", "after close"}));
  EXPECT_EQ(port.Handle(), -1);

  // Opens again after a close.
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected());
  terminal.Send("ok");
  EXPECT_TRUE(WaitForQueue(port, 2));
}

TEST(PortLifecycle, RenamingAnOpenPortReopensOnTheNewDevice) {
  PseudoTerminal first, second;
  std::vector<std::string> log;  // outlives the port, which notifies up to its end
  TComPort port;
  UseMonitorSettings(port, first);
  LogNotifications(port, log);

  // Closed: the name is only stored.
  port.SetPort(second.SlaveName());
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(port.Connected());
  port.SetPort(first.SlaveName());

  port.OpenPort();
  log.clear();
  port.SetPort(second.SlaveName());
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(log.front(), "CTS off");
  EXPECT_EQ(std::count(log.begin(), log.end(), "after close"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "after open"), 1);
  EXPECT_TRUE(ComPortAvailable(first.SlaveName()));
  EXPECT_FALSE(ComPortAvailable(second.SlaveName()));
  second.Send("new");
  EXPECT_TRUE(WaitForQueue(port, 3));
}

TEST(PortLifecycle, SyncMethodIsFixedWhileOpen) {
  PseudoTerminal terminal;
  TComPort port;
  UseMonitorSettings(port, terminal);
  port.SetSyncMethod(smWindowSync);
  EXPECT_EQ(port.SyncMethod(), smWindowSync);
  port.OpenPort();
  const Raised raised = Capture([&] { port.SetSyncMethod(smNone); });
  EXPECT_EQ(raised.code, CE_ConnChangeProp);
  EXPECT_EQ(raised.win_error, -1);
  EXPECT_EQ(raised.what, "Cannot set property while connected");
  EXPECT_EQ(port.SyncMethod(), smWindowSync);
  // The same value is no change.
  EXPECT_EQ(Capture([&] { port.SetSyncMethod(smWindowSync); }).code, 0);
  port.ClosePort();
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(PortLifecycle, ADeviceThatGoesAwayIsReportedNotReadAsSilence) {
  PseudoTerminal terminal;
  TComPort port;
  UseMonitorSettings(port, terminal);
  port.OpenPort();
  terminal.CloseMaster();

  uint8_t byte = 0;
  const Raised read = Capture([&] { port.ReadBytes(&byte, 1); });
  EXPECT_EQ(read.code, CE_ReadFailed);
  EXPECT_EQ(read.what, "ReadFile function failed (Error: 5)");
  std::string text;
  EXPECT_EQ(Capture([&] { port.ReadText(text, 70); }).code, CE_ReadFailed);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(Capture([&] { port.InQueueCount(); }).what, "ClearCommError function failed (Error: 5)");
  // Still open until closed, and closing a dead device raises nothing.
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(Capture([&] { port.ClosePort(); }).code, 0);
  EXPECT_FALSE(port.Connected());
}

TEST(PortLineErrors, QueueCountClearsThemUnreported) {
  PseudoTerminal terminal;
  TComPort port;
  UseMonitorSettings(port, terminal);
  port.OpenPort();
  PortDevice& device = ComPortTestAccess::Device(port);

  struct Row {
    const char* legend;
    uint32_t flags;
    bool parity_check;
    TComErrors expected;
  };
  const Row rows[] = {
      {"framing and overrun", kLineFrame | kLineOverrun, false, {ceFrame, ceOverrun}},
      {"parity counts only when checked", kLineParity, false, {}},
      {"parity checked", kLineParity, true, {ceRxParity}},
      {"queue overflow and break", kLineRxOver | kLineBreak, false, {ceRxOver, ceBreak}},
      {"the rest", kLineTxFull | kLineIo | kLineMode, false, {ceTxFull, ceIO, ceMode}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    port.Parity().SetCheck(row.parity_check);
    device.InjectLineErrors(row.flags);
    EXPECT_EQ(port.ReadLineErrors(), row.expected);
    EXPECT_TRUE(port.ReadLineErrors().Empty());
  }
  device.InjectLineErrors(kLineFrame);
  EXPECT_EQ(port.InQueueCount(), 0);
  EXPECT_TRUE(port.ReadLineErrors().Empty());
}

}  // namespace
}  // namespace voxa
