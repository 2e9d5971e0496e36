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

#include <geometry_msgs/msg/twist.hpp>
#include <rcl_interfaces/srv/get_parameters.hpp>
#include <rclcpp/rclcpp.hpp>

#include "ctl/commands.hpp"
#include "ctl/controller_link.hpp"
#include "twist_arbiter/ctl/command.hpp"
#include "twist_arbiter/twist_arbiter_node.hpp"

using namespace std::chrono_literals;
using twist_arbiter_ctl::CtlError;

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

struct Outcome
{
  int status;
  std::string output;
};

class CtlInProcess : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    controller_ = std::make_shared<TwistArbiter>(
      rclcpp::NodeOptions().arguments({"--ros-args", "--params-file", SHIPPED_CONFIG}));
    executor_.add_node(controller_);
    // rclcpp serves the parameters of every node; where the ROS layer does not, a stand-in
    // answers the same question from the controller's own parameters.
    probe_ = rclcpp::Node::make_shared("ctl_test_probe");
    if (!probe_->create_client<rcl_interfaces::srv::GetParameters>(
        "/twist_arbiter/get_parameters")->wait_for_service(2s))
    {
      stand_in_ = rclcpp::Node::make_shared("parameters_stand_in");
      service_ = stand_in_->create_service<rcl_interfaces::srv::GetParameters>(
        "/twist_arbiter/get_parameters",
        [this](std::shared_ptr<rcl_interfaces::srv::GetParameters::Request> request,
        std::shared_ptr<rcl_interfaces::srv::GetParameters::Response> response) {
          for (const auto & p : controller_->get_parameters(request->names)) {
            response->values.push_back(p.get_value_message());
          }
        });
      executor_.add_node(stand_in_);
    }
    output_ = probe_->create_subscription<geometry_msgs::msg::Twist>(
      "/cmd_vel", twist_arbiter_ctl::TwistQoS(),
      [this](const geometry_msgs::msg::Twist & t) {
        if (t.linear.x == 0.2) {
          ++relayed_;
        }
      });
    executor_.add_node(probe_);
    spinner_ = std::thread([this]() {executor_.spin();});
  }

  void TearDown() override
  {
    executor_.cancel();
    spinner_.join();
    rclcpp::shutdown();
  }

  Outcome Run(const std::vector<std::string> & args)
  {
    const auto parsed = twist_arbiter_ctl::ParseCommandLine(args);
    EXPECT_TRUE(parsed.command.has_value()) << parsed.error;
    std::ostringstream out;
    try {
      const int status = twist_arbiter_ctl::RunCommand(
        *parsed.command, rclcpp::Node::make_shared("ctl"), out);
      return {status, out.str()};
    } catch (const CtlError & e) {
      return {e.status(), out.str() + e.what()};
    }
  }

  std::shared_ptr<TwistArbiter> controller_;
  rclcpp::Node::SharedPtr stand_in_;
  rclcpp::Service<rcl_interfaces::srv::GetParameters>::SharedPtr service_;
  rclcpp::Node::SharedPtr probe_;
  rclcpp::Subscription<geometry_msgs::msg::Twist>::SharedPtr output_;
  std::atomic<int> relayed_{0};
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::thread spinner_;
};

}  // namespace

TEST_F(CtlInProcess, ModeServicesStatusAndSend)
{
  Outcome run = Run({"set", "teleops"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode set to teleops.\n", run.output);
  run = Run({"set", "user"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(0u, run.output.find("Something went wrong.")) << run.output;

  run = Run({"send", "teleops", "--linear", "0.2", "--rate", "50", "--duration", "0.5"});
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("on /cmd_vel/teleops at 50 Hz for 0.5 s"));
  EXPECT_GT(relayed_.load(), 0);

  run = Run({"status"});
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("mode:       teleops (11)\n")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("input:      /cmd_vel/teleops\n")) << run.output;

  run = Run({"previous"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Control mode set to previous mode none.\n", run.output);
  run = Run({"reset", "--from", "teleops"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("Current mode 'none' does not match 'teleops' in reset mode request.\n", run.output);

  run = Run({"status", "--node", "/robot9/gate", "--timeout", "0.3"});
  EXPECT_EQ(3, run.status);
  EXPECT_EQ(0u, run.output.find("no controller /robot9/gate found within 0.3 s")) << run.output;
}

TEST_F(CtlInProcess, WatchShowsModesCommandsAndTheWatchdogZeroUntilShutdown)
{
  SharedText text;
  std::ostream out(&text);
  std::atomic<int> status{-1};
  std::thread watch([&]() {
      const auto parsed = twist_arbiter_ctl::ParseCommandLine({"watch"});
      status = twist_arbiter_ctl::RunCommand(
        *parsed.command, rclcpp::Node::make_shared("ctl_watch"), out);
    });
  const auto wait_for = [](const std::function<bool()> & condition) {
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
      }
      return condition();
    };
  const auto shows = [&text](const std::string & part) {
      return [&text, part]() {return text.Text().find(part) != std::string::npos;};
    };
  const std::string switched = " mode none (0) -> teleops (11)\n";
  const std::string moving = " twist linear 0.200 0.000 0.000 angular 0.000 0.000 0.000\n";
  const std::string zeroed =
    " twist linear 0.000 0.000 0.000 angular 0.000 0.000 0.000 (watchdog: input silent)\n";

  ASSERT_TRUE(wait_for(shows(" mode none (0)\n"))) << text.Text();
  ASSERT_EQ(0, Run({"set", "teleops"}).status);
  ASSERT_TRUE(wait_for(shows(switched))) << text.Text();
  // Both the controller and the watch follow the mode's input topic.
  ASSERT_TRUE(wait_for([this]() {return probe_->count_subscribers("/cmd_vel/teleops") == 2;}));
  auto input = probe_->create_publisher<geometry_msgs::msg::Twist>(
    "/cmd_vel/teleops", twist_arbiter_ctl::TwistQoS());
  geometry_msgs::msg::Twist command;
  command.linear.x = 0.2;
  input->publish(command);
  ASSERT_TRUE(wait_for(shows(moving))) << text.Text();
  ASSERT_TRUE(wait_for(shows(zeroed))) << text.Text();
  rclcpp::shutdown();
  watch.join();

  EXPECT_EQ(0, status.load());
  const std::string all = text.Text();
  EXPECT_LT(all.find(switched), all.find(moving)) << all;
  EXPECT_LT(all.find(moving), all.find(zeroed)) << all;
}
