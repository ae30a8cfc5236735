// SIGINT, SIGTERM and SIGHUP as STOP, through a self-pipe.
#include "run/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace voxa {
namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// The write end for the handler; -1 when no instance exists.
volatile sig_atomic_t writeEnd = -1;

void OnSignal(int number) {
  const int savedErrno = errno;
  const int fd = writeEnd;
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot create the signal pipe");
  writeEnd = pipe_[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Restarted system calls: a signal must not make a read of the port or a
  // write of a file fail on the way.
  action.sa_flags = SA_RESTART;
  for (const int number : kStopSignals) sigaction(number, &action, nullptr);
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Drain);
}

StopSignals::~StopSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int number : kStopSignals) sigaction(number, &ignore, nullptr);
  writeEnd = -1;
  notifier_->setEnabled(false);
  close(pipe_[0]);
  close(pipe_[1]);
}

void StopSignals::Drain() {
  unsigned char bytes[16];
  for (;;) {
    const ssize_t count = read(pipe_[0], bytes, sizeof bytes);
    if (count <= 0) break;
    for (ssize_t i = 0; i < count; ++i) emit Received(bytes[i]);
  }
}

}  // namespace voxa
