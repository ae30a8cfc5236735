// The device side of a pseudo-terminal: the test writes the device's bytes
// into it, the real serial component opens the other side by its name.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QTest>

#include <string>

namespace voxa::test {

inline constexpr int kDeadlineMs = 10000;

struct FakeDevice {
  int master = -1, slave = -1;
  std::string path;

  FakeDevice() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) qFatal("openpty failed");
    path = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~FakeDevice() {
    HangUp();
    close(slave);
  }
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  // Writes everything, letting the program read while the line is full.
  bool Send(QByteArrayView bytes) {
    return QTest::qWaitFor(
        [&] {
          for (ssize_t n = 0; !bytes.empty(); bytes = bytes.sliced(n)) {
            if ((n = write(master, bytes.data(), static_cast<size_t>(bytes.size()))) <= 0) return false;
          }
          return true;
        },
        kDeadlineMs);
  }
  // Bytes sent that the program has not read yet.
  int Unread() const {
    int count = 0;
    ioctl(slave, FIONREAD, &count);
    return count;
  }
  // Waits, without letting the program run, until count bytes wait in the
  // port (the terminal hands written bytes over on its own time).
  bool Waiting(int count) const {
    QDeadlineTimer deadline(kDeadlineMs);
    while (Unread() < count) {
      if (deadline.hasExpired()) return false;
      usleep(1000);
    }
    return true;
  }
  void HangUp() {
    if (master >= 0) close(master);
    master = -1;
  }
};

}  // namespace voxa::test
