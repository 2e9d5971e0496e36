// A helper program run as a second ROS process: its stdout and stderr are collected by a
// reader thread, so a test can wait for a line while it spins its own executor.
#ifndef PEER_PROCESS_HPP_
#define PEER_PROCESS_HPP_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PeerProcess
{
public:
  explicit PeerProcess(const std::vector<std::string> & args)
  {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out_pipe[1], STDOUT_FILENO);
      dup2(err_pipe[1], STDERR_FILENO);
      close(out_pipe[0]);
      close(err_pipe[0]);
      std::vector<char *> argv;
      for (const auto & arg : args) {
        argv.push_back(const_cast<char *>(arg.c_str()));
      }
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    reader_ = std::thread([this, out = out_pipe[0], err = err_pipe[0]] {read_loop(out, err);});
  }

  ~PeerProcess()
  {
    stop();
  }

  PeerProcess(const PeerProcess &) = delete;
  PeerProcess & operator=(const PeerProcess &) = delete;

  /// Wait until stdout (or stderr when `from_stderr`) contains `text`.
  bool wait_for(
    const std::string & text, std::chrono::seconds timeout = std::chrono::seconds(20),
    bool from_stderr = false)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(
      lock, timeout, [&] {
        return (from_stderr ? err_ : out_).find(text) != std::string::npos;
      });
  }

  std::string out()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
  }

  std::string err()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
  }

  /// SIGTERM (if still running), then the exit status; -1 if it did not exit normally.
  int stop()
  {
    if (pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (waitpid(pid_, &status, WNOHANG) == 0) {
          if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = 0;
    }
    if (reader_.joinable()) {
      reader_.join();
    }
    return exit_code_;
  }

  /// Wait for the process to end by itself; its exit status, -1 on timeout or a signal.
  int wait_exit(std::chrono::seconds timeout = std::chrono::seconds(30))
  {
    if (pid_ > 0) {
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + timeout;
      pid_t done = 0;
      while ((done = waitpid(pid_, &status, WNOHANG)) == 0 &&
        std::chrono::steady_clock::now() < deadline)
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (done == 0) {
        return -1;
      }
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = 0;
    }
    if (reader_.joinable()) {
      reader_.join();
    }
    return exit_code_;
  }

  pid_t pid() const {return pid_;}

private:
  void read_loop(int out, int err)
  {
    bool out_open = true;
    bool err_open = true;
    while (out_open || err_open) {
      pollfd fds[2] = {{out_open ? out : -1, POLLIN, 0}, {err_open ? err : -1, POLLIN, 0}};
      if (poll(fds, 2, 1000) < 0) {
        break;
      }
      char buffer[4096];
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
          continue;
        }
        const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
        if (n <= 0) {
          (i == 0 ? out_open : err_open) = false;
          continue;
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(n));
        }
        cv_.notify_all();
      }
    }
    close(out);
    close(err);
  }

  pid_t pid_{0};
  int exit_code_{-1};
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::string out_;
  std::string err_;
};

#endif  // PEER_PROCESS_HPP_
