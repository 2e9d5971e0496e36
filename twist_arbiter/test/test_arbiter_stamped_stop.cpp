// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_main in its own process with the shipped configuration plus the optional
// parameters, driven over the middleware from this one: stamped and mixed inputs and outputs,
// the age gate and the watchdog after it, and the stop input (start-up, `true`, silence,
// refusals, reset, release without resume, the state on ~/stopped for a late subscriber).

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
using geometry_msgs::msg::TwistStamped;
using rcl_interfaces::msg::Log;
using std_msgs::msg::Bool;

constexpr auto kDiscovery = 20s;  // generous: a loaded 2-core machine

rclcpp::QoS TwistQoS()
{
  return rclcpp::SystemDefaultsQoS().keep_last(1).best_effort().durability_volatile();
}

TwistStamped Stamped(double x, const builtin_interfaces::msg::Time & stamp)
{
  TwistStamped msg;
  msg.header.stamp = stamp;
  msg.twist.linear.x = x;
  return msg;
}

/// The controller with the shipped file and @p overrides (name:=value), and a probe that talks
/// to it: mode services, the stop topic, the control-mode topic and /rosout.
class StampedStopGraph : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void Start(const std::vector<std::string> & overrides)
  {
    std::vector<std::string> args = {"--ros-args", "--params-file", SHIPPED_CONFIG};
    for (const auto & value : overrides) {
      args.insert(args.end(), {"-p", value});
    }
    controller_ = std::make_unique<subprocess::Program>(TWIST_ARBITER_MAIN, args);
    ASSERT_TRUE(controller_->spawned());
    probe_ = std::make_shared<rclcpp::Node>("stamped_stop_probe");
    executor_.add_node(probe_);
    rosout_ = probe_->create_subscription<Log>(
      "/rosout", rclcpp::QoS(1000).reliable().transient_local(),
      [this](Log::ConstSharedPtr msg) {
        if (msg->name == "twist_arbiter") {
          logs_.push_back(*msg);
        }
      });
    modes_sub_ = probe_->create_subscription<ControlMode>(
      "/control_mode", rclcpp::QoS(10).reliable().transient_local(),
      [this](ControlMode::ConstSharedPtr msg) {modes_.push_back(msg->mode);});
    stop_pub_ = probe_->create_publisher<Bool>("/stop", rclcpp::QoS(10).reliable());
    set_client_ = probe_->create_client<SetControlMode>("/twist_arbiter/set_control_mode");
    previous_client_ =
      probe_->create_client<ReturnControlMode>("/twist_arbiter/previous_control_mode");
    reset_client_ =
      probe_->create_client<ReturnControlMode>("/twist_arbiter/reset_control_mode");
    ASSERT_TRUE(set_client_->wait_for_service(kDiscovery)) << controller_->Wait(1s).output;
    ASSERT_TRUE(previous_client_->wait_for_service(kDiscovery));
    ASSERT_TRUE(reset_client_->wait_for_service(kDiscovery));
  }

  void TearDown() override
  {
    if (probe_) {
      executor_.remove_node(probe_);
    }
    if (controller_) {
      controller_->Signal(SIGINT);
      const auto run = controller_->Wait(20s);
      EXPECT_TRUE(run.exited) << run.output;
      EXPECT_EQ(0, run.status) << run.output;
    }
  }

  /// Spins the probe until @p done holds; false at the deadline. While feed_stop_ is set, every
  /// pass also publishes `false` on the stop topic, as a healthy stop button does.
  bool SpinUntil(const std::function<bool()> & done, std::chrono::seconds timeout = kDiscovery)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      if (feed_stop_) {
        Bool released;
        released.data = false;
        stop_pub_->publish(released);
      }
      executor_.spin_once(20ms);
    }
    return true;
  }

  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr Call(
    const typename rclcpp::Client<ServiceT>::SharedPtr & client, uint8_t mode)
  {
    auto request = std::make_shared<typename ServiceT::Request>();
    request->mode.mode = mode;
    auto future = client->async_send_request(request).future.share();
    if (!SpinUntil([&future] {return future.wait_for(0s) == std::future_status::ready;})) {
      return nullptr;
    }
    return future.get();
  }

  SetControlMode::Response::SharedPtr Set(uint8_t mode)
  {
    return Call<SetControlMode>(set_client_, mode);
  }

  /// Whether the controller logged @p text exactly at @p level.
  bool Logged(uint8_t level, const std::string & text) const
  {
    return std::any_of(
      logs_.begin(), logs_.end(),
      [&](const Log & log) {return log.level == level && log.msg == text;});
  }

  /// Publishes @p value on the stop topic until ~/stopped reports it.
  bool DriveStop(bool value, std::vector<bool> & stopped)
  {
    return SpinUntil(
      [&] {
        Bool msg;
        msg.data = value;
        stop_pub_->publish(msg);
        return !stopped.empty() && stopped.back() == value;
      });
  }

  std::unique_ptr<subprocess::Program> controller_;
  rclcpp::Node::SharedPtr probe_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::Subscription<Log>::SharedPtr rosout_;
  rclcpp::Subscription<ControlMode>::SharedPtr modes_sub_;
  rclcpp::Publisher<Bool>::SharedPtr stop_pub_;
  rclcpp::Client<SetControlMode>::SharedPtr set_client_;
  rclcpp::Client<ReturnControlMode>::SharedPtr previous_client_;
  rclcpp::Client<ReturnControlMode>::SharedPtr reset_client_;
  std::vector<Log> logs_;
  std::vector<uint8_t> modes_;
  bool feed_stop_{false};
};

