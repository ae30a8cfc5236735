// The serial component on a real pseudo-terminal: what opening does to the
// line, reading, exclusive access, reopening, and the failures.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial_test_support.h"

namespace voxa {
namespace {

using test::PseudoTerminal;
using test::TerminalPort;
using test::UsePlainLine;
using test::WaitForQueue;

// The EComPort `action` raised (code 0 when none).
struct Raised {
  int code = 0, winError = 0;
  std::string what;
};
Raised Capture(const std::function<void()>& action) {
  try {
    action();
  } catch (const EComPort& error) {
    return {error.ErrorCode(), error.WinError(), error.what()};
  }
  return {};
}

uint32_t LineRate(TCustomComPort& port) {
  uint32_t rate = 0;
  EXPECT_EQ(ComPortTestAccess::Device(port).ReadLineRate(rate), 0);
  return rate;
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
// What opening and closing announce; a pseudo-terminal has no modem lines,
// so they read as off.
const std::vector<std::string> kOpenNotes = {"before open", "after open", "CTS off", "DSR off", "RLSD off"};
const std::vector<std::string> kCloseNotes = {"CTS off", "DSR off", "RLSD off", "before close", "after close"};

TEST(PortOpen, MakesARawLineOfTheSettings) {
  TerminalPort line;
  TComPort& port = line.Open();
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
  line.terminal.Send(bytes);
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
  TerminalPort line;
  TComPort& port = *line.port;
  for (const Row& row : rows) {
    // Written while open it is sent at once; while closed, by the next open.
    for (bool whileOpen : {true, false}) {
      SCOPED_TRACE(std::to_string(row.expected) + (whileOpen ? ", written while open" : ", written while closed"));
      port.SetBaudRate(br115200);
      if (whileOpen) port.OpenPort();
      port.SetCustomBaudRate(row.custom);
      port.SetBaudRate(row.rate);
      port.OpenPort();
      EXPECT_EQ(LineRate(port), row.expected);
      port.ClosePort();
    }
  }
  // A rate the line refuses while open is reported; the line keeps its old one.
  port.OpenPort();
  EXPECT_EQ(Capture([&] { port.SetCustomBaudRate(0); }).code, CE_SetStateFailed);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(LineRate(port), 31250u);
}

TEST(PortRead, CountsFollowWhatHasArrivedAndTheTimeouts) {
  struct Row {
    const char* legend;
    int sent;
    bool asText;
    int32_t count, expected;
    // The default time-outs: whatever is there, at once.
    int32_t interval = -1, multiplier = 0, constant = 0;
  };
  const Row rows[] = {
      {"nothing arrived", 0, false, 1, 0},
      {"one of five", 5, false, 1, 1},
      {"all of five, more asked", 5, false, 64, 5},
      {"text: 70 of 100", 100, true, 70, 70},
      {"text: nothing arrived", 0, true, 70, 0},
      {"text: count 0", 100, true, 0, 0},
      {"text: negative count", 3, true, -1, 0},
      // Returns as soon as anything is there, without waiting for the rest.
      {"first byte ends the wait", 3, false, 10, 3, -1, -1, 60000},
      // The total limit ends a read that cannot be filled.
      {"total limit", 2, false, 10, 2, 0, 0, 20},
      {"total limit, nothing arrives", 0, false, 10, 0, 0, 1, 5},
      // Filled before any limit: returns at once.
      {"count reached", 4, false, 4, 4, 0, 0, 60000},
      // The gap after the last byte ends the read.
      {"interval", 6, false, 10, 6, 15, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TerminalPort line;
    TComPort& port = *line.port;
    port.Timeouts().SetReadInterval(row.interval);
    port.Timeouts().SetReadTotalMultiplier(row.multiplier);
    port.Timeouts().SetReadTotalConstant(row.constant);
    port.OpenPort();
    std::string sent;
    for (int i = 0; i < row.sent; ++i) sent.push_back(static_cast<char>('A' + i % 26));
    line.terminal.Send(sent);
    ASSERT_TRUE(WaitForQueue(port, row.sent));

    std::string got = "left over";
    if (row.asText) {
      EXPECT_EQ(port.ReadText(got, row.count), row.expected);
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

TEST(PortFailures, RaiseTheFixedMessagesAndLeaveThePortAsTheyFoundIt) {
  struct Row {
    const char* legend;
    std::function<void(TerminalPort&)> action;
    int code;
    const char* what;
    bool openAfter;
  };
  // A failed ReadText leaves no bytes behind.
  std::string text;
  const auto gone = [](TerminalPort& l) -> TComPort& {
    l.Open();
    l.terminal.CloseMaster();
    return *l.port;
  };
  const std::vector<Row> rows = {
      {"read bytes on a closed port", [](TerminalPort& l) { uint8_t b; l.port->ReadBytes(&b, 1); },
       CEPortNotOpen, "Port Not Open", false},
      {"read text on a closed port", [&](TerminalPort& l) { l.port->ReadText(text, 70); },
       CEPortNotOpen, "Port Not Open", false},
      {"queue count on a closed port", [](TerminalPort& l) { l.port->InQueueCount(); },
       CE_ClearComFailed, "ClearCommError function failed (Error: 9)", false},
      {"device that does not exist", [](TerminalPort& l) { l.port->SetPort("/dev/voxa-no-such-port"); l.Open(); },
       CE_OpenFailed, "Unable to open com port (Error: 2)", false},
      {"a file that is no serial device", [](TerminalPort& l) { l.port->SetPort("/dev/null"); l.Open(); },
       CE_OpenFailed, "Unable to open com port (Error: 25)", false},
      // No line runs at 0 bits per second: the device is closed again.
      {"line settings refused at open", [](TerminalPort& l) {
         l.port->SetBaudRate(brCustom); l.port->SetCustomBaudRate(0); l.Open(); },
       CE_SetStateFailed, "SetCommState function failed (Error: 22)", false},
      // A device that goes away is reported, not read as silence, and the
      // port stays open until closed.
      {"read bytes, device gone", [&](TerminalPort& l) { uint8_t b; gone(l).ReadBytes(&b, 1); },
       CE_ReadFailed, "ReadFile function failed (Error: 5)", true},
      {"read text, device gone", [&](TerminalPort& l) { gone(l).ReadText(text, 70); },
       CE_ReadFailed, "ReadFile function failed (Error: 5)", true},
      {"queue count, device gone", [&](TerminalPort& l) { gone(l).InQueueCount(); },
       CE_ClearComFailed, "ClearCommError function failed (Error: 5)", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    std::vector<std::string> log;  // outlives the port, which notifies up to its end
    TerminalPort line;
    LogNotifications(*line.port, log);
    const Raised raised = Capture([&] { row.action(line); });
    EXPECT_EQ(raised.code, row.code);
    EXPECT_EQ(raised.what, row.what);
    EXPECT_EQ(text, "");
    EXPECT_EQ(line.port->Connected(), row.openAfter);
    if (!row.openAfter) {
      EXPECT_EQ(line.port->Handle(), -1);
      EXPECT_TRUE(ComPortAvailable(line.terminal.SlaveName()));
    }
    // A failed open has announced itself and nothing else.
    if (row.code == CE_OpenFailed || row.code == CE_SetStateFailed) {
      EXPECT_EQ(log, std::vector<std::string>{"before open"});
    }
    // Closing, a dead device included, raises nothing.
    EXPECT_EQ(Capture([&] { line.port->ClosePort(); }).code, 0);
    EXPECT_FALSE(line.port->Connected());
  }
}

TEST(PortFailures, OnExceptionReceivesTheFailureInstead) {
  TComPort port;
  std::vector<std::string> seen;
  port.OnException = [&](TCustomComPort&, TComExceptions code, const std::string& message, int64_t winError,
                         const std::string& winMessage) {
    seen.push_back(std::to_string(code) + " " + message + " " + std::to_string(winError) +
                   (winMessage.empty() ? "" : " with a platform text"));
  };
  port.SetPort("/dev/voxa-no-such-port");
  port.OpenPort();
  // Without a device the port does not pretend to be open.
  EXPECT_FALSE(port.Connected());
  uint8_t byte = 0;
  EXPECT_EQ(port.ReadBytes(&byte, 1), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"1 Unable to open com port 2 with a platform text", "24 Port Not Open 0"}));
}

TEST(PortExclusive, AHeldPortIsRefusedAndNotAvailable) {
  TerminalPort line;
  const std::string& name = line.terminal.SlaveName();
  EXPECT_TRUE(ComPortAvailable(name));
  TComPort& first = line.Open();
  EXPECT_FALSE(ComPortAvailable(name));
  TComPort second;
  UsePlainLine(second, line.terminal);
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
  EXPECT_TRUE(ComPortAvailable(name));
  second.OpenPort();
  EXPECT_TRUE(second.Connected());
  second.ClosePort();
  const int other = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);

  // Another program holding its own lock keeps us out too.
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(ComPortAvailable(name));
  EXPECT_EQ(Capture([&] { second.OpenPort(); }).code, CE_OpenFailed);
  close(other);
  EXPECT_TRUE(ComPortAvailable(name));
  EXPECT_FALSE(ComPortAvailable(""));
  EXPECT_FALSE(ComPortAvailable("/dev/voxa-no-such-port"));
}

TEST(PortLifecycle, OpenCloseAndRenameAreIdempotentAndAnnounced) {
  std::vector<std::string> log;  // outlives the port, which notifies up to its end
  TerminalPort line;
  PseudoTerminal second;
  TComPort& port = *line.port;
  LogNotifications(port, log);
  port.ClosePort();
  // Closed: a new name is only stored.
  port.SetPort(second.SlaveName());
  port.SetPort(line.terminal.SlaveName());
  EXPECT_TRUE(log.empty());

  port.OpenPort();
  const int handle = port.Handle();
  port.OpenPort();
  port.SetConnected(true);
  EXPECT_EQ(port.Handle(), handle);
  EXPECT_EQ(log, kOpenNotes);
  log.clear();
  port.ClosePort();
  port.ClosePort();
  port.SetConnected(false);
  EXPECT_EQ(log, kCloseNotes);
  EXPECT_EQ(port.Handle(), -1);

  // Opens again after a close; renamed while open, it reopens on the new device.
  port.SetConnected(true);
  log.clear();
  port.SetPort(second.SlaveName());
  std::vector<std::string> reopened = kCloseNotes;
  reopened.insert(reopened.end(), kOpenNotes.begin(), kOpenNotes.end());
  EXPECT_EQ(log, reopened);
  EXPECT_TRUE(ComPortAvailable(line.terminal.SlaveName()));
  EXPECT_FALSE(ComPortAvailable(second.SlaveName()));
  second.Send("new");
  EXPECT_TRUE(WaitForQueue(port, 3));

  // The delivery mode is fixed while open; the same value is no change.
  const Raised raised = Capture([&] { port.SetSyncMethod(smWindowSync); });
  EXPECT_EQ(raised.code, CE_ConnChangeProp);
  EXPECT_EQ(raised.winError, -1);
  EXPECT_EQ(raised.what, "Cannot set property while connected");
  EXPECT_EQ(Capture([&] { port.SetSyncMethod(smNone); }).code, 0);
  EXPECT_EQ(port.SyncMethod(), smNone);
  port.ClosePort();
  port.SetSyncMethod(smWindowSync);
  EXPECT_EQ(port.SyncMethod(), smWindowSync);
}

TEST(PortLineErrors, QueueCountClearsThemUnreported) {
  TerminalPort line;
  TComPort& port = line.Open();
  PortDevice& device = ComPortTestAccess::Device(port);
  struct Row {
    const char* legend;
    uint32_t flags;
    bool parityCheck;
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
    port.Parity().SetCheck(row.parityCheck);
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
