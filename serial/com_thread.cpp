// The serial port's event thread and its hand-over to the GUI thread.
//
// Hand-over under smThreadSync: the event thread parks the events in the
// channel, posts a wake-up to the GUI thread and waits until the GUI thread
// has run the handlers. A ClosePort on the GUI thread that waits for the
// thread's end runs a parked call itself, so neither side can wait for the
// other forever. A handler that closes the port releases the event thread
// from its wait, since the call it waits for is the one still running.

#include "serial/com_thread.h"

#include <cstdio>
#include <system_error>

#include "serial/gui_dispatcher.h"

namespace voxa {

namespace {

// Bits by TComEvent ordinal.
constexpr uint32_t kEventBits[10] = {
    kDeviceRxChar,  // evRxChar
    kDeviceTxEmpty, // evTxEmpty
    kDeviceRxFlag,  // evRxFlag
    kDeviceRing,    // evRing
    kDeviceBreak,   // evBreak
    kDeviceCts,     // evCTS
    kDeviceDsr,     // evDSR
    kDeviceError,   // evError
    kDeviceRlsd,    // evRLSD
    kDeviceRx80Full // evRx80Full
};

// A handler raised: show it where the program shows failures. Without a
// GUI the message goes to standard error, so it is never lost silently.
void ShowHandlerError(const std::shared_ptr<TComGuiDispatcher>& dispatcher, std::exception_ptr error,
                      bool onGuiThread) {
  if (dispatcher) {
    if (onGuiThread) {
      dispatcher->ShowException(error);
    } else {
      dispatcher->Post([dispatcher, error] { dispatcher->ShowException(error); });
    }
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& raised) {
    std::fprintf(stderr, "serial port handler: %s\n", raised.what());
  } catch (...) {
    std::fprintf(stderr, "serial port handler: unknown exception\n");
  }
}

}  // namespace

uint32_t EventBit(TComEvent event) { return kEventBits[event]; }

uint32_t EventsToMask(TComEvents events) {
  uint32_t mask = 0;
  for (int ordinal = 0; ordinal < 10; ++ordinal) {
    if (events.Contains(static_cast<TComEvent>(ordinal))) mask |= kEventBits[ordinal];
  }
  return mask;
}

TComEvents MaskToEvents(uint32_t mask) {
  TComEvents events;
  for (int ordinal = 0; ordinal < 10; ++ordinal) {
    if (mask & kEventBits[ordinal]) events.Include(static_cast<TComEvent>(ordinal));
  }
  return events;
}

// What the event thread and the GUI thread share for one run of the thread.
// It outlives both through shared ownership, so a wake-up or a message still
// queued in the GUI loop after the port was closed finds it and does nothing.
struct ComEventChannel {
  enum class Sync { Idle, Queued, Running };

  TCustomComPort* port = nullptr;
  std::shared_ptr<TComGuiDispatcher> dispatcher;

  std::mutex mutex;
  std::condition_variable changed;
  Sync sync = Sync::Idle;
  TComEvents parked;
  bool stopRequested = false;
  // The closing GUI thread runs the parked call itself (not a handler that
  // closes the port): the event thread must then wait for the call's end, or
  // it would empty the queues under the running handler.
  bool closerRuns = false;
  bool finished = false;
  // The notification window of smWindowSync: gone once the port closes.
  bool windowOpen = false;

  // GUI thread: runs the parked handlers, if they are still parked.
  void RunParked() {
    std::unique_lock<std::mutex> lock(mutex);
    if (sync != Sync::Queued) return;
    sync = Sync::Running;
    const TComEvents events = parked;
    lock.unlock();
    try {
      port->RunEventHandlers(events);
    } catch (...) {
      ShowHandlerError(dispatcher, std::current_exception(), true);
    }
    lock.lock();
    sync = Sync::Idle;
    lock.unlock();
    changed.notify_all();
  }
};

TComThread::TComThread(TCustomComPort& owner)
    : port_(owner),
      syncMethod_(owner.SyncMethod()),
      dispatcher_(owner.GuiDispatcher()),
      channel_(std::make_shared<ComEventChannel>()) {
  channel_->port = &owner;
  channel_->dispatcher = dispatcher_;
  channel_->windowOpen = syncMethod_ == smWindowSync;
}

TComThread::~TComThread() {
  if (!thread_.joinable()) return;
  RequestStop();
  if (IsCurrentThread()) {
    // Never reached through the port; a thread cannot wait for itself.
    thread_.detach();
    return;
  }
  WaitForEnd();
}

int TComThread::Start() {
  if (const int error = wait_.Create()) return error;
  // The mask is set once, here: a later change of Events waits for the next open.
  if (const int error = wait_.SetMask(*port_.device_, EventsToMask(port_.Events()))) return error;
  try {
    // Held until thread_ is assigned: the thread's first step waits for it,
    // so a handler on the thread can ask whether it runs on it.
    std::lock_guard<std::mutex> lock(channel_->mutex);
    thread_ = std::thread(&TComThread::Execute, this);
  } catch (const std::system_error& failure) {
    return failure.code().value();
  }
  return 0;
}

void TComThread::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    channel_->stopRequested = true;
    channel_->windowOpen = false;
  }
  channel_->changed.notify_all();
  wait_.Stop();
}

