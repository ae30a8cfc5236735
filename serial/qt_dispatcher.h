// Qt delivery of serial port events to the GUI thread: posts go to a small
// receiver object living on the GUI thread (it stands for the port's hidden
// notification window), as queued invocations in that thread's event loop.
#pragma once

#include <QObject>

#include <functional>
#include <string>

#include "serial/gui_dispatcher.h"

namespace voxa {

class QtGuiDispatcher : public TComGuiDispatcher {
 public:
  // Construct on the GUI thread: the receiver lives on the constructing thread.
  QtGuiDispatcher();
  QtGuiDispatcher(const QtGuiDispatcher&) = delete;
  QtGuiDispatcher& operator=(const QtGuiDispatcher&) = delete;
  ~QtGuiDispatcher() override;

  void Post(std::function<void()> call) override;
  // Hands the message to OnException, or to qWarning when none is set.
  void ShowException(std::exception_ptr error) override;

  // The program's failure display (a message box in the window).
  std::function<void(const std::string& message)> OnException;

 private:
  QObject* receiver_;
};

}  // namespace voxa
