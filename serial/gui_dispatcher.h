// How the serial event thread reaches the GUI thread. The port itself knows
// no GUI toolkit: it only needs a queue into the GUI thread's event loop.
// qt_dispatcher.h implements it with Qt; tests implement it with a plain loop.
//
// Only a non-blocking post is asked for. The waiting that smThreadSync needs
// (the event thread holds still until its handlers have run) is done by the
// port itself, so that a ClosePort waiting for the thread can run a pending
// call on the spot instead of deadlocking behind a blocking invocation.
#pragma once

#include <exception>
#include <functional>

namespace voxa {

class TComGuiDispatcher {
 public:
  virtual ~TComGuiDispatcher() = default;
  // Queues `call` to run on the GUI thread and returns at once. Called from
  // the event thread; must be safe to call from any thread. A call that
  // can no longer run (the loop has ended) may be dropped.
  virtual void Post(std::function<void()> call) = 0;
  // A handler raised an exception; show it as the program shows any other
  // failure. Called on the GUI thread.
  virtual void ShowException(std::exception_ptr error) = 0;
};

}  // namespace voxa
