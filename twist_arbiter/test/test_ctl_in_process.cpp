// Copyright 2026 The twist_arbiter authors.
//
// The commands of twist_arbiter_ctl against a controller node in the same process: the same
// public interface as across processes, but independent of any cross-process transport.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <rclcpp/rclcpp.hpp>

#include "ctl/commands.hpp"
#include "ctl/controller_link.hpp"
#include "twist_arbiter/ctl/command.hpp"
#include "twist_arbiter/twist_arbiter_node.hpp"

using namespace std::chrono_literals;

namespace
{

/// An output stream target that one thread may write while another reads.
class SharedText : public std::streambuf
{
public:
  std::string Text() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

protected:
  int overflow(int c) override
  {
    if (c != traits_type::eof()) {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ += traits_type::to_char_type(c);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char * s, std::streamsize n) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }

private:
  mutable std::mutex mutex_;
  std::string text_;
};

/// Runs one command to its end: exit status and everything it printed (or its error).
std::pair<int, std::string> RunCtl(const std::vector<std::string> & args)
{
  const auto parsed = twist_arbiter_ctl::ParseCommandLine(args);
  EXPECT_TRUE(parsed.command.has_value()) << parsed.error;
  std::ostringstream out;
  try {
    const int status = twist_arbiter_ctl::RunCommand(
      *parsed.command, rclcpp::Node::make_shared("ctl"), out);
    return {status, out.str()};
  } catch (const twist_arbiter_ctl::CtlError & e) {
    return {e.status(), out.str() + e.what()};
  }
}

bool WaitFor(const std::function<bool()> & condition)
{
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

}  // namespace

TEST(CtlInProcess, EveryCommandWhileWatchFollows)
{
  rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
  rclcpp::executors::SingleThreadedExecutor executor;
  auto controller = std::make_shared<TwistArbiter>(
    rclcpp::NodeOptions().arguments({"--ros-args", "--params-file", SHIPPED_CONFIG}));
  executor.add_node(controller);
  std::thread spinner([&executor]() {executor.spin();});

  SharedText text;
  std::ostream out(&text);
  std::atomic<int> watch_status{-1};
  std::thread watch([&]() {
      watch_status = twist_arbiter_ctl::RunCommand(
        *twist_arbiter_ctl::ParseCommandLine({"watch"}).command,
        rclcpp::Node::make_shared("ctl_watch"), out);
    });
  const auto shows = [&text](const std::string & part) {
      return [&text, part]() {return text.Text().find(part) != std::string::npos;};
    };
  const std::string switched = " mode none (0) -> teleops (11)\n";
  const std::string moving = " twist linear 0.200 0.000 0.000 angular 0.000 0.000 0.000\n";
  const std::string zeroed =
    " twist linear 0.000 0.000 0.000 angular 0.000 0.000 0.000 (watchdog: input silent)\n";
  EXPECT_TRUE(WaitFor(shows(" mode none (0)\n"))) << text.Text();

  EXPECT_EQ(std::make_pair(0, std::string("Control mode set to teleops.\n")),
    RunCtl({"set", "teleops"}));
  auto run = RunCtl({"set", "user"});
  EXPECT_EQ(1, run.first);
  EXPECT_EQ(0u, run.second.find("Something went wrong.")) << run.second;
  EXPECT_TRUE(WaitFor(shows(switched))) << text.Text();

  run = RunCtl({"send", "teleops", "--linear", "0.2", "--rate", "50", "--duration", "0.5"});
  EXPECT_EQ(0, run.first) << run.second;
  EXPECT_NE(std::string::npos, run.second.find("on /cmd_vel/teleops at 50 Hz for 0.5 s"));
  EXPECT_TRUE(WaitFor(shows(zeroed))) << text.Text();

  run = RunCtl({"status"});
  EXPECT_EQ(0, run.first) << run.second;
  EXPECT_NE(std::string::npos, run.second.find("mode:       teleops (11)\n")) << run.second;
  EXPECT_NE(std::string::npos, run.second.find("input:      /cmd_vel/teleops\n"));
  EXPECT_EQ(std::make_pair(0, std::string("Control mode set to previous mode none.\n")),
    RunCtl({"previous"}));
  EXPECT_EQ(std::make_pair(1, std::string(
      "Current mode 'none' does not match 'teleops' in reset mode request.\n")),
    RunCtl({"reset", "--from", "teleops"}));
  run = RunCtl({"status", "--node", "/robot9/gate", "--timeout", "0.3"});
  EXPECT_EQ(3, run.first);
  EXPECT_EQ(0u, run.second.find("no controller /robot9/gate found within 0.3 s")) << run.second;

  // A service that never answers: its node is not spun.
  auto mute_node = rclcpp::Node::make_shared("mute");
  auto mute = mute_node->create_service<corvan_msgs::srv::SetControlMode>(
    "/mute/set_control_mode",
    [](std::shared_ptr<corvan_msgs::srv::SetControlMode::Request>,
    std::shared_ptr<corvan_msgs::srv::SetControlMode::Response>) {});
  EXPECT_EQ(std::make_pair(3, std::string(
      "controller /mute did not answer /mute/set_control_mode within 0.5 s")),
    RunCtl({"set", "manual", "--node", "/mute", "--timeout", "0.5"}));

  // Shutdown (what Ctrl-C does) ends watch with status 0.
  rclcpp::shutdown();
  watch.join();
  spinner.join();
  EXPECT_EQ(0, watch_status.load());
  const std::string all = text.Text();
  EXPECT_LT(all.find(switched), all.find(moving)) << all;
  EXPECT_LT(all.find(moving), all.find(zeroed)) << all;
}
