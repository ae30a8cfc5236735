// The Qt delivery of serial port events: handlers reach the thread that runs
// the Qt event loop, under thread and window synchronisation, on a real
// pseudo-terminal.

#include <QCoreApplication>

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
  return test::WaitUntil([&] {
    QCoreApplication::processEvents();
    return condition();
  });
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

// A port on a pseudo-terminal whose OnRxChar events go through Qt under `mode`.
struct QtPort : test::TerminalPort {
  explicit QtPort(TSyncMethod mode) : TerminalPort({evRxChar}, mode) { port->SetGuiDispatcher(dispatcher); }
  std::shared_ptr<CountingDispatcher> dispatcher = std::make_shared<CountingDispatcher>();
};

TEST(QtDispatcher, HandlersRunOnTheEventLoopThreadAndTheirFailuresReachTheHook) {
  Application();
  for (TSyncMethod mode : {smThreadSync, smWindowSync}) {
    SCOPED_TRACE(mode == smThreadSync ? "thread sync" : "window sync");
    QtPort qt(mode);
    std::string shown;
    qt.dispatcher->OnException = [&](const std::string& message) { shown = message; };
    qt.port->OnRxChar = [&](TCustomComPort&, int32_t count) {
      qt.log.Add(std::to_string(count) + " on " + qt.Where());
      throw std::runtime_error("handler failed");
    };
    qt.Open();
    qt.terminal.Send("a");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(qt.log.Entries(), std::vector<std::string>{"1 on gui"});
    EXPECT_EQ(shown, "handler failed");
  }
}

TEST(QtDispatcher, WindowMessagesQueuedAtCloseAreDropped) {
  Application();
  QtPort qt(smWindowSync);
  std::atomic<int> calls{0};
  qt.port->OnRxChar = [&](TCustomComPort&, int32_t) { ++calls; };
  qt.Open();
  qt.terminal.Send("q");
  // The message is in the Qt queue, not yet delivered.
  ASSERT_TRUE(test::WaitUntil([&] { return qt.dispatcher->posts.load() == 1; }));
  qt.port->ClosePort();
  // Whatever the thread posted before the close is delivered now, and ignored.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(calls.load(), 0);
}

}  // namespace
}  // namespace voxa
