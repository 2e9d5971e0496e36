// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_main with the shipped configuration in its own process, driven and watched from
// this one over the middleware, as an operator's tools would: mode services, relayed commands and
// the watchdog's zero, the control-mode history for a late subscriber, the node in the graph, its
// parameters through the parameter services, and its log lines on /rosout. Then, with optional
// parameters added: a plain input into a stamped output, the stop input, and a stamped input
// into the plain output behind the age gate.

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
#include "geometry_msgs/msg/twist_stamped.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rcl_interfaces/srv/list_parameters.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/bool.hpp"
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

  /// Parameter overrides (name:=value) on top of the shipped file.
  virtual std::vector<std::string> Overrides() const {return {};}

  void SetUp() override
  {
    std::vector<std::string> args = {"--ros-args", "--params-file", SHIPPED_CONFIG};
    for (const auto & value : Overrides()) {
      args.insert(args.end(), {"-p", value});
    }
    controller_ = std::make_unique<subprocess::Program>(TWIST_ARBITER_MAIN, args);
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

// ---------------------------------------------------------------------------------------------
// Optional parameters: stamped commands, the age gate and the stop input.

using geometry_msgs::msg::TwistStamped;
using rcl_interfaces::msg::Log;
using std_msgs::msg::Bool;

/// "1 <message>" for an accepted request, "0 <message>" for a refused one.
template<typename ResponseT>
std::string Answer(const ResponseT & response)
{
  return response ? (response->success ? "1 " : "0 ") + response->message : "no answer";
}

/// Subscribes @p lines to the controller's lines on /rosout (history included).
rclcpp::SubscriptionBase::SharedPtr Rosout(rclcpp::Node & node, std::vector<Log> & lines)
{
  return node.create_subscription<Log>(
    "/rosout", rclcpp::QoS(1000).reliable().transient_local(),
    [&lines](Log::ConstSharedPtr msg) {lines.push_back(*msg);});
}

bool Has(const std::vector<Log> & lines, uint8_t level, const std::string & text)
{
  return std::any_of(
    lines.begin(), lines.end(), [&](const Log & l) {return l.level == level && l.msg == text;});
}

class StopGraph : public ArbiterGraph
{
protected:
  // Stamped output in base_footprint, a stop on /stop with a 2 s heartbeat.
  std::vector<std::string> Overrides() const override
  {
    return {"topics.out.stamped:=true", "topics.out.frame_id:=base_footprint",
      "stop.topic:=stop", "stop.heartbeat:=2.0"};
  }
};

TEST_F(StopGraph, EngagedFromStartUpOnTrueAndOnSilenceRefusingAllButResetAndResumingNothing)
{
  std::vector<Log> lines;
  std::vector<TwistStamped> out;
  std::vector<bool> stopped;
  std::vector<uint8_t> modes;
  const auto rosout = Rosout(*probe_, lines);
  auto output = probe_->create_subscription<TwistStamped>(
    "/cmd_vel", TwistQoS(), [&out](TwistStamped::ConstSharedPtr m) {out.push_back(*m);});
  auto mode_sub = probe_->create_subscription<ControlMode>(
    "/control_mode", ControlModeQoS(),
    [&modes](ControlMode::ConstSharedPtr m) {modes.push_back(m->mode);});
  // Subscribed late: the latched state still tells that the stop is engaged since start-up.
  auto stopped_sub = probe_->create_subscription<Bool>(
    "/twist_arbiter/stopped", rclcpp::QoS(1).reliable().transient_local(),
    [&stopped](Bool::ConstSharedPtr m) {stopped.push_back(m->data);});
  ASSERT_TRUE(SpinUntil([&] {return !stopped.empty();}));
  EXPECT_TRUE(stopped[0]);
  const std::string refused = "0 Refused while the stop is engaged on `/stop` (no `false` "
    "received since start-up); publish `false` there to release it.";
  EXPECT_EQ(refused, Answer(Set(ControlMode::TELEOPS)));
  auto request = std::make_shared<ReturnControlMode::Request>();  // mode none
  EXPECT_EQ(refused, Answer(Call<ReturnControlMode>(previous_client_, request)));
  auto reset = probe_->create_client<ReturnControlMode>("/twist_arbiter/reset_control_mode");
  ASSERT_TRUE(reset->wait_for_service(kDiscovery));
  EXPECT_EQ("1 Control mode reset.", Answer(Call<ReturnControlMode>(reset, request)));

  // `false` releases; a plain input then leaves as TwistStamped, stamped now, in the frame.
  auto button = probe_->create_publisher<Bool>("/stop", rclcpp::QoS(10).reliable());
  Bool press;
  const auto stop_reads = [&](bool value) {
      button->publish(press);
      return !stopped.empty() && stopped.back() == value;
    };
  ASSERT_TRUE(SpinUntil([&] {return stop_reads(false);}));
  EXPECT_EQ("1 Control mode set to teleops.", Answer(Set(ControlMode::TELEOPS)));
  auto input = probe_->create_publisher<Twist>("/cmd_vel/teleops", TwistQoS());
  Twist command;
  command.linear.x = 0.2;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        input->publish(command);
        return stop_reads(false) && !out.empty() && out.back().twist == command;
      }));
  EXPECT_EQ("base_footprint", out.back().header.frame_id);
  EXPECT_NEAR(probe_->now().seconds(), rclcpp::Time(out.back().header.stamp).seconds(), 5.0);

  // `true`: mode none and a zero command at once; refusals name the button.
  press.data = true;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        return stop_reads(true) && out.back().twist == Twist() && !modes.empty() &&
        modes.back() == ControlMode::NONE;
      }));
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return Has(
          lines, Log::WARN,
          "Stop engaged on `/stop`: `true` received. Control mode `teleops` reset to none.");
      }));
  EXPECT_EQ(
    "0 Refused while the stop is engaged on `/stop` (`true` received); publish `false` there "
    "to release it.", Answer(Set(ControlMode::MANUAL)));

  // Release resumes nothing; a silent button then engages the stop one heartbeat later.
  press.data = false;
  const auto modes_before = modes.size();
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return stop_reads(false) && Has(
          lines, Log::INFO,
          "Stop released on `/stop`: `false` received. No control mode resumed; set one to "
          "drive.");
      }));
  EXPECT_EQ(modes_before, modes.size());
  EXPECT_EQ("1 Control mode set to teleops.", Answer(Set(ControlMode::TELEOPS)));
  const auto silent_since = std::chrono::steady_clock::now();
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return stopped.back() && Has(
          lines, Log::WARN,
          "Stop engaged on `/stop`: no message for 2 s. Control mode `teleops` reset to none.");
      }));
  EXPECT_GE(std::chrono::steady_clock::now() - silent_since, 1500ms);  // not at once
}

