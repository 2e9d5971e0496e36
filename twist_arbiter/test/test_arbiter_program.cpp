// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_main as a subprocess: clean exit on SIGINT and SIGTERM, status 1 with an ERROR
// and a FATAL line on bad configuration, and command-line remapping of the node name.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char ** environ;

namespace
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

std::string TempDir()
{
  static ScratchDir dir;
  return dir.path();
}

std::string ReadFile(const std::string & path)
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
  explicit Program(const std::vector<std::string> & args)
  {
    static int counter = 0;
    output_path_ = TempDir() + "/run" + std::to_string(counter++) + ".log";
    std::vector<std::string> argv_strings = {TWIST_ARBITER_MAIN};
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

/// The shipped configuration as a map from dotted name to YAML value text.
std::map<std::string, std::string> ShippedValues()
{
  return {
    {"topics.out.twist", "cmd_vel"},
    {"topics.out.control_mode", "control_mode"},
    {"timeout_threshold", "0.5"},
    {"states.manual.topic", "cmd_vel/manual"},
    {"states.manual.transitions_to", "[teleops, manual_mapping, autopilot, docking, user]"},
    {"states.teleops.topic", "cmd_vel/teleops"},
    {"states.teleops.transitions_to", "[manual, manual_mapping, autopilot, docking]"},
    {"states.manual_mapping.topic", "cmd_vel/manual_mapping"},
    {"states.manual_mapping.transitions_to", "[manual, teleops]"},
    {"states.manual_mapping.limiter.velocity.max_linear", "0.4"},
    {"states.manual_mapping.limiter.velocity.max_angular", "0.6"},
    {"states.manual_mapping.limiter.acceleration.max_linear", "0.5"},
    {"states.manual_mapping.limiter.acceleration.max_angular", "1.0"},
    {"states.manual_mapping.limiter.interpolation_rate", "20.0"},
    {"states.autopilot.topic", "cmd_vel/autopilot"},
    {"states.autopilot.transitions_to", "[manual, teleops, docking]"},
    {"states.docking.topic", "cmd_vel/docking"},
    {"states.docking.transitions_to", "[manual, teleops, autopilot]"},
    {"states.user.topic", "cmd_vel/user"},
    {"states.user.transitions_to", "[manual, teleops]"},
  };
}

/// Writes a parameter file (flat dotted keys under "/**") and returns its path.
std::string WriteParams(const std::map<std::string, std::string> & values)
{
  static int counter = 0;
  const std::string path = TempDir() + "/params" + std::to_string(counter++) + ".yaml";
  std::ofstream out(path);
  out << "/**:\n  ros__parameters:\n";
  for (const auto & entry : values) {
    out << "    " << entry.first << ": " << entry.second << "\n";
  }
  return path;
}

/// Lines of @p output that contain @p marker ("[ERROR]", "[FATAL]").
std::vector<std::string> LinesWith(const std::string & output, const std::string & marker)
{
  std::vector<std::string> lines;
  std::stringstream ss(output);
  std::string line;
  while (std::getline(ss, line)) {
    if (line.find(marker) != std::string::npos) {
      lines.push_back(line);
    }
  }
  return lines;
}

/// The text of a console log line after "[<logger>]: ".
std::string MessageOf(const std::string & line, const std::string & logger)
{
  const std::string tag = "[" + logger + "]: ";
  const auto pos = line.find(tag);
  return pos == std::string::npos ? "<no [" + logger + "] in: " + line + ">" :
         line.substr(pos + tag.size());
}

/// Runs the program with @p values and expects exit status 1 with exactly one ERROR line of
/// @p logger carrying @p error, followed by one FATAL line carrying @p fatal.
void ExpectAbort(
  const std::map<std::string, std::string> & values, const std::string & error,
  const std::string & fatal, const std::vector<std::string> & extra_args = {},
  const std::string & logger = "twist_arbiter")
{
  std::vector<std::string> args = {"--ros-args", "--params-file", WriteParams(values)};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  Program program(args);
  ASSERT_TRUE(program.spawned());
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited) << run.output;
  EXPECT_EQ(1, run.status) << run.output;
  const auto errors = LinesWith(run.output, "[ERROR]");
  const auto fatals = LinesWith(run.output, "[FATAL]");
  ASSERT_EQ(1u, errors.size()) << run.output;
  ASSERT_EQ(1u, fatals.size()) << run.output;
  EXPECT_EQ(error, MessageOf(errors[0], logger));
  EXPECT_EQ(fatal, MessageOf(fatals[0], "twist_arbiter_main"));
  EXPECT_LT(run.output.find(errors[0]), run.output.find(fatals[0]));
}

const char kCtorFailed[] = "Construction of the twist_arbiter node failed: ";
const char kSeeAbove[] = "invalid configuration, see the ERROR line above";

}  // namespace

