// SIGINT and SIGTERM shut a spinning process down cleanly (subprocess test).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace
{

struct RunResult
{
  bool exited = false;
  int exit_code = -1;
  std::string out;
  std::string err;
};

/// Start the probe, wait until it spins, send `signum`, collect its output and status.
RunResult run_and_signal(int signum)
{
  RunResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(out_pipe[0]);
    close(err_pipe[0]);
    execl(SPIN_UNTIL_SIGNAL_PATH, SPIN_UNTIL_SIGNAL_PATH, static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  bool signalled = false;
  bool out_open = true;
  bool err_open = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((out_open || err_open) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    if (poll(fds, 2, 200) < 0) {
      break;
    }
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      if ((i == 0 && !out_open) || (i == 1 && !err_open)) {
        continue;
      }
      if (fds[i].revents & (POLLIN | POLLHUP)) {
        const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
        if (n <= 0) {
          (i == 0 ? out_open : err_open) = false;
        } else {
          (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
      }
    }
    if (!signalled && result.out.find("spinning\n") != std::string::npos) {
      kill(pid, signum);
      signalled = true;
    }
  }
  close(out_pipe[0]);
  close(err_pipe[0]);

  int status = 0;
  pid_t waited = 0;
  while ((waited = waitpid(pid, &status, WNOHANG)) == 0 &&
    std::chrono::steady_clock::now() < deadline)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (waited == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
  }
  result.exited = WIFEXITED(status);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void expect_clean_shutdown(int signum)
{
  const RunResult r = run_and_signal(signum);
  ASSERT_TRUE(r.exited) << "stdout: " << r.out << "\nstderr: " << r.err;
  EXPECT_EQ(r.exit_code, 0);
  const std::string line = "[rclcpp]: signal_handler(signum=" + std::to_string(signum) + ")\n";
  EXPECT_NE(r.err.find("[INFO] ["), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
  // Exactly one such line.
  EXPECT_EQ(r.err.find("signal_handler("), r.err.rfind("signal_handler(")) << r.err;
  EXPECT_NE(
    r.out.find("after spin: ok=0 reason=signal handler second_shutdown=0"),
    std::string::npos) << r.out;
}

TEST(SignalShutdown, sigint_ends_spin_and_main_returns)
{
  expect_clean_shutdown(SIGINT);
}

TEST(SignalShutdown, sigterm_ends_spin_and_main_returns)
{
  expect_clean_shutdown(SIGTERM);
}

}  // namespace
