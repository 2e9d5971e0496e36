// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_ctl against the controller, each in its own process: mode services, send and
// watch, and the exit status of every kind of bad input. The cases that need a controller skip
// when the ROS layer cannot reach another process.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <corvan_msgs/srv/set_control_mode.hpp>
#include <rclcpp/rclcpp.hpp>

#include "subprocess.hpp"

namespace
{

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()> & condition)
{
  const auto deadline = Clock::now() + 20s;
  while (!condition() && Clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

struct RunResult
{
  int status;          // exit status, or -1 when killed or still running at the deadline
  std::string output;  // stdout and stderr together
};

/// A program in a process of its own: argv[0] is its path.
class Process : public subprocess::Program
{
public:
  explicit Process(const std::vector<std::string> & argv)
  : subprocess::Program(argv.front(), std::vector<std::string>(argv.begin() + 1, argv.end())) {}

  RunResult Wait(std::chrono::seconds timeout = 30s)
  {
    const subprocess::RunResult run = subprocess::Program::Wait(timeout);
    return {run.exited ? run.status : -1, run.output};
  }
};

std::vector<std::string> CtlArgs(const std::vector<std::string> & args)
{
  std::vector<std::string> argv = {TWIST_ARBITER_CTL};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

RunResult Ctl(const std::vector<std::string> & args)
{
  return Process(CtlArgs(args)).Wait();
}

bool Contains(const std::string & text, const std::string & part)
{
  return text.find(part) != std::string::npos;
}

const char kValidModes[] =
  "valid modes: none (0), manual (10), teleops (11), manual_mapping (12), autopilot (20), "
  "docking (21), user (30)";

}  // namespace

// Bad usage is refused before any ROS communication, so these need no controller.
TEST(CtlProgramUsage, BadInputExitsWithStatusTwoAndOneLine)
{
  struct Case
  {
    std::vector<std::string> args;
    std::string line;
  };
  const std::vector<Case> cases = {
    {{"set", "cruise"}, std::string("unknown mode 'cruise'; ") + kValidModes},
    {{"previous", "--from", "99"}, std::string("unknown mode '99'; ") + kValidModes},
    {{"send", "teleops", "--linear", "fast"}, "--linear must be a finite number, got 'fast'"},
    {{"status", "--timeout", "1s"}, "--timeout must be a finite number, got '1s'"},
    {{"frobnicate"}, "unknown command 'frobnicate'; commands: status, set, previous, reset, "
      "watch, send"},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.args[0]);
    const RunResult run = Ctl(c.args);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("twist_arbiter_ctl: " + c.line + "\n", run.output);
  }
  const RunResult help = Ctl({"watch", "--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_EQ(0u, help.output.find("Usage: twist_arbiter_ctl watch")) << help.output;
}

class CtlProgram : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    controller_ = std::make_unique<Process>(
      std::vector<std::string>{TWIST_ARBITER_MAIN, "--ros-args", "--params-file", SHIPPED_CONFIG});
    probe_ = std::make_shared<rclcpp::Node>("test_ctl_program_probe");
    auto client = probe_->create_client<corvan_msgs::srv::SetControlMode>(
      "/twist_arbiter/set_control_mode");
    reachable_ = client->wait_for_service(10s);
  }

  static void TearDownTestSuite()
  {
    controller_->Signal(SIGINT);
    controller_->Wait();
    controller_.reset();
    probe_.reset();
    rclcpp::shutdown();
  }

  void SetUp() override
  {
    if (!reachable_) {
      GTEST_SKIP() << "no cross-process transport: /twist_arbiter/set_control_mode of the "
        "controller in another process did not become visible within 10 s";
    }
    const RunResult none = Ctl({"set", "none"});
    ASSERT_EQ(0, none.status) << none.output;
  }

  static std::unique_ptr<Process> controller_;
  static rclcpp::Node::SharedPtr probe_;
  static bool reachable_;
};

std::unique_ptr<Process> CtlProgram::controller_;
rclcpp::Node::SharedPtr CtlProgram::probe_;
bool CtlProgram::reachable_ = false;

TEST_F(CtlProgram, SetAcceptsAnAllowedModeRefusesAnotherAndStatusShowsIt)
{
  RunResult run = Ctl({"status"});
  EXPECT_EQ(0, run.status) << run.output;
  for (const char * line : {
      "controller: /twist_arbiter\n", "mode:       none (0)\n", "output:     /cmd_vel\n",
      "threshold:  0.5 s\n", "commands:   silent\n"})
  {
    EXPECT_TRUE(Contains(run.output, line)) << line << " in:\n" << run.output;
  }

  run = Ctl({"set", "teleops"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode set to teleops.\n", run.output);
  run = Ctl({"set", "30"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(
    "Something went wrong. Requested control mode with id `30` is not one of the accepted "
    "control modes for mode 11.\n", run.output);
  // (The switch armed the watchdog, so one zero may fall into the rate window.)
  run = Ctl({"status"});
  EXPECT_TRUE(Contains(run.output, "mode:       teleops (11)\ninput:      /cmd_vel/teleops\n"))
    << run.output;
}

TEST_F(CtlProgram, PreviousAndResetNameTheCurrentModeFromTheTopicOrFrom)
{
  ASSERT_EQ(0, Ctl({"set", "manual"}).status);
  ASSERT_EQ(0, Ctl({"set", "teleops"}).status);
  RunResult run = Ctl({"previous"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode set to previous mode manual.\n", run.output);
  run = Ctl({"reset", "--from", "teleops"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(
    "Current mode 'manual' does not match 'teleops' in reset mode request.\n", run.output);
  run = Ctl({"reset"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode reset.\n", run.output);
  run = Ctl({"previous", "--from", "0"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode set to previous mode manual.\n", run.output);
}

TEST_F(CtlProgram, SentCommandsAreRelayedAndWatchShowsThemAndTheWatchdogZero)
{
  // The control-mode history replays first (older tests' modes); it ends with the current mode,
  // none. Only what comes after it counts.
  Process watch(CtlArgs({"watch"}));
  ASSERT_TRUE(watch.WaitForOutput("none (0)\n")) << watch.Output();
  ASSERT_TRUE(WaitFor([&watch]() {
      const std::string text = watch.Output();
      std::this_thread::sleep_for(200ms);  // the burst is over when nothing follows for a while
      return text == watch.Output() && text.size() >= 9 &&
      text.compare(text.size() - 9, 9, "none (0)\n") == 0;
    })) << watch.Output();
  const std::size_t start = watch.Output().size();
  ASSERT_EQ(0, Ctl({"set", "teleops"}).status);
  ASSERT_TRUE(watch.WaitForOutput(" mode none (0) -> teleops (11)\n", start)) << watch.Output();

  Process send(CtlArgs({"send", "teleops", "--linear", "0.2", "--rate", "20", "--duration", "4"}));
  ASSERT_TRUE(send.WaitForOutput("sending linear 0.2 m/s")) << send.Output();
  const RunResult status = Ctl({"status"});
  EXPECT_TRUE(Contains(status.output, " Hz (")) << status.output;
  const RunResult sent = send.Wait();
  EXPECT_EQ(0, sent.status) << sent.output;
  EXPECT_TRUE(Contains(sent.output, "sent ")) << sent.output;

  const std::string moving = " twist linear 0.200 0.000 0.000 angular 0.000 0.000 0.000\n";
  const std::string zeroed =
    " twist linear 0.000 0.000 0.000 angular 0.000 0.000 0.000 (watchdog: input silent)\n";
  ASSERT_TRUE(watch.WaitForOutput(zeroed, start)) << watch.Output();
  watch.Signal(SIGINT);
  const RunResult watched = watch.Wait();
  EXPECT_EQ(0, watched.status) << watched.output;
  const auto switched = watched.output.find("-> teleops (11)", start);
  const auto first_move = watched.output.find(moving, start);
  EXPECT_LT(switched, first_move) << watched.output;
  EXPECT_LT(first_move, watched.output.find(zeroed, start)) << watched.output;
}

TEST_F(CtlProgram, MissingOrMuteControllerExitsWithStatusThree)
{
  RunResult run = Ctl({"status", "--node", "/nobody", "--timeout", "1"});
  EXPECT_EQ(3, run.status);
  EXPECT_TRUE(Contains(
      run.output, "twist_arbiter_ctl: no controller /nobody found within 1 s: service "
      "/nobody/set_control_mode not available (looked for /nobody/set_control_mode, "
      "/nobody/get_parameters)\n")) << run.output;

  // A service nobody ever serves: the probe node is never spun.
  auto mute = probe_->create_service<corvan_msgs::srv::SetControlMode>(
    "/mute/set_control_mode",
    [](std::shared_ptr<corvan_msgs::srv::SetControlMode::Request>,
    std::shared_ptr<corvan_msgs::srv::SetControlMode::Response>) {});
  run = Ctl({"set", "manual", "--node", "/mute", "--timeout", "2"});
  EXPECT_EQ(3, run.status);
  EXPECT_TRUE(Contains(
      run.output, "twist_arbiter_ctl: controller /mute did not answer /mute/set_control_mode "
      "within 2 s\n")) << run.output;
}
