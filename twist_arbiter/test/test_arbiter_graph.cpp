// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_main with the shipped configuration in its own process, driven and watched from
// this one over the middleware, as an operator's tools would: mode services, relayed commands and
// the watchdog's zero, the control-mode history for a late subscriber, the node in the graph, its
// parameters through the parameter services, and its log lines on /rosout.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvan_msgs/msg/control_mode.hpp"
#include "corvan_msgs/srv/return_control_mode.hpp"
#include "corvan_msgs/srv/set_control_mode.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rcl_interfaces/srv/list_parameters.hpp"
#include "rclcpp/rclcpp.hpp"
#include "subprocess.hpp"

namespace
{

using namespace std::chrono_literals;
using corvan_msgs::msg::ControlMode;
using corvan_msgs::srv::ReturnControlMode;
using corvan_msgs::srv::SetControlMode;
using geometry_msgs::msg::Twist;

constexpr auto kDiscovery = 20s;  // generous: a loaded 2-core machine

rclcpp::QoS TwistQoS()
{
  return rclcpp::SystemDefaultsQoS().keep_last(1).best_effort().durability_volatile();
}

rclcpp::QoS ControlModeQoS()
{
  return rclcpp::SystemDefaultsQoS().keep_last(10).reliable().transient_local();
}

class ArbiterGraph : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void SetUp() override
  {
    controller_ = std::make_unique<subprocess::Program>(
      TWIST_ARBITER_MAIN,
      std::vector<std::string>{"--ros-args", "--params-file", SHIPPED_CONFIG});
    ASSERT_TRUE(controller_->spawned());
    probe_ = std::make_shared<rclcpp::Node>("arbiter_graph_probe");
    executor_.add_node(probe_);
    set_client_ = probe_->create_client<SetControlMode>("/twist_arbiter/set_control_mode");
    previous_client_ =
      probe_->create_client<ReturnControlMode>("/twist_arbiter/previous_control_mode");
    ASSERT_TRUE(set_client_->wait_for_service(kDiscovery)) << controller_->Wait(1s).output;
    ASSERT_TRUE(previous_client_->wait_for_service(kDiscovery));
  }

  void TearDown() override
  {
    executor_.remove_node(probe_);
    if (!interrupted_) {
      controller_->Signal(SIGINT);
    }
    const auto run = controller_->Wait(20s);
    EXPECT_TRUE(run.exited) << run.output;
    EXPECT_EQ(0, run.status) << run.output;
  }

  /// Spins the probe until @p done holds; false at the deadline.
  bool SpinUntil(const std::function<bool()> & done, std::chrono::seconds timeout = kDiscovery)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      executor_.spin_once(20ms);
    }
    return true;
  }

  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr Call(
    const typename rclcpp::Client<ServiceT>::SharedPtr & client,
    typename ServiceT::Request::SharedPtr request)
  {
    auto future = client->async_send_request(request);
    if (executor_.spin_until_future_complete(future, kDiscovery) !=
      rclcpp::FutureReturnCode::SUCCESS)
    {
      return nullptr;
    }
    return future.get();
  }

  SetControlMode::Response::SharedPtr Set(uint8_t mode)
  {
    auto request = std::make_shared<SetControlMode::Request>();
    request->mode.mode = mode;
    return Call<SetControlMode>(set_client_, request);
  }

  std::unique_ptr<subprocess::Program> controller_;
  bool interrupted_{false};  // a second SIGINT after shutdown would kill it, as on Humble
  rclcpp::Node::SharedPtr probe_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::Client<SetControlMode>::SharedPtr set_client_;
  rclcpp::Client<ReturnControlMode>::SharedPtr previous_client_;
};

