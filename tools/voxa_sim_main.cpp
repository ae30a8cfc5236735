// voxa-sim: a simulated VOXA data logger on a pseudo-terminal (or a file,
// FIFO or terminal given with --output), sending in real time at the pace of
// a 115200 baud line, so that the monitor can be run and tested without the
// device. The stream itself comes from StreamGenerator; this file only opens
// the line, paces the bytes and counts what the receiver did not take.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/line_pacer.h"
#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

namespace {

using voxa::sim::LinePacer;
using voxa::sim::SimCommandLine;
using voxa::sim::StreamGenerator;

constexpr int64_t kSliceNanoseconds = 20'000'000;
// After the last byte the simulator waits this long at most for the receiver
// to read what is still queued on the pseudo-terminal, because closing the
// master side hangs the slave up and may discard it.
constexpr int64_t kLingerNanoseconds = 2'000'000'000;
constexpr int64_t kStalledReceiverNanoseconds = 250'000'000;

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a sleep, a blocking write or a FIFO open must return
  // EINTR so that the loop sees the stop request at once.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A FIFO whose reader went away reports EPIPE instead of killing us.
  signal(SIGPIPE, SIG_IGN);
}

struct Line {
  int fd = -1;
  int heldSlaveFd = -1;  // pseudo-terminal only
  std::string name;
};

struct Counters {
  int64_t sent = 0;
  int64_t dropped = 0;
};

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void SleepUntil(int64_t deadlineNs) {
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000);
  deadline.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000);
  // EINTR ends the sleep early; the caller looks at stopRequested.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
}

voxa::sim::UtcTime CurrentUtcTime() {
  const time_t now = time(nullptr);
  tm parts{};
  gmtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

// Raw 115200 8N1 without flow control, so that no byte is translated,
// echoed or held back.
void MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return;
  cfmakeraw(&settings);
  cfsetispeed(&settings, B115200);
  cfsetospeed(&settings, B115200);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  tcsetattr(fd, TCSANOW, &settings);
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

bool OpenPseudoTerminal(Line& line, std::string& error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128] = {};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error = std::string("cannot prepare the pseudo-terminal: ") + std::strerror(errno);
    close(master);
    return false;
  }
  // Holding the slave side open keeps the terminal alive while the monitor
  // opens and closes it; without a slave the master reads EIO.
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    close(master);
    return false;
  }
  // Raw on the slave side: the device's bytes 0x80..0xFF and CR/LF pass
  // unchanged and nothing is echoed back to us.
  MakeRaw(slave);
  line.fd = master;
  line.heldSlaveFd = slave;
  line.name = name;
  return true;
}

bool OpenOutput(const std::string& path, Line& line, std::string& error) {
  struct stat status {};
  int fd = -1;
  if (stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) {
    // Waits for a reader; a stop signal interrupts the wait.
    fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  } else {
    // O_NONBLOCK: a serial port must not wait for its carrier.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0644);
  }
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (isatty(fd)) MakeRaw(fd);
  line.fd = fd;
  line.name = path;
  return true;
}

// Discards whatever a receiver wrote back into the pseudo-terminal, so that
// its buffer can never fill.
void DiscardInput(const Line& line) {
  if (line.heldSlaveFd < 0) return;
  uint8_t scratch[512];
  while (read(line.fd, scratch, sizeof scratch) > 0) {
  }
}

enum class WriteResult { kDone, kReceiverGone, kStopped, kFailed };

// One slice of the line: what the receiver cannot take now is lost, as on a
// real line; the write never waits.
WriteResult WriteDropping(int fd, const std::vector<uint8_t>& bytes, Counters& counters) {
  for (;;) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written >= 0) {
      counters.sent += written;
      counters.dropped += static_cast<int64_t>(bytes.size()) - written;
      return WriteResult::kDone;
    }
    if (errno == EINTR) continue;
    counters.dropped += static_cast<int64_t>(bytes.size());
    if (errno == EAGAIN || errno == EWOULDBLOCK) return WriteResult::kDone;
    return errno == EPIPE ? WriteResult::kReceiverGone : WriteResult::kFailed;
  }
}

// Fast mode: every byte, waiting for the receiver as long as it takes.
WriteResult WriteAll(int fd, const std::vector<uint8_t>& bytes, Counters& counters) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
      counters.sent += written;
      continue;
    }
    if (written < 0 && errno == EINTR) {
      if (stopRequested) return WriteResult::kStopped;
      continue;
    }
    return written < 0 && errno == EPIPE ? WriteResult::kReceiverGone : WriteResult::kFailed;
  }
  return WriteResult::kDone;
}