void TComThread::WaitForEnd() {
  std::unique_lock<std::mutex> lock(channel_->mutex);
  while (!channel_->finished) {
    if (channel_->sync == ComEventChannel::Sync::Queued) {
      // The thread waits for a call the GUI thread cannot get to while it
      // waits here: run it now.
      channel_->closerRuns = true;
      lock.unlock();
      channel_->RunParked();
      lock.lock();
      channel_->closerRuns = false;
      continue;
    }
    channel_->changed.wait(lock);
  }
  lock.unlock();
  if (thread_.joinable()) thread_.join();
}

void TComThread::ReleaseDeviceHere() {
  wait_.SetMask(*port_.device_, 0);
  port_.device_->Purge(true, true);
  releasedHere_ = true;
}

void TComThread::Execute() {
  { std::lock_guard<std::mutex> started(channel_->mutex); }
  for (;;) {
    uint32_t happened = 0;
    if (wait_.Wait(happened) != DeviceEventWait::Result::Event) break;
    DispatchEvents(MaskToEvents(happened));
  }
  if (!releasedHere_) {
    // Clear the mask and empty both queues, while the descriptor is still ours.
    wait_.SetMask(*port_.device_, 0);
    port_.device_->Purge(true, true);
  }
  wait_.Release();
  {
    std::lock_guard<std::mutex> lock(channel_->mutex);
    channel_->finished = true;
  }
  channel_->changed.notify_all();
}

void TComThread::DispatchEvents(TComEvents events) {
  switch (syncMethod_) {
    case smThreadSync:
      SynchronizeEvents(events);
      break;
    case smWindowSync:
      // One message per event, in handling order; the thread goes on at once.
      for (TComEvent event : kEventHandlingOrder) {
        if (!events.Contains(event)) continue;
        const uint32_t code = EventBit(event);
        dispatcher_->Post([window = channel_, code] { WindowProc(window, WM_COMEVENT, code); });
      }
      break;
    case smNone:
      try {
        port_.RunEventHandlers(events);
      } catch (...) {
        ShowHandlerError(dispatcher_, std::current_exception(), false);
      }
      break;
  }
}

void TComThread::SynchronizeEvents(TComEvents events) {
  std::unique_lock<std::mutex> lock(channel_->mutex);
  if (channel_->stopRequested) return;
  channel_->parked = events;
  channel_->sync = ComEventChannel::Sync::Queued;
  lock.unlock();
  dispatcher_->Post([channel = channel_] { channel->RunParked(); });
  lock.lock();
  // Done when the handlers have run; when a handler closes the port, also
  // while it runs, because then the closing is nested in it.
  channel_->changed.wait(lock, [this] {
    return channel_->sync == ComEventChannel::Sync::Idle ||
           (channel_->stopRequested && channel_->sync == ComEventChannel::Sync::Running &&
            !channel_->closerRuns);
  });
}

void TComThread::WindowProc(const std::shared_ptr<ComEventChannel>& window, uint32_t message, uint32_t code) {
  // Messages other than device events have nothing to do here.
  if (message != WM_COMEVENT) return;
  {
    std::lock_guard<std::mutex> lock(window->mutex);
    if (!window->windowOpen) return;
  }
  TCustomComPort& port = *window->port;
  if (!port.Connected()) return;
  for (int ordinal = 0; ordinal < 10; ++ordinal) {
    if (kEventBits[ordinal] != code) continue;
    try {
      port.HandleEvent(static_cast<TComEvent>(ordinal));
    } catch (...) {
      ShowHandlerError(window->dispatcher, std::current_exception(), true);
    }
    return;
  }
}

}  // namespace voxa