TEST_F(ArbiterGraph, ModeServicesSwitchAndTheActiveSourceIsRelayedThenZeroed)
{
  auto answer = Set(ControlMode::TELEOPS);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->success);
  EXPECT_EQ("Control mode set to teleops.", answer->message);

  // Refused: teleops may not hand over to user in the shipped configuration.
  answer = Set(ControlMode::USER);
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->success);

  std::vector<Twist> received;
  auto output = probe_->create_subscription<Twist>(
    "/cmd_vel", TwistQoS(), [&received](Twist::ConstSharedPtr msg) {received.push_back(*msg);});
  auto input = probe_->create_publisher<Twist>("/cmd_vel/teleops", TwistQoS());
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        return input->get_subscription_count() > 0 && output->get_publisher_count() > 0;
      }));

  // Best effort: keep sending until one command has come through.
  Twist command;
  command.linear.x = 0.2;
  command.angular.z = -0.1;
  const auto relayed = [&] {
      return std::any_of(
        received.begin(), received.end(), [](const Twist & t) {return t.linear.x == 0.2;});
    };
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        input->publish(command);
        return relayed();
      }));
  const auto it = std::find_if(
    received.begin(), received.end(), [](const Twist & t) {return t.linear.x == 0.2;});
  EXPECT_EQ(-0.1, it->angular.z);

  // The source goes silent: the watchdog sends one zero Twist after the threshold.
  received.clear();
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        return !received.empty() && received.back() == Twist();
      }));

  // Back to the mode before teleops.
  auto request = std::make_shared<ReturnControlMode::Request>();
  request->mode.mode = ControlMode::TELEOPS;
  auto back = Call<ReturnControlMode>(previous_client_, request);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->success) << back->message;
}

TEST_F(ArbiterGraph, ALateTransientLocalSubscriberReceivesTheModeHistoryInOrder)
{
  ASSERT_TRUE(Set(ControlMode::TELEOPS));
  ASSERT_TRUE(Set(ControlMode::MANUAL));

  std::vector<uint8_t> modes;
  auto late = probe_->create_subscription<ControlMode>(
    "/control_mode", ControlModeQoS(),
    [&modes](ControlMode::ConstSharedPtr msg) {modes.push_back(msg->mode);});
  ASSERT_TRUE(SpinUntil([&] {return modes.size() >= 3;}));
  EXPECT_EQ(
    (std::vector<uint8_t>{ControlMode::NONE, ControlMode::TELEOPS, ControlMode::MANUAL}), modes);
}

TEST_F(ArbiterGraph, TheNodeIsListedServesItsParametersAndLeavesOnSigint)
{
  const auto listed = [this] {
      const auto names = probe_->get_node_names();
      return std::find(names.begin(), names.end(), "/twist_arbiter") != names.end();
    };
  ASSERT_TRUE(SpinUntil(listed));

  auto get = probe_->create_client<rcl_interfaces::srv::GetParameters>(
    "/twist_arbiter/get_parameters");
  ASSERT_TRUE(get->wait_for_service(kDiscovery));
  auto request = std::make_shared<rcl_interfaces::srv::GetParameters::Request>();
  request->names = {"timeout_threshold", "topics.out.twist", "states.teleops.topic"};
  auto values = Call<rcl_interfaces::srv::GetParameters>(get, request);
  ASSERT_TRUE(values);
  ASSERT_EQ(3u, values->values.size());
  EXPECT_EQ(0.5, values->values[0].double_value);
  EXPECT_EQ("cmd_vel", values->values[1].string_value);
  EXPECT_EQ("cmd_vel/teleops", values->values[2].string_value);

  auto list = probe_->create_client<rcl_interfaces::srv::ListParameters>(
    "/twist_arbiter/list_parameters");
  ASSERT_TRUE(list->wait_for_service(kDiscovery));
  auto listing = Call<rcl_interfaces::srv::ListParameters>(
    list, std::make_shared<rcl_interfaces::srv::ListParameters::Request>());
  ASSERT_TRUE(listing);
  const auto & names = listing->result.names;
  EXPECT_NE(
    names.end(),
    std::find(names.begin(), names.end(), "states.manual_mapping.limiter.interpolation_rate"));

  controller_->Signal(SIGINT);
  interrupted_ = true;
  EXPECT_TRUE(SpinUntil([&] {return !listed();}));
}

TEST_F(ArbiterGraph, LogLinesReachRosout)
{
  std::vector<rcl_interfaces::msg::Log> lines;
  auto rosout = probe_->create_subscription<rcl_interfaces::msg::Log>(
    "/rosout", rclcpp::QoS(1000).reliable().transient_local(),
    [&lines](rcl_interfaces::msg::Log::ConstSharedPtr msg) {lines.push_back(*msg);});
  ASSERT_TRUE(Set(ControlMode::TELEOPS));
  const auto logged = [&lines](const std::string & text) {
      return std::any_of(
        lines.begin(), lines.end(), [&text](const rcl_interfaces::msg::Log & log) {
          return log.name == "twist_arbiter" && log.msg == text &&
          log.level == rcl_interfaces::msg::Log::INFO;
        });
    };
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return logged("Request received to change current mode `none` to `teleops`") &&
        logged("Control mode set to teleops.");
      }));
}

}  // namespace