// Stamped output in base_footprint, a stop button on /stop with a 1 s heartbeat, autopilot's
// input stamped with a 0.3 s age gate; teleops stays a plain Twist input.
const std::vector<std::string> kStampedWithStop = {
  "topics.out.stamped:=true", "topics.out.frame_id:=base_footprint", "stop.topic:=stop",
  "stop.heartbeat:=1.0", "states.autopilot.stamped:=true", "states.autopilot.max_age:=0.3"};

TEST_F(StampedStopGraph, StopEngagesFromStartUpOnTrueAndOnSilenceAndRefusesToDrive)
{
  Start(kStampedWithStop);
  std::vector<TwistStamped> out;
  auto output = probe_->create_subscription<TwistStamped>(
    "/cmd_vel", TwistQoS(), [&out](TwistStamped::ConstSharedPtr msg) {out.push_back(*msg);});
  // A late subscriber still learns that the stop is engaged since start-up.
  std::vector<bool> stopped;
  auto stopped_sub = probe_->create_subscription<Bool>(
    "/twist_arbiter/stopped", rclcpp::QoS(1).reliable().transient_local(),
    [&stopped](Bool::ConstSharedPtr msg) {stopped.push_back(msg->data);});
  ASSERT_TRUE(SpinUntil([&] {return !stopped.empty();}));
  EXPECT_TRUE(stopped[0]);
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return Logged(
          Log::WARN, "Stop engaged on `/stop`: no `false` received since start-up.");
      }));

  const std::string startup_refusal =
    "Refused while the stop is engaged on `/stop` (no `false` received since start-up); "
    "publish `false` there to release it.";
  auto answer = Set(ControlMode::TELEOPS);
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->success);
  EXPECT_EQ(startup_refusal, answer->message);
  auto back = Call<ReturnControlMode>(previous_client_, ControlMode::NONE);
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->success);
  EXPECT_EQ(startup_refusal, back->message);
  auto reset = Call<ReturnControlMode>(reset_client_, ControlMode::NONE);
  ASSERT_TRUE(reset);
  EXPECT_TRUE(reset->success);
  EXPECT_EQ("Control mode reset.", reset->message);

  // The first `false` releases; a mixed setup then relays a Twist input as TwistStamped.
  ASSERT_TRUE(DriveStop(false, stopped));
  feed_stop_ = true;
  answer = Set(ControlMode::TELEOPS);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->success) << answer->message;
  auto teleops = probe_->create_publisher<Twist>("/cmd_vel/teleops", TwistQoS());
  Twist command;
  command.linear.x = 0.2;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        teleops->publish(command);
        return !out.empty() && out.back().twist.linear.x == 0.2;
      }));
  EXPECT_EQ("base_footprint", out.back().header.frame_id);
  const double stamp = rclcpp::Time(out.back().header.stamp).seconds();
  EXPECT_NEAR(probe_->now().seconds(), stamp, 5.0);

  // `true` ends the mode at once: none, one zero command, refusals naming the button.
  feed_stop_ = false;
  out.clear();
  ASSERT_TRUE(DriveStop(true, stopped));
  ASSERT_TRUE(SpinUntil([&] {return !out.empty() && modes_.back() == ControlMode::NONE;}));
  EXPECT_EQ(TwistStamped().twist, out.back().twist);
  EXPECT_EQ("base_footprint", out.back().header.frame_id);
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return Logged(
          Log::WARN,
          "Stop engaged on `/stop`: `true` received. Control mode `teleops` reset to none.");
      }));
  answer = Set(ControlMode::MANUAL);
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->success);
  EXPECT_EQ(
    "Refused while the stop is engaged on `/stop` (`true` received); publish `false` there to "
    "release it.", answer->message);
  answer = Set(ControlMode::NONE);  // asks for what the stop enforces: answered as usual
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->success);

  // Release resumes nothing.
  const auto modes_before = modes_.size();
  ASSERT_TRUE(DriveStop(false, stopped));
  feed_stop_ = true;
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return Logged(
          Log::INFO,
          "Stop released on `/stop`: `false` received. No control mode resumed; set one to "
          "drive.");
      }));
  EXPECT_EQ(modes_before, modes_.size());
  EXPECT_EQ(ControlMode::NONE, modes_.back());

  // A silent button engages the stop one heartbeat after its last message.
  answer = Set(ControlMode::TELEOPS);
  ASSERT_TRUE(answer);
  ASSERT_TRUE(answer->success) << answer->message;
  feed_stop_ = false;
  const auto silent_since = std::chrono::steady_clock::now();
  ASSERT_TRUE(SpinUntil([&] {return stopped.back();}));
  EXPECT_GE(std::chrono::steady_clock::now() - silent_since, 700ms);  // not at once
  EXPECT_TRUE(
    SpinUntil(
      [&] {
        return Logged(
          Log::WARN,
          "Stop engaged on `/stop`: no message for 1 s. Control mode `teleops` reset to none.");
      }));
  EXPECT_EQ(ControlMode::NONE, modes_.back());
}

