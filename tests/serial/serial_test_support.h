// Test support for the serial component: a pseudo-terminal whose slave side
// the component opens, a stand-in for the GUI thread's event loop, a
// thread-safe event log, a port wired to all three, and deadline-bounded
// waiting.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/com_port.h"
#include "serial/gui_dispatcher.h"
#include "serial/posix_port.h"

namespace voxa {

// Reaches the component's device layer, for what a pseudo-terminal cannot
// show by itself (recorded queue sizes, injected line errors).
struct ComPortTestAccess {
  static PortDevice& Device(TCustomComPort& port) { return *port.device_; }
};

namespace test {

using Clock = std::chrono::steady_clock;
inline constexpr std::chrono::seconds kDeadline{10};

// Polls `condition` until it holds or the deadline passes.
inline bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + kDeadline;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The device end of a serial line: the test writes on the master side, the
// component opens the slave side by its name.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    int slave = -1;
    char name[128] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    // Only the component keeps the slave side open.
    close(slave);
    slaveName_ = name;
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() { CloseMaster(); }

  const std::string& SlaveName() const { return slaveName_; }

  // A blocking write to the master side takes the bytes whole.
  void Send(std::string_view bytes) const {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("write to the pseudo-terminal failed");
    }
  }

  // The device goes away.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slaveName_;
};

// Waits until the port reports `count` bytes waiting (a pseudo-terminal
// passes written bytes on asynchronously).
inline bool WaitForQueue(TCustomComPort& port, int32_t count) {
  return WaitUntil([&] { return port.InQueueCount() == count; });
}

// A log that handlers on any thread append to.
class EventLog {
 public:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  size_t Size() const { return Entries().size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// Stands for the GUI thread's event loop: posted calls wait in a queue until
// the test thread (the "GUI thread") runs them.
class TestGuiLoop : public TComGuiDispatcher {
 public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(call));
      ++posts_;
    }
    changed_.notify_all();
  }

  void ShowException(std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& raised) {
      shown.Add(raised.what());
    }
  }

  // Runs what is queued now.
  void RunPending() {
    std::deque<std::function<void()>> batch;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batch.swap(queue_);
    }
    for (auto& call : batch) call();
  }

  // Runs the loop until `condition` holds or the deadline passes.
  bool RunUntil(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + kDeadline;
    for (;;) {
      RunPending();
      if (condition()) return true;
      if (Clock::now() > deadline) return false;
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !queue_.empty(); });
    }
  }

  // Waits (without running anything) until `count` calls have been posted;
  // wakes at the post itself, as a GUI thread's event loop would.
  bool WaitForPosts(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kDeadline, [&] { return posts_ >= count; });
  }
  size_t Posts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
  }

  EventLog shown;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  size_t posts_ = 0;
};

// A port on a pseudo-terminal with a plain line: 115200 8N1, no flow
// control, DTR and RTS off, and no events (so no event thread) until a test
// asks for some. The serial tests set this up themselves, apart from any
// program's own choice of settings.
inline void UsePlainLine(TCustomComPort& port, const PseudoTerminal& terminal) {
  port.SetBaudRate(br115200);
  port.Parity().SetBits(prNone);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbEight);
  port.SetEvents(TComEvents{});
  port.FlowControl().SetFlowControl(fcNone);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.SetPort(terminal.SlaveName());
}

// A port with a plain line on a pseudo-terminal of its own,
// handing `events` (none unless asked for) to a TestGuiLoop under `mode`.
// The constructing thread plays the GUI thread.
struct TerminalPort {
  explicit TerminalPort(TComEvents events = {}, TSyncMethod mode = smNone) : port(std::make_unique<TComPort>()) {
    UsePlainLine(*port, terminal);
    port->SetEvents(events);
    port->SetSyncMethod(mode);
    port->SetGuiDispatcher(loop);
  }
  TComPort& Open() {
    port->OpenPort();
    return *port;
  }
  // Where a handler runs, for the log.
  std::string Where() const { return std::this_thread::get_id() == guiThread ? "gui" : "event"; }

  // Declared before the port, which uses them up to its destruction.
  PseudoTerminal terminal;
  EventLog log;
  const std::thread::id guiThread = std::this_thread::get_id();
  std::shared_ptr<TestGuiLoop> loop = std::make_shared<TestGuiLoop>();
  std::unique_ptr<TComPort> port;
};

}  // namespace test
}  // namespace voxa
