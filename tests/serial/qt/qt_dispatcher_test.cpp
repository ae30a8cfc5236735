// The Qt delivery of serial port events: handlers reach the thread that runs
// the Qt event loop, under thread and window synchronisation, on a real
// pseudo-terminal.

#include <QCoreApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "serial/com_port.h"
#include "serial/qt_dispatcher.h"
#include "../serial_test_support.h"

namespace voxa {
namespace {

QCoreApplication& Application() {
  static int argc = 1;
  static char name[] = "serial_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  return application;
}

// Runs the Qt event loop until `condition` holds or the deadline passes.
bool ProcessEventsUntil(const std::function<bool()>& condition) {
  const auto deadline = test::Clock::now() + test::kDeadline;
  while (!condition()) {
    if (test::Clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

TEST(QtDispatcher, HandlersRunOnTheEventLoopThread) {
  Application();
  for (TSyncMethod mode : {smThreadSync, smWindowSync}) {
    SCOPED_TRACE(mode == smThreadSync ? "thread sync" : "window sync");
    test::PseudoTerminal terminal;
    std::atomic<int> calls{0};
    std::atomic<bool> on_gui_thread{false};
    const std::thread::id gui_thread = std::this_thread::get_id();
    TComPort port;
    test::UseMonitorSettings(port, terminal);
    port.SetEvents({evRxChar});
    port.SetSyncMethod(mode);
    port.SetGuiDispatcher(std::make_shared<QtGuiDispatcher>());
    port.OnRxChar = [&](TCustomComPort&, int32_t count) {
      on_gui_thread = std::this_thread::get_id() == gui_thread;
      if (count == 2) ++calls;
    };
    port.OpenPort();
    terminal.Send("ab");
    ASSERT_TRUE(ProcessEventsUntil([&] { return calls.load() >= 1; }));
    EXPECT_TRUE(on_gui_thread.load());
    port.ClosePort();
  }
}

// Counts what the event thread hands to the Qt loop.
class CountingDispatcher : public QtGuiDispatcher {
 public:
  void Post(std::function<void()> call) override {
    ++posts;
    QtGuiDispatcher::Post(std::move(call));
  }
  std::atomic<int> posts{0};
};

TEST(QtDispatcher, WindowMessagesQueuedAtCloseAreDropped) {
  Application();
  test::PseudoTerminal terminal;
  auto dispatcher = std::make_shared<CountingDispatcher>();
  std::atomic<int> calls{0};
  TComPort port;
  test::UseMonitorSettings(port, terminal);
  port.SetEvents({evRxChar});
  port.SetSyncMethod(smWindowSync);
  port.SetGuiDispatcher(dispatcher);
  port.OnRxChar = [&](TCustomComPort&, int32_t) { ++calls; };
  port.OpenPort();
  terminal.Send("q");
  // The message is in the Qt queue, not yet delivered.
  ASSERT_TRUE(test::WaitUntil([&] { return dispatcher->posts.load() == 1; }));
  port.ClosePort();
  // Whatever the thread posted before the close is delivered now, and ignored.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(calls.load(), 0);
}

TEST(QtDispatcher, ShowsHandlerFailuresThroughItsHook) {
  Application();
  test::PseudoTerminal terminal;
  auto dispatcher = std::make_shared<QtGuiDispatcher>();
  std::string shown;
  dispatcher->OnException = [&](const std::string& message) { shown = message; };
  TComPort port;
  test::UseMonitorSettings(port, terminal);
  port.SetEvents({evRxChar});
  port.SetSyncMethod(smThreadSync);
  port.SetGuiDispatcher(dispatcher);
  port.OnRxChar = [&](TCustomComPort&, int32_t) { throw std::runtime_error("handler failed"); };
  port.OpenPort();
  terminal.Send("e");
  ASSERT_TRUE(ProcessEventsUntil([&] { return !shown.empty(); }));
  EXPECT_EQ(shown, "handler failed");
}

}  // namespace
}  // namespace voxa