WriteResult RunPaced(const Line& line, StreamGenerator& generator, Counters& counters) {
  LinePacer pacer(generator);
  std::vector<uint8_t> slice;
  slice.reserve(4096);
  const int64_t start = MonotonicNanoseconds();
  int64_t wake = start;
  while (!stopRequested) {
    const int64_t now = MonotonicNanoseconds();
    slice.clear();
    pacer.Advance((now - start) / 1000, slice);
    if (!slice.empty()) {
      const WriteResult result = WriteDropping(line.fd, slice, counters);
      if (result != WriteResult::kDone) return result;
    }
    if (pacer.Finished()) return WriteResult::kDone;
    DiscardInput(line);
    wake += kSliceNanoseconds;
    // After a stall, go on from now rather than racing through missed slices.
    if (wake < now) wake = now + kSliceNanoseconds;
    SleepUntil(wake);
  }
  return WriteResult::kStopped;
}

WriteResult RunFast(const Line& line, StreamGenerator& generator, Counters& counters) {
  if (!SetBlocking(line.fd, true)) return WriteResult::kFailed;
  std::vector<uint8_t> chunk;
  generator.Start(chunk);
  while (!stopRequested) {
    const WriteResult result = WriteAll(line.fd, chunk, counters);
    if (result != WriteResult::kDone) return result;
    if (generator.Done()) return WriteResult::kDone;
    chunk.clear();
    generator.NextSecond(chunk);
  }
  return WriteResult::kStopped;
}

// Gives the receiver a moment to read what is still queued on the
// pseudo-terminal before the master side closes. Bytes just written may not
// have reached the queue yet, so it must be seen empty twice, a slice apart.
// A receiver that reads nothing for a while is not waited for.
void Linger(const Line& line) {
  if (line.heldSlaveFd < 0) return;
  const int64_t deadline = MonotonicNanoseconds() + kLingerNanoseconds;
  int lastQueued = -1;
  int64_t lastProgress = MonotonicNanoseconds();
  while (!stopRequested) {
    SleepUntil(MonotonicNanoseconds() + kSliceNanoseconds);
    const int64_t now = MonotonicNanoseconds();
    int queued = 0;
    if (ioctl(line.heldSlaveFd, FIONREAD, &queued) != 0) return;
    if (queued == 0 && lastQueued == 0) return;
    if (queued != lastQueued) {
      lastQueued = queued;
      lastProgress = now;
    }
    if (now >= deadline || now - lastProgress >= kStalledReceiverNanoseconds) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  SimCommandLine commandLine;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const std::string problem = voxa::sim::ParseSimCommandLine(arguments, commandLine);
  if (!problem.empty()) {
    std::fprintf(stderr, "voxa-sim: %s\nTry 'voxa-sim --help' for the options.\n", problem.c_str());
    return 2;
  }
  if (commandLine.help) {
    std::fputs(voxa::sim::SimUsage().c_str(), stdout);
    return 0;
  }
  if (!commandLine.startGiven) {
    commandLine.options.start = CurrentUtcTime();
    // The boot report and header name the start only through the options,
    // so they stay valid; the computer's clock alone may be out of range.
    const std::string clockProblem = voxa::sim::ValidateOptions(commandLine.options);
    if (!clockProblem.empty()) {
      std::fprintf(stderr, "voxa-sim: computer clock: %s; give --start\n", clockProblem.c_str());
      return 2;
    }
  }
  StreamGenerator generator(commandLine.options);

  InstallSignalHandlers();
  Line line;
  std::string error;
  const bool opened = commandLine.outputPath.empty()
                          ? OpenPseudoTerminal(line, error)
                          : OpenOutput(commandLine.outputPath, line, error);
  if (!opened) {
    if (stopRequested) return 0;
    std::fprintf(stderr, "voxa-sim: %s\n", error.c_str());
    return 1;
  }
  if (!commandLine.fast && !SetBlocking(line.fd, false)) {
    std::fprintf(stderr, "voxa-sim: cannot make %s non-blocking: %s\n", line.name.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // The first line of output is the line's name, for scripts and tests.
  std::printf("%s\n", line.name.c_str());
  std::fflush(stdout);
  const auto& options = commandLine.options;
  std::fprintf(stderr,
               "voxa-sim: device %s, %d channel(s), %d sps, starting %04d-%02d-%02d %02d:%02d:%02d UTC\n",
               options.deviceNumber.c_str(), options.channels, options.rate, options.start.year,
               options.start.month, options.start.day, options.start.hour, options.start.minute,
               options.start.second);

  Counters counters;
  const WriteResult result = commandLine.fast ? RunFast(line, generator, counters)
                                               : RunPaced(line, generator, counters);
  const int writeErrno = errno;
  if (result == WriteResult::kDone) Linger(line);
  if (line.heldSlaveFd >= 0) close(line.heldSlaveFd);
  close(line.fd);

  if (result == WriteResult::kReceiverGone) {
    std::fprintf(stderr, "voxa-sim: the receiver closed %s\n", line.name.c_str());
  }
  std::fprintf(stderr, "voxa-sim: %" PRId64 " bytes sent, %" PRId64 " bytes dropped\n", counters.sent,
               counters.dropped);
  if (result == WriteResult::kFailed) {
    std::fprintf(stderr, "voxa-sim: writing to %s failed: %s\n", line.name.c_str(),
                 std::strerror(writeErrno));
    return 1;
  }
  return 0;
}
