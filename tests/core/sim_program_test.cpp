// Test of the voxa-sim program itself: it opens a raw pseudo-terminal, sends
// the stream its options describe, hangs up at the end and reports what it
// sent. Every wait is bounded by a deadline.
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
#include <string>
#include <vector>

#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

extern char** environ;

namespace voxa::sim {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitReadable(int fd, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd entry{fd, POLLIN, 0};
  return left > 0 && poll(&entry, 1, static_cast<int>(left)) > 0;
}

// The program's standard output and error on one pipe; killed and reaped if
// the test ends before the program does.
struct SimProcess {
  pid_t pid = -1;
  int output = -1;
  ~SimProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (output >= 0) close(output);
  }
  // Text up to `stop` (or the end of output), without it.
  std::string ReadUntil(char stop, Clock::time_point deadline) const {
    std::string text;
    char c = 0;
    while (WaitReadable(output, deadline) && read(output, &c, 1) == 1 && c != stop) text += c;
    return text;
  }
  // The exit status, or -1 when the program has not ended by the deadline.
  int Exit(Clock::time_point deadline) {
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) poll(nullptr, 0, 5);
    if (ended != pid) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

TEST(SimProgram, PseudoTerminalCarriesTheStreamRawUntilItHangsUp) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
  std::vector<std::string> arguments = {"--start", "2024-02-28T23:59:59", "--channels", "1", "--rate", "50",
                                        "--preamble", "text before the device", "--seconds", "1"};
  SimOptions asked;  // what the arguments ask for
  asked.start = {2024, 2, 28, 23, 59, 59};
  asked.channels = 1;
  asked.rate = 50;
  asked.preamble = "text before the device";
  asked.bootLines = DefaultBootReport(asked, kDefaultBootLines);

  SimProcess sim;
  int pipeEnds[2];
  ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
  sim.output = pipeEnds[0];
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  arguments.insert(arguments.begin(), VOXA_SIM_EXECUTABLE);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ASSERT_EQ(posix_spawn(&sim.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);

  // The first line of output names the line, before anything else is said.
  const std::string name = sim.ReadUntil('\n', deadline);
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
    ASSERT_TRUE(WaitReadable(fd, deadline)) << "no hang-up before the deadline";
    uint8_t buffer[1024];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0 && !(n < 0 && errno == EAGAIN)) break;  // EIO: the program closed the line
    if (n > 0) received.insert(received.end(), buffer, buffer + n);
  }
  close(fd);
  EXPECT_EQ(received, GenerateStream(asked, 1));

  const std::string report = sim.ReadUntil('\0', deadline);
  ASSERT_EQ(sim.Exit(deadline), 0);
  const std::string counts = "voxa-sim: " + std::to_string(received.size()) + " bytes sent, 0 bytes dropped\n";
  EXPECT_NE(report.find(counts), std::string::npos) << report;
}

}  // namespace
}  // namespace voxa::sim
