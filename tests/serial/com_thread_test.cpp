// The serial event thread on a pseudo-terminal, under all three delivery
// modes. The test thread plays the GUI thread: it runs what the event thread
// posts (TestGuiLoop). Closing races are repeated many times; run under
// ThreadSanitizer they also check the hand-over for data races.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/com_port.h"
#include "serial/com_thread.h"
#include "serial_test_support.h"

namespace voxa {
namespace {

using test::EventLog;
using test::PseudoTerminal;
using test::TestGuiLoop;
using test::WaitForQueue;

constexpr TSyncMethod kAllModes[] = {smNone, smThreadSync, smWindowSync};
constexpr int kRepeats = 40;

const char* ModeName(TSyncMethod mode) {
  switch (mode) {
    case smThreadSync: return "thread sync";
    case smWindowSync: return "window sync";
    case smNone: return "no sync";
  }
  return "?";
}

struct EventPort {
  EventPort(TComEvents events, TSyncMethod mode) : loop(std::make_shared<TestGuiLoop>()), port(new TComPort) {
    test::UseMonitorSettings(*port, terminal);
    port->SetEvents(events);
    port->SetSyncMethod(mode);
    port->SetGuiDispatcher(loop);
  }
  // Declared before the port, which uses them up to its destruction.
  PseudoTerminal terminal;
  EventLog log;
  const std::thread::id gui_thread = std::this_thread::get_id();
  std::shared_ptr<TestGuiLoop> loop;
  std::unique_ptr<TComPort> port;

