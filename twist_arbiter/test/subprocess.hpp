// Copyright 2026 The twist_arbiter authors.
//
// Programs under test as subprocesses: output captured in a scratch file (a full pipe can never
// block them), default signal dispositions, and waiting for "spinning" or for the exit.
#ifndef SUBPROCESS_HPP_
#define SUBPROCESS_HPP_

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char ** environ;

namespace subprocess
{

using Clock = std::chrono::steady_clock;

struct RunResult
{
  bool exited;        // false: killed by a signal, or still running at the deadline
  int status;         // exit status or signal number
  std::string output;  // stdout and stderr together
};

/// A scratch directory for parameter files and program output, removed at exit.
class ScratchDir
{
public:
  ScratchDir()
  {
    char tmpl[] = "/tmp/twist_arbiter_program_XXXXXX";
    const char * made = mkdtemp(tmpl);
    path_ = made ? made : "";
  }
  ~ScratchDir()
  {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  const std::string & path() const {return path_;}

private:
  std::string path_;
};

inline std::string TempDir()
{
  static ScratchDir dir;
  return dir.path();
}

inline std::string ReadFile(const std::string & path)
{
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

/// Starts the program with @p args; output goes to a file so that a full pipe can never block it.
class Program
{
public:
  Program(const std::string & path, const std::vector<std::string> & args)
  {
    static int counter = 0;
    output_path_ = TempDir() + "/run" + std::to_string(counter++) + ".log";
    std::vector<std::string> argv_strings = {path};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto & a : argv_strings) {
      argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
      &actions, STDOUT_FILENO, output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The child starts with default signal dispositions whatever the test runner ignores.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    spawned_ = posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }

  ~Program()
  {
    if (spawned_ && !reaped_) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }

  bool spawned() const {return spawned_;}

  /// Waits until the program has installed its SIGINT and SIGTERM handlers and then sits idle
  /// (sleeping) for a few consecutive polls, i.e. it is spinning.
  bool WaitUntilSpinning(std::chrono::seconds timeout = std::chrono::seconds(10))
  {
    const auto deadline = Clock::now() + timeout;
    int idle_polls = 0;
    while (Clock::now() < deadline) {
      const std::string status = ReadFile("/proc/" + std::to_string(pid_) + "/status");
      if (status.empty()) {
        return false;
      }
      if (HandlesBothSignals(status) && Sleeping(status)) {
        if (++idle_polls >= 5) {
          return true;
        }
      } else {
        idle_polls = 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void Signal(int signum) {kill(pid_, signum);}

  /// What the program has written so far.
  std::string Output() const {return ReadFile(output_path_);}

  /// Waits until the output contains @p text at or after @p from, at most @p timeout.
  bool WaitForOutput(
    const std::string & text, std::size_t from = 0,
    std::chrono::seconds timeout = std::chrono::seconds(20)) const
  {
    const auto deadline = Clock::now() + timeout;
    while (Output().find(text, from) == std::string::npos) {
      if (Clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  /// Waits for the program to end, at most @p timeout.
  RunResult Wait(std::chrono::seconds timeout = std::chrono::seconds(15))
  {
    RunResult run{false, -1, ""};
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (Clock::now() < deadline) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (reaped_) {
      if (WIFEXITED(status)) {
        run.exited = true;
        run.status = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status)) {
        run.status = WTERMSIG(status);
      }
    }
    run.output = ReadFile(output_path_);
    return run;
  }

private:
  static bool HandlesBothSignals(const std::string & status)
  {
    const auto pos = status.find("SigCgt:");
    if (pos == std::string::npos) {
      return false;
    }
    const unsigned long long mask = std::strtoull(status.c_str() + pos + 7, nullptr, 16);
    return (mask & (1ull << (SIGINT - 1))) && (mask & (1ull << (SIGTERM - 1)));
  }

  static bool Sleeping(const std::string & status)
  {
    const auto pos = status.find("State:");
    if (pos == std::string::npos) {
      return false;
    }
    const auto c = status.find_first_not_of(" \t", pos + 6);
    return c != std::string::npos && status[c] == 'S';
  }

  std::string output_path_;
  pid_t pid_{0};
  bool spawned_{false};
  bool reaped_{false};
};

}  // namespace subprocess

#endif  // SUBPROCESS_HPP_
