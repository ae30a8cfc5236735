// Tests of the voxa-sim program itself: what it writes to a file and to a
// pseudo-terminal, that a stop signal ends it, that it counts the bytes a
// receiver does not take, and how it refuses bad options. Every wait is
// bounded by a deadline.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
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

class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& arguments) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    std::vector<std::string> all = {VOXA_SIM_EXECUTABLE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The first line of standard output, without its line end.
  std::string FirstLine(Clock::time_point deadline) {
    std::string line;
    char c = 0;
    while (Wait(out_fd_, deadline) && read(out_fd_, &c, 1) == 1) {
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  // The exit status, or -1 when the program has not ended by the deadline.
  int WaitForExit(Clock::time_point deadline) {
    for (;;) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (MillisecondsLeft(deadline) == 0) return -1;
      poll(nullptr, 0, 5);
    }
  }

  // All of standard error; call after the program has ended.
  std::string ErrorText(Clock::time_point deadline) {
    std::string text;
    char buffer[512];
    while (Wait(err_fd_, deadline)) {
      const ssize_t n = read(err_fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

 private:
  static bool Wait(int fd, Clock::time_point deadline) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, MillisecondsLeft(deadline)) > 0;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  bool exited_ = false;
};

std::vector<uint8_t> ExpectedStream(const std::vector<std::string>& arguments, int64_t seconds) {
  SimCommandLine line;
  EXPECT_EQ(ParseSimCommandLine(arguments, line), "");
  return GenerateStream(line.options, seconds);
}

// Bytes sent and dropped from the program's closing report.
bool ReadReport(const std::string& errors, long long& sent, long long& dropped) {
  const size_t at = errors.rfind("voxa-sim: ");
  return at != std::string::npos &&
         std::sscanf(errors.c_str() + at, "voxa-sim: %lld bytes sent, %lld bytes dropped", &sent, &dropped) == 2;
}

TEST(SimProgram, FastOutputToAFileIsTheGeneratedStream) {
  const std::string path = ::testing::TempDir() + "voxa_sim_fast.bin";
  const std::vector<std::string> options = {"--start", "2011-11-11T00:00:00", "--channels", "1", "--rate", "200",
                                            "--noise", "30", "--seed", "9", "--drop-byte", "1:4", "--seconds", "3"};
  std::vector<std::string> arguments = options;
  arguments.insert(arguments.end(), {"--fast", "--output", path});
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  SimProcess sim(arguments);
  ASSERT_TRUE(sim.started());
  EXPECT_EQ(sim.FirstLine(deadline), path);
  ASSERT_EQ(sim.WaitForExit(deadline), 0);
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, ExpectedStream(options, 3));
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(ReadReport(sim.ErrorText(deadline), sent, dropped));
  EXPECT_EQ(sent, static_cast<long long>(written.size()));
  EXPECT_EQ(dropped, 0);
  std::remove(path.c_str());
}

TEST(SimProgram, PseudoTerminalCarriesTheStreamRawInRealTime) {
  const std::vector<std::string> arguments = {"--start", "2024-02-28T23:59:59", "--channels", "1", "--rate", "50",
                                              "--preamble", "noise before the device", "--seconds", "1"};
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  SimProcess sim(arguments);
  ASSERT_TRUE(sim.started());
  const std::string name = sim.FirstLine(deadline);
  ASSERT_EQ(name.rfind("/dev/pts/", 0), 0u) << name;
  const int fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0u) << "raw: no echo, no line editing";
  EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | ISTRIP | IXON), 0u) << "raw: bytes unchanged";
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B115200));

  // Read until the program hangs the line up when it is done.
  std::vector<uint8_t> received;
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    ASSERT_GT(poll(&entry, 1, MillisecondsLeft(deadline)), 0) << "no end of stream before the deadline";
    uint8_t buffer[1024];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      received.insert(received.end(), buffer, buffer + n);
    } else if (n == 0 || errno != EAGAIN) {
      break;
    }
  }
  close(fd);
  EXPECT_EQ(received, ExpectedStream(arguments, 1));
  ASSERT_EQ(sim.WaitForExit(deadline), 0);
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(ReadReport(sim.ErrorText(deadline), sent, dropped));
  EXPECT_EQ(sent, static_cast<long long>(received.size()));
  EXPECT_EQ(dropped, 0);
}

TEST(SimProgram, ReceiverThatDoesNotReadLosesBytesAndTheyAreCounted) {
  // Three seconds of the fastest stream are more than a pseudo-terminal
  // holds when nobody reads it.
  const std::vector<std::string> arguments = {"--start", "2020-01-01T00:00:00", "--rate", "800",
                                              "--channels", "3", "--seconds", "3"};
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  SimProcess sim(arguments);
  ASSERT_TRUE(sim.started());
  ASSERT_EQ(sim.FirstLine(deadline).rfind("/dev/pts/", 0), 0u);
  ASSERT_EQ(sim.WaitForExit(deadline), 0);
  long long sent = -1, dropped = -1;
  ASSERT_TRUE(ReadReport(sim.ErrorText(deadline), sent, dropped));
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(sent + dropped, static_cast<long long>(ExpectedStream(arguments, 3).size()));
}

TEST(SimProgram, StopSignalsEndAnEndlessRunCleanly) {
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number == SIGTERM ? "SIGTERM" : "SIGINT");
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    SimProcess sim({"--rate", "100"});
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(sim.FirstLine(deadline).rfind("/dev/pts/", 0), 0u);
    ASSERT_EQ(kill(sim.pid(), signal_number), 0);
    EXPECT_EQ(sim.WaitForExit(deadline), 0);
    long long sent = -1, dropped = -1;
    EXPECT_TRUE(ReadReport(sim.ErrorText(deadline), sent, dropped));
  }
}

TEST(SimProgram, BadOptionsExitWithStatusTwoAndAMessage) {
  struct Case {
    const char* legend;
    std::vector<std::string> arguments;
    const char* message_part;
  };
  const Case cases[] = {
      {"rate outside the list", {"--rate", "7"}, "rate must be"},
      {"unknown option", {"--baud", "9600"}, "unknown option '--baud'"},
      {"fast without an end", {"--fast", "--output", "/dev/null"}, "--fast needs --seconds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    SimProcess sim(c.arguments);
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.FirstLine(deadline), "") << "nothing on standard output";
    EXPECT_EQ(sim.WaitForExit(deadline), 2);
    EXPECT_NE(sim.ErrorText(deadline).find(c.message_part), std::string::npos);
  }
}

}  // namespace
}  // namespace voxa::sim