class AgeGateGraph : public ArbiterGraph
{
protected:
  std::vector<std::string> Overrides() const override
  {
    return {"states.autopilot.stamped:=true", "states.autopilot.max_age:=0.3"};
  }
};

TEST_F(AgeGateGraph, StaleStampedCommandsAreDroppedAndTheWatchdogZeroFollows)
{
  std::vector<Log> lines;
  std::vector<Twist> out;
  const auto rosout = Rosout(*probe_, lines);
  auto output = probe_->create_subscription<Twist>(
    "/cmd_vel", TwistQoS(), [&out](Twist::ConstSharedPtr m) {out.push_back(*m);});
  EXPECT_EQ("1 Control mode set to autopilot.", Answer(Set(ControlMode::AUTOPILOT)));
  // A stamped input into the plain output: made 0.1 s ago, it passes.
  auto input = probe_->create_publisher<TwistStamped>("/cmd_vel/autopilot", TwistQoS());
  TwistStamped command;
  command.twist.linear.x = 0.4;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        command.header.stamp = probe_->now() - rclcpp::Duration(100ms);
        input->publish(command);
        return !out.empty() && out.back() == command.twist;
      }));

  // Then only commands made 2 s ago or never stamped: none passes or re-arms the watchdog,
  // whose zero follows (fresh commands still in flight may come first).
  out.clear();
  const auto stale_since = std::chrono::steady_clock::now();
  command.twist.linear.x = 0.7;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        const bool zero = command.header.stamp.sec != 0;
        command.header.stamp = zero ? builtin_interfaces::msg::Time() :
        builtin_interfaces::msg::Time(probe_->now() - rclcpp::Duration(2s));
        input->publish(command);
        return !out.empty() && out.back() == Twist();
      }));
  const auto elapsed = std::chrono::steady_clock::now() - stale_since;
  for (const auto & msg : out) {
    EXPECT_NE(0.7, msg.linear.x);
  }
  // Drops are reported at most once a second, with the age.
  const auto drops = [&] {
      return std::count_if(
        lines.begin(), lines.end(), [](const Log & line) {
          return line.msg.rfind("Dropped a command on `/cmd_vel/autopilot` ", 0) == 0 &&
          line.msg.find(" (max_age 0.3 s); ") != std::string::npos;
        });
    };
  ASSERT_TRUE(SpinUntil([&] {return drops() > 0;}));
  EXPECT_LE(drops(), std::chrono::duration_cast<std::chrono::seconds>(elapsed).count() + 1);
}

}  // namespace