TEST_F(StampedStopGraph, StaleStampedCommandsAreDroppedAndTheWatchdogZeroFollows)
{
  Start(kStampedWithStop);
  std::vector<TwistStamped> out;
  auto output = probe_->create_subscription<TwistStamped>(
    "/cmd_vel", TwistQoS(), [&out](TwistStamped::ConstSharedPtr msg) {out.push_back(*msg);});
  std::vector<bool> stopped;
  auto stopped_sub = probe_->create_subscription<Bool>(
    "/twist_arbiter/stopped", rclcpp::QoS(1).reliable().transient_local(),
    [&stopped](Bool::ConstSharedPtr msg) {stopped.push_back(msg->data);});
  ASSERT_TRUE(DriveStop(false, stopped));
  feed_stop_ = true;
  auto answer = Set(ControlMode::AUTOPILOT);
  ASSERT_TRUE(answer);
  ASSERT_TRUE(answer->success) << answer->message;

  // A command made 0.2 s ago passes and leaves re-stamped at publication: after the first
  // send, not 0.2 s before it as its input stamp says.
  auto autopilot = probe_->create_publisher<TwistStamped>("/cmd_vel/autopilot", TwistQoS());
  const rclcpp::Time first_sent = probe_->now();
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        autopilot->publish(Stamped(0.4, probe_->now() - rclcpp::Duration(200ms)));
        return !out.empty() && out.back().twist.linear.x == 0.4;
      }));
  EXPECT_GE(rclcpp::Time(out.back().header.stamp).nanoseconds(), first_sent.nanoseconds());
  EXPECT_EQ("base_footprint", out.back().header.frame_id);

  // Then only commands made 2 s ago, or with no stamp: none passes, none re-arms the
  // watchdog, so its zero follows one threshold (0.5 s) after the fresh one.
  out.clear();
  const auto stale_since = std::chrono::steady_clock::now();
  bool zero_stamp = false;
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        zero_stamp = !zero_stamp;
        builtin_interfaces::msg::Time stamp;  // zero
        if (!zero_stamp) {
          stamp = probe_->now() - rclcpp::Duration(2s);
        }
        autopilot->publish(Stamped(0.7, stamp));
        return !out.empty() && out.back().twist == TwistStamped().twist;
      }));
  const double elapsed = std::chrono::duration<double>(
    std::chrono::steady_clock::now() - stale_since).count();
  // Fresh commands still in flight may come first; a stale one never.
  for (const auto & msg : out) {
    EXPECT_NE(0.7, msg.twist.linear.x);
  }
  EXPECT_EQ(ControlMode::AUTOPILOT, modes_.back());
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        return Logged(
          Log::WARN,
          "Last message exceeds time threshold. Sending empty message to reset target command.");
      }));
  // Drops are reported at most once a second, with the age.
  const std::string drop_prefix = "Dropped a command on `/cmd_vel/autopilot` ";
  std::vector<std::string> drops;
  for (const auto & log : logs_) {
    if (log.level == Log::WARN && log.msg.rfind(drop_prefix, 0) == 0) {
      drops.push_back(log.msg);
    }
  }
  ASSERT_FALSE(drops.empty());
  EXPECT_LE(drops.size(), static_cast<size_t>(elapsed) + 1);
  const bool old = drops[0].find(" stamped 2.0") != std::string::npos;
  const bool unstamped = drops[0].find(" with a zero stamp ") != std::string::npos;
  EXPECT_TRUE(old || unstamped) << drops[0];
  EXPECT_NE(std::string::npos, drops[0].find("(max_age 0.3 s); ")) << drops[0];
}

