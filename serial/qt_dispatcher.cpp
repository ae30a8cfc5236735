// Queued invocations into the GUI thread's event loop for the serial port.

#include "serial/qt_dispatcher.h"

#include <QMetaObject>
#include <QtGlobal>

#include <exception>

namespace voxa {

QtGuiDispatcher::QtGuiDispatcher() : receiver_(new QObject) {}

QtGuiDispatcher::~QtGuiDispatcher() {
  // The last owner may be on another thread; the receiver must die on its own.
  receiver_->deleteLater();
}

void QtGuiDispatcher::Post(std::function<void()> call) {
  // Queued, never blocking-queued: the port does its own waiting, so that a
  // close waiting for the event thread can run the call itself.
  QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void QtGuiDispatcher::ShowException(std::exception_ptr error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& raised) {
    message = raised.what();
  } catch (...) {
    message = "unknown exception";
  }
  if (OnException) {
    OnException(message);
  } else {
    qWarning("%s", message.c_str());
  }
}

}  // namespace voxa
