// Copyright 2026 The twist_arbiter authors.
//
// Costs of the controller's hot paths, each next to its reference in the same run:
//   BM_BarePublishToCallback   one publish reaching one subscription callback (host layer only)
//   BM_RelayDirectMode         input publish -> controller relay (publish + watchdog re-arm)
//                              -> output callback; the "added cost" is this minus the bare path
//   BM_ModeSwitchRoundTrip     one ~/set_control_mode request and its answer, alternating
//                              between two direct modes (subscription and watchdog rebuilt)
//   BM_BareStampedPublishToCallback  the bare path for TwistStamped: the larger message's own
//                              transport cost, apart from what the controller adds
//   BM_RelayStamped            BM_RelayDirectMode with TwistStamped in and out: the input's age
//                              gate on (stamp checked against the node clock), the output
//                              re-stamped at publication
//   BM_RelayStampedWithStop    the same with a stop input (heartbeat armed, stop released)
// The stamped relays are meant to stay within 1.1x of BM_RelayDirectMode in the same run.
// Everything runs on one single-threaded executor spun by the benchmark thread. The service
// handler logs two INFO lines per call; run with 2>/dev/null to keep the terminal out of it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <corvan_msgs/srv/set_control_mode.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <geometry_msgs/msg/twist_stamped.hpp>
#include <rclcpp/rclcpp.hpp>
#include <std_msgs/msg/bool.hpp>

#include "twist_arbiter/twist_arbiter_node.hpp"

namespace
{

using geometry_msgs::msg::Twist;
using geometry_msgs::msg::TwistStamped;
using SetSrv = corvan_msgs::srv::SetControlMode;

rclcpp::QoS CommandQoS()
{
  return rclcpp::SystemDefaultsQoS().keep_last(1).best_effort().durability_volatile();
}

/// The benchmark configuration, with @p extra added (optional parameters).
rclcpp::NodeOptions ArbiterOptions(const std::vector<rclcpp::Parameter> & extra)
{
  using V = rclcpp::ParameterValue;
  using Names = std::vector<std::string>;
  std::vector<rclcpp::Parameter> p = {
    {"states.manual.topic", V("/bench/in/manual")},
    {"states.manual.transitions_to", V(Names{"teleops"})},
    {"states.teleops.topic", V("/bench/in/teleops")},
    {"states.teleops.transitions_to", V(Names{"manual"})},
    {"states.manual_mapping.topic", V("/bench/in/manual_mapping")},
    {"states.manual_mapping.transitions_to", V(Names{})},
    {"states.manual_mapping.limiter.velocity.max_linear", V(1.0)},
    {"states.manual_mapping.limiter.velocity.max_angular", V(1.0)},
    {"states.manual_mapping.limiter.acceleration.max_linear", V(1.0)},
    {"states.manual_mapping.limiter.acceleration.max_angular", V(1.0)},
    {"states.manual_mapping.limiter.interpolation_rate", V(10.0)},
    {"states.autopilot.topic", V("/bench/in/autopilot")},
    {"states.autopilot.transitions_to", V(Names{})},
    {"states.docking.topic", V("/bench/in/docking")},
    {"states.docking.transitions_to", V(Names{})},
    {"states.user.topic", V("/bench/in/user")},
    {"states.user.transitions_to", V(Names{})},
    {"topics.out.twist", V("/bench/out/cmd_vel")},
    {"topics.out.control_mode", V("/bench/out/control_mode")},
    // Long enough never to run out during a measurement.
    {"timeout_threshold", V(600.0)},
  };
  p.insert(p.end(), extra.begin(), extra.end());
  rclcpp::NodeOptions options;
  options.parameter_overrides(p);
  return options;
}

/// Controller, driver node and executor, set up once per benchmark.
struct Rig
{
  explicit Rig(const std::vector<rclcpp::Parameter> & extra = {})
  : arbiter(std::make_shared<TwistArbiter>(ArbiterOptions(extra))),
    driver(std::make_shared<rclcpp::Node>("bench_driver"))
  {
    executor.add_node(arbiter);
    executor.add_node(driver);
    client = driver->create_client<SetSrv>("/twist_arbiter/set_control_mode");
  }

  ~Rig()
  {
    executor.remove_node(driver);
    executor.remove_node(arbiter);
  }

  bool SetMode(uint8_t mode)
  {
    auto request = std::make_shared<SetSrv::Request>();
    request->mode.mode = mode;
    auto future = client->async_send_request(request).future.share();
    if (executor.spin_until_future_complete(future, std::chrono::seconds(5)) !=
      rclcpp::FutureReturnCode::SUCCESS)
    {
      return false;
    }
    return future.get()->success;
  }

  /// Spins until @p counter reaches @p target (at most 5 s); false on timeout.
  bool SpinUntil(const size_t & counter, size_t target)
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (counter < target) {
      executor.spin_some();
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
    }
    return true;
  }