TEST_F(StampedStopGraph, StampedInputsReachAPlainOutputDirectlyAndThroughTheLimiter)
{
  Start({"states.teleops.stamped:=true", "states.manual_mapping.stamped:=true"});
  std::vector<Twist> out;
  auto output = probe_->create_subscription<Twist>(
    "/cmd_vel", TwistQoS(), [&out](Twist::ConstSharedPtr msg) {out.push_back(*msg);});
  auto answer = Set(ControlMode::TELEOPS);
  ASSERT_TRUE(answer);
  ASSERT_TRUE(answer->success) << answer->message;
  // Without an age gate even an unstamped TwistStamped passes.
  auto teleops = probe_->create_publisher<TwistStamped>("/cmd_vel/teleops", TwistQoS());
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        teleops->publish(Stamped(0.2, builtin_interfaces::msg::Time()));
        return !out.empty() && out.back().linear.x == 0.2;
      }));

  // The limiter ramps the twist part (shipped bounds: 0.4 m/s, 0.5 m/s^2 at 20 Hz).
  answer = Set(ControlMode::MANUAL_MAPPING);
  ASSERT_TRUE(answer);
  ASSERT_TRUE(answer->success) << answer->message;
  out.clear();
  auto mapping = probe_->create_publisher<TwistStamped>("/cmd_vel/manual_mapping", TwistQoS());
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        mapping->publish(Stamped(0.3, probe_->now()));
        return !out.empty() && out.back().linear.x == 0.3;
      }));
  EXPECT_GT(out.front().linear.x, 0.0);
  EXPECT_LT(out.front().linear.x, 0.3);
  // No stop input configured: no stop state is announced.
  EXPECT_EQ(0u, probe_->count_publishers("/twist_arbiter/stopped"));
}

}  // namespace