TEST(ArbiterProgram, RunsWithTheShippedConfigurationUntilASignal)
{
  for (const int signum : {SIGINT, SIGTERM}) {
    Program program({"--ros-args", "--params-file", SHIPPED_CONFIG});
    ASSERT_TRUE(program.spawned());
    ASSERT_TRUE(program.WaitUntilSpinning()) << program.Wait(std::chrono::seconds(1)).output;
    program.Signal(signum);
    const RunResult run = program.Wait();
    ASSERT_TRUE(run.exited) << "signal " << signum << ": " << run.output;
    EXPECT_EQ(0, run.status) << run.output;
    EXPECT_TRUE(LinesWith(run.output, "[ERROR]").empty()) << run.output;
    EXPECT_TRUE(LinesWith(run.output, "[FATAL]").empty()) << run.output;
  }
}

TEST(ArbiterProgram, RemappedNodeNameRunsAndReportsUnderTheNewName)
{
  // The shipped file applies to any node name, so the renamed node runs as well.
  Program program({"--ros-args", "--params-file", SHIPPED_CONFIG, "-r", "__node:=other"});
  ASSERT_TRUE(program.spawned());
  ASSERT_TRUE(program.WaitUntilSpinning());
  program.Signal(SIGTERM);
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(0, run.status) << run.output;

  // Its log lines carry the new name.
  auto values = ShippedValues();
  values.erase("timeout_threshold");
  ExpectAbort(
    values,
    "Something went wrong during parameter \"timeout_threshold\" configuration: "
    "Statically typed parameter 'timeout_threshold' must be initialized.",
    std::string(kCtorFailed) + kSeeAbove, {"-r", "__node:=other"}, "other");
}

TEST(ArbiterProgram, ExitsWithStatusOneOnAMissingParameter)
{
  auto values = ShippedValues();
  values.erase("states.docking.topic");
  ExpectAbort(
    values,
    "Something went wrong during parameter \"states.docking.topic\" configuration: "
    "Statically typed parameter 'states.docking.topic' must be initialized.",
    std::string(kCtorFailed) + kSeeAbove);
}

TEST(ArbiterProgram, ExitsWithStatusOneOnEachRefusedValue)
{
  const std::string threshold_allowed =
    "allowed is a finite number of seconds >= 0 and below 2147483.648 (value * 1000 must fit a "
    "32-bit signed number of milliseconds).";
  const std::string bound_allowed = "allowed is a finite number >= 0.";
  struct Case
  {
    std::string name;
    std::string yaml;
    std::string text_start;
  };
  const std::vector<Case> cases = {
    {"timeout_threshold", "-0.25",
      "Invalid value -0.25 for parameter \"timeout_threshold\": " + threshold_allowed},
    {"timeout_threshold", "3000000.0",
      "Invalid value 3000000 for parameter \"timeout_threshold\": " + threshold_allowed},
    {"timeout_threshold", ".nan",
      "Invalid value nan for parameter \"timeout_threshold\": " + threshold_allowed},
    {"states.manual_mapping.limiter.velocity.max_angular", "-0.5",
      "Invalid value -0.5 for parameter \"states.manual_mapping.limiter.velocity.max_angular\": " +
      bound_allowed},
    {"states.manual_mapping.limiter.acceleration.max_linear", ".inf",
      "Invalid value inf for parameter "
      "\"states.manual_mapping.limiter.acceleration.max_linear\": " + bound_allowed},
    {"states.manual_mapping.limiter.interpolation_rate", "0.0",
      "Invalid value 0 for parameter \"states.manual_mapping.limiter.interpolation_rate\": "},
    {"states.autopilot.topic", "\"bad topic\"",
      "Invalid value \"bad topic\" for parameter \"states.autopilot.topic\": allowed is a topic "
      "name"},
    {"topics.out.control_mode", "\"bad topic\"",
      "Invalid value \"bad topic\" for parameter \"topics.out.control_mode\": allowed is a "
      "topic name"},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name + " = " + c.yaml);
    auto values = ShippedValues();
    values[c.name] = c.yaml;
    Program program({"--ros-args", "--params-file", WriteParams(values)});
    ASSERT_TRUE(program.spawned());
    const RunResult run = program.Wait();
    ASSERT_TRUE(run.exited) << run.output;
    EXPECT_EQ(1, run.status) << run.output;
    const auto errors = LinesWith(run.output, "[ERROR]");
    const auto fatals = LinesWith(run.output, "[FATAL]");
    ASSERT_EQ(1u, errors.size()) << run.output;
    ASSERT_EQ(1u, fatals.size()) << run.output;
    const std::string error = MessageOf(errors[0], "twist_arbiter");
    EXPECT_EQ(0u, error.find(c.text_start)) << error;
    EXPECT_EQ(kCtorFailed + error, MessageOf(fatals[0], "twist_arbiter_main"));
  }
}

TEST(ArbiterProgram, ExitsWithStatusOneWhenInitialisationFails)
{
  Program program({"--ros-args", "--params-file", TempDir() + "/does_not_exist.yaml"});
  ASSERT_TRUE(program.spawned());
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited) << run.output;
  EXPECT_EQ(1, run.status) << run.output;
  const auto fatals = LinesWith(run.output, "[FATAL]");
  ASSERT_EQ(1u, fatals.size()) << run.output;
  EXPECT_EQ(
    0u, MessageOf(fatals[0], "twist_arbiter_main").find(
      "Initialisation of the ROS 2 client library failed: "));
}
