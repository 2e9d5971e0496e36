// Copyright 2026 The twist_arbiter authors.
//
// Costs of the controller's hot paths, each next to its reference in the same run:
//   BM_BarePublishToCallback   one publish reaching one subscription callback (host layer only)
//   BM_RelayDirectMode         input publish -> controller relay (publish + watchdog re-arm)
//                              -> output callback; the "added cost" is this minus the bare path
//   BM_ModeSwitchRoundTrip     one ~/set_control_mode request and its answer, alternating
//                              between two direct modes (subscription and watchdog rebuilt)
// Everything runs on one single-threaded executor spun by the benchmark thread. The service
// handler logs two INFO lines per call; run with 2>/dev/null to keep the terminal out of it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <corvan_msgs/srv/set_control_mode.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <rclcpp/rclcpp.hpp>

#include "twist_arbiter/twist_arbiter_node.hpp"

namespace
{

using geometry_msgs::msg::Twist;
using SetSrv = corvan_msgs::srv::SetControlMode;

rclcpp::QoS CommandQoS()
{
  return rclcpp::SystemDefaultsQoS().keep_last(1).best_effort().durability_volatile();
}

rclcpp::NodeOptions ArbiterOptions()
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
  rclcpp::NodeOptions options;
  options.parameter_overrides(p);
  return options;
}

/// Controller, driver node and executor, set up once per benchmark.
struct Rig
{
  Rig()
  : arbiter(std::make_shared<TwistArbiter>(ArbiterOptions())),
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

/// Publishes one command per iteration on @p in_topic and spins until it arrives on
/// @p out_topic. The bare path and the relay use this same loop, so their figures compare.
void MeasurePublishToCallback(
  benchmark::State & state, Rig & rig, const std::string & in_topic, const std::string & out_topic)
{
  size_t received = 0;
  auto sub = rig.driver->create_subscription<Twist>(
    out_topic, CommandQoS(), [&received](std::shared_ptr<const Twist>) {++received;});
  auto pub = rig.driver->create_publisher<Twist>(in_topic, CommandQoS());
  Twist cmd;
  cmd.linear.x = 0.5;
  for (auto _ : state) {
    const size_t before = received;
    pub->publish(cmd);
    if (!rig.SpinUntil(received, before + 1)) {
      state.SkipWithError("message lost");
      break;
    }
  }
}

void BM_BarePublishToCallback(benchmark::State & state)
{
  Rig rig;
  MeasurePublishToCallback(state, rig, "/bench/bare", "/bench/bare");
}
BENCHMARK(BM_BarePublishToCallback);

void BM_RelayDirectMode(benchmark::State & state)
{
  Rig rig;
  if (!rig.SetMode(11)) {
    state.SkipWithError("could not set teleops");
    return;
  }
  MeasurePublishToCallback(state, rig, "/bench/in/teleops", "/bench/out/cmd_vel");
}
BENCHMARK(BM_RelayDirectMode);

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
