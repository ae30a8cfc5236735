// SIGINT, SIGTERM and SIGHUP as STOP. A signal handler may do almost
// nothing, so it only writes the signal's number into a pipe; the event loop
// watches the pipe's other end and reports the signal as an ordinary event.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace voxa {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; only one instance may exist at a time.
  explicit StopSignals(QObject* parent = nullptr);
  // Restores the previous handlers.
  ~StopSignals() override;

 signals:
  void Received(int signalNumber);

 private:
  void Drain();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace voxa
