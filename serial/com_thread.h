// The serial port's event thread: while a port is open with a non-empty
// Events set, it waits for device events (bytes received, line errors,
// breaks, modem line changes, a nearly full input queue) and has the port's
// handlers run on the thread the port's SyncMethod selects:
//   smThreadSync  on the GUI thread, while the event thread waits for them;
//   smWindowSync  on the GUI thread, one posted message per event, the
//                 event thread going on at once;
//   smNone        on the event thread itself, alongside the owning thread;
//                 the component takes no lock, so such handlers coordinate
//                 their own access to shared state (and to the port).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/com_port.h"
#include "serial/posix_port.h"

namespace voxa {

// The message number that carries one device event to the GUI thread; its
// first parameter is the event's bit below.
inline constexpr uint32_t WM_COMEVENT = 1025;

// The order in which the events of one device event are handled: errors
// first, so a handler sees them before the bytes they arrived with.
inline constexpr TComEvent kEventHandlingOrder[10] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                                      evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// The device event bit of one event (the same number is a message's code).
uint32_t EventBit(TComEvent event);
// The OR of the bits of the members.
uint32_t EventsToMask(TComEvents events);
// The members whose bits are present; all other bits are ignored.
TComEvents MaskToEvents(uint32_t mask);

struct ComEventChannel;

class TComThread {
 public:
  explicit TComThread(TCustomComPort& owner);
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;
  // Stops the thread and waits for its end (see WaitForEnd).
  ~TComThread();

  // Selects the port's Events on the device and starts the thread. Returns 0
  // or the errno of what failed.
  int Start();
  // Asks the thread to end; returns at once. Any thread.
  void RequestStop();
  // Waits until the thread has ended. Called on the GUI thread: a
  // synchronised call the thread is waiting for is run here, since the GUI
  // thread is busy waiting and could not run it otherwise.
  void WaitForEnd();
  // Called on the event thread itself (a handler closed the port under
  // smNone): clears the event mask and empties the queues now, because the
  // descriptor is closed before the thread gets to its own clean-up.
  void ReleaseDeviceHere();
  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Delivers one message to the port's notification window, as the GUI
  // thread does with a posted event. Ignored once the window is gone (the
  // port was closed) or the port is no longer connected.
  static void WindowProc(const std::shared_ptr<ComEventChannel>& window, uint32_t message, uint32_t code);

 private:
  void Execute();
  void DispatchEvents(TComEvents events);
  void SynchronizeEvents(TComEvents events);

  TCustomComPort& port_;
  TSyncMethod syncMethod_;
  std::shared_ptr<TComGuiDispatcher> dispatcher_;
  std::shared_ptr<ComEventChannel> channel_;
  DeviceEventWait wait_;
  std::thread thread_;
  bool releasedHere_ = false;
};

}  // namespace voxa
