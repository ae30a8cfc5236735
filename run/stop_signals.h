// SIGINT, SIGTERM and SIGHUP as STOP. A signal handler may do almost
// nothing, so it only writes the signal's number into a pipe; the event loop
// watches the pipe's other end and reports the signal as an ordinary event.
// Every signal is reported; the run controller acts on the first only, so
// signals that follow while the run ends change nothing, and none of them
// can kill the program while it ends.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace voxa {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; only one instance may exist at a time.
  explicit StopSignals(QObject* parent = nullptr);
  // Leaves the three signals ignored: the program is ending, and a late
  // signal must not kill it before its files are closed.
  ~StopSignals() override;

 signals:
  void Received(int signalNumber);

 private:
  void Drain();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace voxa
