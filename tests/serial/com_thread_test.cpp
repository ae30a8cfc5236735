// The serial event thread on a pseudo-terminal, under all three delivery
// modes. The test thread plays the GUI thread: it runs what the event thread
// posts (TestGuiLoop). Closing races are repeated many times; run under
// ThreadSanitizer they also check the hand-over for data races.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial_test_support.h"

namespace voxa {
namespace {

using test::TerminalPort;
using test::WaitForQueue;

constexpr TSyncMethod kAllModes[] = {smNone, smThreadSync, smWindowSync};
constexpr const char* kModeNames[] = {"thread sync", "window sync", "no sync"};  // by TSyncMethod
constexpr int kRepeats = 40;

TEST(EventThread, ReceivedBytesReachTheHandlersOnTheRightThread) {
  for (TSyncMethod mode : kAllModes) {
    for (bool triggers : {true, false}) {
      SCOPED_TRACE(std::string(kModeNames[mode]) + (triggers ? ", counts" : ", bytes"));
      TerminalPort line({evRxChar}, mode);
      TComPort& port = *line.port;
      port.SetTriggersOnRxChar(triggers);
      std::atomic<int32_t> lastCount{0};
      std::string received;  // written by one handler at a time
      std::atomic<size_t> receivedSize{0};
      port.OnRxChar = [&](TCustomComPort&, int32_t count) {
        lastCount = count;
        line.log.Add("rx char on " + line.Where());
      };
      port.OnRxBuf = [&](TCustomComPort&, const uint8_t* bytes, int32_t count) {
        received.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        receivedSize = received.size();
        line.log.Add("rx buf on " + line.Where());
      };
      port.OpenPort();
      line.terminal.Send("HELLO");
      const std::string where = mode == smNone ? "event" : "gui";
      if (triggers) {
        // The bytes stay queued; OnRxChar reports how many wait.
        ASSERT_TRUE(line.loop->RunUntil([&] { return lastCount.load() == 5; }));
        EXPECT_EQ(port.InQueueCount(), 5);
        for (const std::string& entry : line.log.Entries()) EXPECT_EQ(entry, "rx char on " + where);
      } else {
        // The component reads them for OnRxBuf and OnRxChar stays silent.
        ASSERT_TRUE(line.loop->RunUntil([&] { return receivedSize.load() == 5; }));
        port.ClosePort();
        EXPECT_EQ(received, "HELLO");
        for (const std::string& entry : line.log.Entries()) EXPECT_EQ(entry, "rx buf on " + where);
        port.OpenPort();
        EXPECT_EQ(port.InQueueCount(), 0);
      }
    }
  }
}

TEST(EventThread, LineErrorsAreHandledBeforeTheBytes) {
  struct Row {
    const char* legend;
    TComEvents events;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"errors and bytes", {evRxChar, evError}, {"error frame", "rx 1"}},
      {"errors not selected", {evRxChar}, {"rx 1"}},
  };
  for (const Row& row : rows) {
    for (TSyncMethod mode : kAllModes) {
      SCOPED_TRACE(std::string(row.legend) + ", " + kModeNames[mode]);
      TerminalPort line(row.events, mode);
      line.port->OnRxChar = [&](TCustomComPort&, int32_t count) { line.log.Add("rx " + std::to_string(count)); };
      line.port->OnError = [&](TCustomComPort&, TComErrors errors) {
        line.log.Add(errors == TComErrors{ceFrame} ? "error frame" : "error other");
      };
      ComPortTestAccess::Device(line.Open()).InjectLineErrors(kLineFrame);
      line.terminal.Send("x");
      ASSERT_TRUE(line.loop->RunUntil([&] { return line.log.Size() >= row.expected.size(); }));
      EXPECT_EQ(line.log.Entries(), row.expected);
      if (mode == smWindowSync) {
        EXPECT_EQ(line.loop->Posts(), row.expected.size());
      }
    }
  }
}

TEST(EventThread, WindowMessagesAfterCloseAreIgnored) {
  struct Row {
    const char* legend;
    bool closeFirst, reopen;
    size_t expectedCalls;
  };
  const Row rows[] = {
      {"delivered while open", false, false, 1},
      {"delivered after close", true, false, 0},
      {"delivered after close and reopen", true, true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TerminalPort line({evRxChar}, smWindowSync);
    line.port->OnRxChar = [&](TCustomComPort&, int32_t count) { line.log.Add("rx " + std::to_string(count)); };
    TComPort& port = line.Open();
    line.terminal.Send("z");
    // The thread posts and goes on: nothing runs until the loop does.
    ASSERT_TRUE(line.loop->WaitForPosts(1));
    EXPECT_EQ(line.log.Size(), 0u);
    if (row.closeFirst) port.ClosePort();
    if (row.reopen) {
      // The reopened port has a byte of its own: its message must run, the
      // stale one (which would find that byte too) must not.
      port.OpenPort();
      line.terminal.Send("y");
      ASSERT_TRUE(line.loop->WaitForPosts(2));
    }
    line.loop->RunPending();
    EXPECT_EQ(line.log.Size(), row.expectedCalls);
  }
}

TEST(EventThread, OnlyEventsStartAThreadAndClosingEndsItAndEmptiesTheQueues) {
  struct Row {
    const char* legend;
    TComEvents events;
    int32_t handled, leftAfterClose;
  };
  const Row rows[] = {
      {"event thread running", {evRxChar}, 5, 0},
      // Without a thread nothing is handled and nothing purges: the bytes
      // wait for the next open.
      {"no events, no thread", {}, 0, 5},
  };
  for (const Row& row : rows) {
    for (TSyncMethod mode : kAllModes) {
      SCOPED_TRACE(std::string(row.legend) + ", " + kModeNames[mode]);
      TerminalPort line(row.events, mode);
      TComPort& port = *line.port;
      std::atomic<int32_t> lastCount{0};
      port.OnRxChar = [&](TCustomComPort&, int32_t count) { lastCount = count; };
      port.OpenPort();
      EXPECT_EQ(port.ThreadCreated(), !row.events.Empty());
      line.terminal.Send("12345");
      ASSERT_TRUE(WaitForQueue(port, 5));
      ASSERT_TRUE(line.loop->RunUntil([&] { return lastCount.load() == row.handled; }));
      if (row.events.Empty()) {
        EXPECT_EQ(line.loop->Posts(), 0u);
      }
      port.ClosePort();
      EXPECT_FALSE(port.ThreadCreated());
      EXPECT_EQ(lastCount.load(), row.handled);

      TComPort probe;
      test::UsePlainLine(probe, line.terminal);
      probe.OpenPort();
      EXPECT_EQ(probe.InQueueCount(), row.leftAfterClose);
    }
  }
}

TEST(EventThread, DetectsTheInputQueueFillingUpOnce) {
  TerminalPort line({evRxChar, evRx80Full}, smNone);
  std::atomic<int32_t> lastCount{0}, countAtFull{0};
  std::atomic<int> fullEvents{0};
  line.port->OnRxChar = [&](TCustomComPort&, int32_t count) { lastCount = count; };
  line.port->OnRx80Full = [&](TCustomComPort& sender) {
    ++fullEvents;
    countAtFull = sender.InQueueCount();
  };
  line.Open();
  // The mark is 80 percent of the 1024-byte input queue: 819.
  int32_t total = 0;
  for (int bytes : {500, 400, 10}) {
    line.terminal.Send(std::string(static_cast<size_t>(bytes), 'q'));
    total += bytes;
    ASSERT_TRUE(test::WaitUntil([&] { return lastCount.load() == total; }));
  }
  EXPECT_EQ(fullEvents.load(), 1);
  EXPECT_GE(countAtFull.load(), 819);
}

TEST(EventThread, ClosingFromAHandlerNeverDeadlocks) {
  for (TSyncMethod mode : kAllModes) {
    SCOPED_TRACE(kModeNames[mode]);
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
      TerminalPort line({evRxChar, evError}, mode);
      TComPort& port = *line.port;
      port.OnRxChar = [&](TCustomComPort& sender, int32_t) {
        line.log.Add("rx");
        sender.ClosePort();
      };
      port.OnAfterClose = [&](TCustomComPort&) { line.log.Add("closed"); };
      port.OpenPort();
      line.terminal.Send("x");
      ASSERT_TRUE(line.loop->RunUntil([&] { return line.log.Size() >= 2; }));
      ASSERT_TRUE(test::WaitUntil([&] { return !port.Connected(); }));
      EXPECT_EQ(line.log.Entries(), (std::vector<std::string>{"rx", "closed"}));
      // Opens again; destruction then waits for every thread.
      port.OpenPort();
      EXPECT_TRUE(port.ThreadCreated());
    }
  }
}

TEST(EventThread, ClosingWhileASynchronisedCallWaitsNeverDeadlocks) {
  struct Row {
    const char* legend;
    bool destroy, handlerCloses;
  };
  const Row rows[] = {
      {"ClosePort", false, false},
      {"ClosePort, handler closes as well", false, true},
      {"destruction", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
      TerminalPort line({evRxChar}, smThreadSync);
      TComPort& port = *line.port;
      port.OnRxChar = [&](TCustomComPort& sender, int32_t) {
        line.log.Add("rx on " + line.Where());
        if (row.handlerCloses) sender.ClosePort();
      };
      port.OpenPort();
      line.terminal.Send("x");
      // The event thread now waits for the GUI thread, which does not run
      // its loop but closes the port.
      ASSERT_TRUE(line.loop->WaitForPosts(1));
      if (row.destroy) {
        line.port.reset();
      } else {
        port.ClosePort();
        EXPECT_FALSE(port.Connected());
      }
      // The waiting call was let through, on the GUI thread, exactly once.
      EXPECT_EQ(line.log.Entries(), std::vector<std::string>{"rx on gui"});
      line.loop->RunPending();
      EXPECT_EQ(line.log.Size(), 1u);
    }
  }
}

TEST(EventThread, HandlerFailuresAreShownAndHandlingGoesOn) {
  for (TSyncMethod mode : kAllModes) {
    SCOPED_TRACE(kModeNames[mode]);
    TerminalPort line({evRxChar}, mode);
    std::atomic<int> calls{0};
    line.port->OnRxChar = [&](TCustomComPort&, int32_t) {
      if (++calls == 1) throw std::runtime_error("handler failed");
    };
    TComPort& port = line.Open();
    line.terminal.Send("a");
    ASSERT_TRUE(line.loop->RunUntil([&] { return line.loop->shown.Size() == 1; }));
    EXPECT_EQ(line.loop->shown.Entries(), std::vector<std::string>{"handler failed"});
    line.terminal.Send("b");
    ASSERT_TRUE(line.loop->RunUntil([&] { return calls.load() >= 2; }));
    EXPECT_TRUE(port.Connected());
  }
}

TEST(EventThread, OpeningWithoutAGuiLoopForSynchronisedModesIsRefused) {
  for (TSyncMethod mode : {smThreadSync, smWindowSync}) {
    SCOPED_TRACE(kModeNames[mode]);
    TerminalPort line({evRxChar}, mode);
    line.port->SetGuiDispatcher(nullptr);
    EXPECT_THROW(line.Open(), std::logic_error);
    EXPECT_FALSE(line.port->Connected());
    EXPECT_TRUE(ComPortAvailable(line.terminal.SlaveName()));
  }
}

}  // namespace
}  // namespace voxa
