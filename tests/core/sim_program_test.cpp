// Tests of the voxa-sim program: what it writes to a file and to a
// pseudo-terminal, that it counts the bytes a receiver does not take, that a
// stop signal ends it cleanly, and that it refuses bad options. Every wait is
// bounded by a deadline.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

extern char** environ;

namespace voxa::sim {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitReadable(int fd, Clock::time_point deadline) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, MillisecondsLeft(deadline)) > 0;
}

// The program with its standard output and error on pipes; killed if a
// test leaves it running.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> arguments)
      : deadline_(Clock::now() + std::chrono::seconds(20)) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    arguments.insert(arguments.begin(), VOXA_SIM_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }

  pid_t pid() const { return pid_; }
  Clock::time_point deadline() const { return deadline_; }

  std::string FirstLine() {
    std::string line;
    char c = 0;
    while (WaitReadable(out_, deadline_) && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // The exit status, or -1 when the program has not ended by the deadline.
  int Exit() {
    while (status_ < 0 && MillisecondsLeft(deadline_) > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      } else {
        poll(nullptr, 0, 5);
      }
    }
    return status_;
  }

  std::string Errors() {
    std::string text;
    char c = 0;
    while (WaitReadable(err_, deadline_) && read(err_, &c, 1) == 1) text += c;
    return text;
  }

  // Bytes sent and dropped from the closing report on standard error.
  bool Report(long long& sent, long long& dropped) {
    const std::string errors = Errors();
    const size_t at = errors.rfind("voxa-sim: ");
    return at != std::string::npos &&
           std::sscanf(errors.c_str() + at, "voxa-sim: %lld bytes sent, %lld bytes dropped", &sent, &dropped) == 2;
  }

 private:
  Clock::time_point deadline_;
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int status_ = -1;
};

std::vector<uint8_t> Expected(const std::vector<std::string>& arguments, int64_t seconds) {
  SimCommandLine line;
  EXPECT_EQ(ParseSimCommandLine(arguments, line), "");
  return GenerateStream(line.options, seconds);
}

TEST(SimProgram, FastOutputToAFileIsTheGeneratedStream) {
  const std::string path = ::testing::TempDir() + "voxa_sim_fast.bin";
  const std::vector<std::string> options = {"--start", "2011-11-11T00:00:00", "--channels", "1", "--rate", "200",
                                            "--noise", "30", "--drop-byte", "1:4", "--seconds", "3"};
  std::vector<std::string> arguments = options;
  arguments.insert(arguments.end(), {"--fast", "--output", path});
  SimProcess sim(arguments);
  EXPECT_EQ(sim.FirstLine(), path);
  ASSERT_EQ(sim.Exit(), 0);
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_EQ(written, Expected(options, 3));
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(sim.Report(sent, dropped));
  EXPECT_EQ(sent, static_cast<long long>(written.size()));
  EXPECT_EQ(dropped, 0);
  std::remove(path.c_str());
}

TEST(SimProgram, PseudoTerminalCarriesTheStreamRawUntilItHangsUp) {
  const std::vector<std::string> arguments = {"--start", "2024-02-28T23:59:59", "--channels", "1", "--rate", "50",
                                              "--preamble", "text before the device", "--seconds", "1"};
  SimProcess sim(arguments);
  const std::string name = sim.FirstLine();
  ASSERT_EQ(name.rfind("/dev/pts/", 0), 0u) << name;
  const int fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0u) << "no echo, no line editing";
  EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | ISTRIP | IXON), 0u) << "bytes pass unchanged";
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B115200));
  std::vector<uint8_t> received;
  for (;;) {
    ASSERT_TRUE(WaitReadable(fd, sim.deadline())) << "no hang-up before the deadline";
    uint8_t buffer[1024];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0 && !(n < 0 && errno == EAGAIN)) break;  // EIO: the program closed the line
    if (n > 0) received.insert(received.end(), buffer, buffer + n);
  }
  close(fd);
  EXPECT_EQ(received, Expected(arguments, 1));
  ASSERT_EQ(sim.Exit(), 0);
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(sim.Report(sent, dropped));
  EXPECT_EQ(sent, static_cast<long long>(received.size()));
  EXPECT_EQ(dropped, 0);
}

TEST(SimProgram, BytesNobodyReadsAreDroppedAndCounted) {
  // Three seconds of the fastest stream are more than a pseudo-terminal
  // holds when nobody reads it.
  const std::vector<std::string> arguments = {"--start", "2020-01-01T00:00:00", "--rate", "800", "--seconds", "3"};
  SimProcess sim(arguments);
  ASSERT_EQ(sim.FirstLine().rfind("/dev/pts/", 0), 0u);
  ASSERT_EQ(sim.Exit(), 0);
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(sim.Report(sent, dropped));
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(sent + dropped, static_cast<long long>(Expected(arguments, 3).size()));
}

TEST(SimProgram, StopSignalsEndAnEndlessRunWithItsReport) {
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    SimProcess sim({});
    ASSERT_EQ(sim.FirstLine().rfind("/dev/pts/", 0), 0u);
    ASSERT_EQ(kill(sim.pid(), signal_number), 0);
    EXPECT_EQ(sim.Exit(), 0);
    long long sent = -1, dropped = -1;
    EXPECT_TRUE(sim.Report(sent, dropped));
  }
}

TEST(SimProgram, BadOptionExitsWithStatusTwoAndAMessage) {
  SimProcess sim({"--rate", "7"});
  EXPECT_EQ(sim.FirstLine(), "") << "nothing on standard output";
  EXPECT_EQ(sim.Exit(), 2);
  EXPECT_NE(sim.Errors().find("rate must be 50, 100, 200, 400 or 800"), std::string::npos);
}

}  // namespace
}  // namespace voxa::sim