  // Where a handler runs, for the log.
  std::string Where() const { return std::this_thread::get_id() == gui_thread ? "gui" : "event"; }
  bool RunUntilLogged(size_t entries) {
    return loop->RunUntil([&] { return log.Size() >= entries; });
  }
};

TEST(EventThread, EmptyEventsStartNothing) {
  for (TSyncMethod mode : kAllModes) {
    SCOPED_TRACE(ModeName(mode));
    EventPort fixture(TComEvents{}, mode);
    TComPort& port = *fixture.port;
    port.OnRxChar = [&](TCustomComPort&, int32_t count) { fixture.log.Add("rx " + std::to_string(count)); };
    port.OpenPort();
    EXPECT_FALSE(port.ThreadCreated());
    fixture.terminal.Send("abc");
    ASSERT_TRUE(WaitForQueue(port, 3));
    fixture.loop->RunPending();
    EXPECT_EQ(fixture.loop->Posts(), 0u);
    EXPECT_EQ(fixture.log.Size(), 0u);
    port.ClosePort();
    EXPECT_FALSE(port.ThreadCreated());
  }
}

TEST(EventThread, ReceivedBytesReachTheHandlersOnTheRightThread) {
  for (TSyncMethod mode : kAllModes) {
    for (bool triggers : {true, false}) {
      SCOPED_TRACE(std::string(ModeName(mode)) + (triggers ? ", counts" : ", bytes"));
      EventPort fixture(TComEvents{evRxChar}, mode);
      TComPort& port = *fixture.port;
      port.SetTriggersOnRxChar(triggers);
      std::atomic<int32_t> last_count{0};
      std::string received;  // written by one handler at a time
      std::atomic<size_t> received_size{0};
      port.OnRxChar = [&](TCustomComPort&, int32_t count) {
        last_count = count;
        fixture.log.Add("rx char on " + fixture.Where());
      };
      port.OnRxBuf = [&](TCustomComPort&, const uint8_t* bytes, int32_t count) {
        received.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        received_size = received.size();
        fixture.log.Add("rx buf on " + fixture.Where());
      };
      port.OpenPort();
      ASSERT_TRUE(port.ThreadCreated());
      fixture.terminal.Send("HELLO");
      const std::string where = mode == smNone ? "event" : "gui";
      if (triggers) {
        // The bytes stay queued; OnRxChar reports how many wait.
        ASSERT_TRUE(fixture.loop->RunUntil([&] { return last_count.load() == 5; }));
        EXPECT_EQ(port.InQueueCount(), 5);
        for (const std::string& entry : fixture.log.Entries()) EXPECT_EQ(entry, "rx char on " + where);
      } else {
        // The component reads them for OnRxBuf and OnRxChar stays silent.
        ASSERT_TRUE(fixture.loop->RunUntil([&] { return received_size.load() == 5; }));
        port.ClosePort();
        EXPECT_EQ(received, "HELLO");
        for (const std::string& entry : fixture.log.Entries()) EXPECT_EQ(entry, "rx buf on " + where);
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
      SCOPED_TRACE(std::string(row.legend) + ", " + ModeName(mode));
      EventPort fixture(row.events, mode);
      TComPort& port = *fixture.port;
      port.OnError = [&](TCustomComPort&, TComErrors errors) {
        fixture.log.Add(errors == TComErrors{ceFrame} ? "error frame" : "error other");
      };
      port.OnRxChar = [&](TCustomComPort&, int32_t count) { fixture.log.Add("rx " + std::to_string(count)); };
      port.OpenPort();
      ComPortTestAccess::Device(port).InjectLineErrors(kLineFrame);
      fixture.terminal.Send("x");
      ASSERT_TRUE(fixture.RunUntilLogged(row.expected.size()));
      EXPECT_EQ(fixture.log.Entries(), row.expected);
      if (mode == smWindowSync) {
        EXPECT_EQ(fixture.loop->Posts(), row.expected.size());
      }
    }
  }
}

TEST(EventThread, WindowMessagesAfterCloseAreIgnored) {
  struct Row {
    const char* legend;
    bool close_first;
    bool reopen;
    size_t expected_calls;
  };
  const Row rows[] = {
      {"delivered while open", false, false, 1},
      {"delivered after close", true, false, 0},
      {"delivered after close and reopen", true, true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    EventPort fixture(TComEvents{evRxChar}, smWindowSync);
    TComPort& port = *fixture.port;
    port.OnRxChar = [&](TCustomComPort&, int32_t count) { fixture.log.Add("rx " + std::to_string(count)); };
    port.OpenPort();
    fixture.terminal.Send("z");
    // The thread posts and goes on: nothing runs until the loop does.
    ASSERT_TRUE(fixture.loop->WaitForPosts(1));
    EXPECT_EQ(fixture.log.Size(), 0u);
    if (row.close_first) port.ClosePort();
    if (row.reopen) {
      // The reopened port has a byte of its own: its message must run, the
      // stale one (which would find that byte too) must not.
      port.OpenPort();
      fixture.terminal.Send("y");
      ASSERT_TRUE(fixture.loop->WaitForPosts(2));
    }
    fixture.loop->RunPending();
    EXPECT_EQ(fixture.log.Size(), row.expected_calls);
  }
}

TEST(EventThread, ClosingEndsTheThreadAndEmptiesTheQueues) {
  struct Row {
    const char* legend;
    TComEvents events;
    int32_t left_after_close;
  };
  const Row rows[] = {
      {"event thread running", {evRxChar}, 0},
      // Without a thread nothing purges: the bytes wait for the next open.
      {"no event thread", {}, 5},
  };
  for (const Row& row : rows) {
    for (TSyncMethod mode : kAllModes) {
      SCOPED_TRACE(std::string(row.legend) + ", " + ModeName(mode));
      EventPort fixture(row.events, mode);
      TComPort& port = *fixture.port;
      std::atomic<int32_t> last_count{0};
      port.OnRxChar = [&](TCustomComPort&, int32_t count) { last_count = count; };
      port.OpenPort();
      fixture.terminal.Send("12345");
      ASSERT_TRUE(WaitForQueue(port, 5));
      if (!row.events.Empty()) {
        ASSERT_TRUE(fixture.loop->RunUntil([&] { return last_count.load() == 5; }));
      }
      port.ClosePort();
      EXPECT_FALSE(port.ThreadCreated());

      TComPort probe;
      test::UseMonitorSettings(probe, fixture.terminal);
      probe.OpenPort();
      EXPECT_EQ(probe.InQueueCount(), row.left_after_close);
    }
  }
}

TEST(EventThread, DetectsTheInputQueueFillingUpOnce) {
  EventPort fixture(TComEvents{evRxChar, evRx80Full}, smNone);
  TComPort& port = *fixture.port;
  std::atomic<int32_t> last_count{0};
  std::atomic<int> full_events{0};
  std::atomic<int32_t> count_at_full{0};
  port.OnRxChar = [&](TCustomComPort&, int32_t count) { last_count = count; };
  port.OnRx80Full = [&](TCustomComPort& sender) {
    ++full_events;
    count_at_full = sender.InQueueCount();
  };
  port.OpenPort();
  // The mark is 80 percent of the 1024-byte input queue: 819.
  const int sends[] = {500, 400, 10};
  int32_t total = 0;
  for (int bytes : sends) {
    fixture.terminal.Send(std::string(static_cast<size_t>(bytes), 'q'));
    total += bytes;
    ASSERT_TRUE(test::WaitUntil([&] { return last_count.load() == total; }));
  }
  EXPECT_EQ(full_events.load(), 1);
  EXPECT_GE(count_at_full.load(), 819);
}

TEST(EventThread, ClosingFromAHandlerNeverDeadlocks) {
  for (TSyncMethod mode : kAllModes) {
    SCOPED_TRACE(ModeName(mode));
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
      EventPort fixture(TComEvents{evRxChar, evError}, mode);
      TComPort& port = *fixture.port;
      port.OnRxChar = [&](TCustomComPort& sender, int32_t) {
        fixture.log.Add("rx");
        sender.ClosePort();
      };
      port.OnAfterClose = [&](TCustomComPort&) { fixture.log.Add("closed"); };
      port.OpenPort();
      fixture.terminal.Send("x");
      ASSERT_TRUE(fixture.RunUntilLogged(2));
      ASSERT_TRUE(test::WaitUntil([&] { return !port.Connected(); }));
      EXPECT_EQ(fixture.log.Entries(), (std::vector<std::string>{"rx", "closed"}));
      // Opens again; destruction then waits for every thread.
      port.OpenPort();
      EXPECT_TRUE(port.ThreadCreated());
    }
  }
}

TEST(EventThread, ClosingWhileASynchronisedCallWaitsNeverDeadlocks) {
  struct Row {
    const char* legend;
    bool destroy;
    bool handler_closes;
  };
  const Row rows[] = {
      {"ClosePort", false, false},
      {"ClosePort, handler closes as well", false, true},
      {"destruction", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
      EventPort fixture(TComEvents{evRxChar}, smThreadSync);
      TComPort& port = *fixture.port;
      port.OnRxChar = [&](TCustomComPort& sender, int32_t) {
        fixture.log.Add("rx on " + fixture.Where());
        if (row.handler_closes) sender.ClosePort();
      };
      port.OpenPort();
      fixture.terminal.Send("x");
      // The event thread now waits for the GUI thread, which does not run
      // its loop but closes the port.
      ASSERT_TRUE(fixture.loop->WaitForPosts(1));
      if (row.destroy) {
        fixture.port.reset();
      } else {
        port.ClosePort();
        EXPECT_FALSE(port.Connected());
      }
      // The waiting call was let through, on the GUI thread, exactly once.
      EXPECT_EQ(fixture.log.Entries(), std::vector<std::string>{"rx on gui"});
      fixture.loop->RunPending();
      EXPECT_EQ(fixture.log.Size(), 1u);
    }
  }
}

TEST(EventThread, HandlerFailuresAreShownAndHandlingGoesOn) {
  for (TSyncMethod mode : kAllModes) {
    SCOPED_TRACE(ModeName(mode));
    EventPort fixture(TComEvents{evRxChar}, mode);
    TComPort& port = *fixture.port;
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TCustomComPort&, int32_t) {
      if (++calls == 1) throw std::runtime_error("handler failed");
    };
    port.OpenPort();
    fixture.terminal.Send("a");
    ASSERT_TRUE(fixture.loop->RunUntil([&] { return fixture.loop->shown.Size() == 1; }));
    EXPECT_EQ(fixture.loop->shown.Entries(), std::vector<std::string>{"handler failed"});
    fixture.terminal.Send("b");
    ASSERT_TRUE(fixture.loop->RunUntil([&] { return calls.load() >= 2; }));
    EXPECT_TRUE(port.Connected());
  }
}

TEST(EventThread, OpeningWithoutAGuiLoopForSynchronisedModesIsRefused) {
  for (TSyncMethod mode : {smThreadSync, smWindowSync}) {
    PseudoTerminal terminal;
    TComPort port;
    test::UseMonitorSettings(port, terminal);
    port.SetEvents({evRxChar});
    port.SetSyncMethod(mode);
    EXPECT_THROW(port.OpenPort(), std::logic_error);
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(ComPortAvailable(terminal.SlaveName()));
  }
}

}  // namespace
}  // namespace voxa