  std::shared_ptr<TwistArbiter> arbiter;
  rclcpp::Node::SharedPtr driver;
  rclcpp::executors::SingleThreadedExecutor executor;
  rclcpp::Client<SetSrv>::SharedPtr client;
};

/// Publishes @p cmd once per iteration on @p in_topic and spins until a message arrives on
/// @p out_topic. The bare path and the relays use this same loop, so their figures compare.
template<typename InT, typename OutT>
void MeasurePublishToCallback(
  benchmark::State & state, Rig & rig, const std::string & in_topic, const std::string & out_topic,
  const InT & cmd)
{
  size_t received = 0;
  auto sub = rig.driver->create_subscription<OutT>(
    out_topic, CommandQoS(), [&received](std::shared_ptr<const OutT>) {++received;});
  auto pub = rig.driver->create_publisher<InT>(in_topic, CommandQoS());
  for (auto _ : state) {
    const size_t before = received;
    pub->publish(cmd);
    if (!rig.SpinUntil(received, before + 1)) {
      state.SkipWithError("message lost");
      break;
    }
  }
}

Twist Command()
{
  Twist cmd;
  cmd.linear.x = 0.5;
  return cmd;
}

void BM_BarePublishToCallback(benchmark::State & state)
{
  Rig rig;
  MeasurePublishToCallback<Twist, Twist>(state, rig, "/bench/bare", "/bench/bare", Command());
}
BENCHMARK(BM_BarePublishToCallback);

void BM_BareStampedPublishToCallback(benchmark::State & state)
{
  Rig rig;
  TwistStamped cmd;
  cmd.header.stamp = rig.driver->now();
  cmd.header.frame_id = "base_link";
  cmd.twist = Command();
  MeasurePublishToCallback<TwistStamped, TwistStamped>(
    state, rig, "/bench/bare_stamped", "/bench/bare_stamped", cmd);
}
BENCHMARK(BM_BareStampedPublishToCallback);

void BM_RelayDirectMode(benchmark::State & state)
{
  Rig rig;
  if (!rig.SetMode(11)) {
    state.SkipWithError("could not set teleops");
    return;
  }
  MeasurePublishToCallback<Twist, Twist>(
    state, rig, "/bench/in/teleops", "/bench/out/cmd_vel", Command());
}
BENCHMARK(BM_RelayDirectMode);

/// Stamped output, teleops stamped with an age gate that a fixed stamp passes for the whole
/// run (the gate still reads the clock and compares), and with @p stop a released stop input
/// whose heartbeat is armed but never runs out during a measurement.
void MeasureStampedRelay(benchmark::State & state, bool stop)
{
  using V = rclcpp::ParameterValue;
  std::vector<rclcpp::Parameter> extra = {
    {"topics.out.stamped", V(true)},
    {"states.teleops.stamped", V(true)},
    {"states.teleops.max_age", V(600.0)},
  };
  if (stop) {
    extra.emplace_back("stop.topic", V("/bench/stop"));
    extra.emplace_back("stop.heartbeat", V(600.0));
  }
  Rig rig(extra);
  if (stop) {
    // The heartbeat engages the stop at start-up; one `false` releases it.
    bool released = false;
    auto stopped = rig.driver->create_subscription<std_msgs::msg::Bool>(
      "/twist_arbiter/stopped", rclcpp::QoS(1).reliable().transient_local(),
      [&released](std::shared_ptr<const std_msgs::msg::Bool> msg) {released = !msg->data;});
    auto button = rig.driver->create_publisher<std_msgs::msg::Bool>("/bench/stop", 10);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!released && std::chrono::steady_clock::now() < deadline) {
      button->publish(std_msgs::msg::Bool());
      rig.executor.spin_some();
    }
    if (!released) {
      state.SkipWithError("stop not released");
      return;
    }
  }
  if (!rig.SetMode(11)) {
    state.SkipWithError("could not set teleops");
    return;
  }
  TwistStamped cmd;
  cmd.header.stamp = rig.driver->now();
  cmd.header.frame_id = "base_link";
  cmd.twist = Command();
  MeasurePublishToCallback<TwistStamped, TwistStamped>(
    state, rig, "/bench/in/teleops", "/bench/out/cmd_vel", cmd);
}

void BM_RelayStamped(benchmark::State & state) {MeasureStampedRelay(state, false);}
BENCHMARK(BM_RelayStamped);

void BM_RelayStampedWithStop(benchmark::State & state) {MeasureStampedRelay(state, true);}
BENCHMARK(BM_RelayStampedWithStop);

void BM_ModeSwitchRoundTrip(benchmark::State & state)
{
  Rig rig;
  if (!rig.SetMode(10)) {
    state.SkipWithError("could not set manual");
    return;
  }
  uint8_t next = 11;
  for (auto _ : state) {
    if (!rig.SetMode(next)) {
      state.SkipWithError("switch refused or unanswered");
      break;
    }
    next = next == 11 ? 10 : 11;
  }
}
BENCHMARK(BM_ModeSwitchRoundTrip);

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
