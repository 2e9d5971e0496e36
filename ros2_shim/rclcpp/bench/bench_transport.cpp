// Speed of the DDS transport within one process, and of the executor:
//  - publish-to-callback latency of a Twist through a SingleThreadedExecutor, both in the
//    publishing thread (publish, then spin_some) and across threads (a spinning executor);
//  - wall-timer create + destroy;
//  - service round trip (async_send_request + spin_until_future_complete).
// Latency benchmarks report the median of the individual samples as the counter median_us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/twist.hpp"
#include "rcl_interfaces/srv/get_parameter_types.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using Clock = std::chrono::steady_clock;
using Twist = geometry_msgs::msg::Twist;

struct RclcppSession
{
  RclcppSession()
  {
    if (!rclcpp::ok()) {
      rclcpp::init(0, nullptr);
    }
  }
};

double median_us(std::vector<double> & samples_ns)
{
  if (samples_ns.empty()) {
    return 0.0;
  }
  auto middle = samples_ns.begin() + static_cast<std::ptrdiff_t>(samples_ns.size() / 2);
  std::nth_element(samples_ns.begin(), middle, samples_ns.end());
  return *middle / 1000.0;
}

rclcpp::NodeOptions bench_options()
{
  return rclcpp::NodeOptions().start_parameter_event_publisher(false)
         .start_parameter_services(false);
}

void BM_PublishToCallback_SameThread(benchmark::State & state)
{
  RclcppSession session;
  auto node = std::make_shared<rclcpp::Node>("bench_pub_sub", bench_options());
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  Clock::time_point received;
  double sink = 0.0;
  auto sub = node->create_subscription<Twist>(
    "cmd_vel", 10, [&](Twist::ConstSharedPtr msg) {
      received = Clock::now();
      sink += msg->linear.x;
    });
  auto pub = node->create_publisher<Twist>("cmd_vel", 10);
  Twist msg;
  std::vector<double> samples;
  samples.reserve(1 << 20);
  for (auto _ : state) {
    msg.linear.x += 1.0;
    const auto start = Clock::now();
    pub->publish(msg);
    executor.spin_some();
    samples.push_back(std::chrono::duration<double, std::nano>(received - start).count());
  }
  benchmark::DoNotOptimize(sink);
  state.counters["median_us"] = median_us(samples);
}
BENCHMARK(BM_PublishToCallback_SameThread);

void BM_PublishToCallback_CrossThread(benchmark::State & state)
{
  RclcppSession session;
  auto node = std::make_shared<rclcpp::Node>("bench_cross", bench_options());
  auto executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  executor->add_node(node);
  std::atomic<int64_t> received_ns{0};
  auto sub = node->create_subscription<Twist>(
    "cmd_vel_x", 10, [&](Twist::ConstSharedPtr) {
      received_ns.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
    });
  auto pub = node->create_publisher<Twist>("cmd_vel_x", 10);
  std::thread spinner([executor] {executor->spin();});
  Twist msg;
  std::vector<double> samples;
  samples.reserve(1 << 20);
  for (auto _ : state) {
    received_ns.store(0, std::memory_order_release);
    const auto start = Clock::now();
    pub->publish(msg);
    int64_t got = 0;
    while ((got = received_ns.load(std::memory_order_acquire)) == 0) {
    }
    samples.push_back(static_cast<double>(got - start.time_since_epoch().count()));
  }
  executor->cancel();
  spinner.join();
  state.counters["median_us"] = median_us(samples);
}
BENCHMARK(BM_PublishToCallback_CrossThread)->UseRealTime();

void BM_WallTimerCreateDestroy(benchmark::State & state)
{
  RclcppSession session;
  auto node = std::make_shared<rclcpp::Node>("bench_timer", bench_options());
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  for (auto _ : state) {
    auto timer = node->create_wall_timer(std::chrono::seconds(1), [] {});
    benchmark::DoNotOptimize(timer);
  }
}
BENCHMARK(BM_WallTimerCreateDestroy);

void BM_ServiceRoundTrip(benchmark::State & state)
{
  using Srv = rcl_interfaces::srv::GetParameterTypes;
  RclcppSession session;
  auto node = std::make_shared<rclcpp::Node>("bench_srv", bench_options());
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  auto service = node->create_service<Srv>(
    "types", [](const std::shared_ptr<Srv::Request> request, std::shared_ptr<Srv::Response> response) {
      response->types.assign(request->names.size(), 1);
    });
  auto client = node->create_client<Srv>("types");
  client->wait_for_service(std::chrono::seconds(1));
  auto request = std::make_shared<Srv::Request>();
  request->names = {"a", "b"};
  std::vector<double> samples;
  samples.reserve(1 << 20);
  for (auto _ : state) {
    const auto start = Clock::now();
    auto future = client->async_send_request(request);
    if (executor.spin_until_future_complete(future) != rclcpp::FutureReturnCode::SUCCESS) {
      state.SkipWithError("service call failed");
      break;
    }
    benchmark::DoNotOptimize(future.get());
    samples.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
  }
  state.counters["median_us"] = median_us(samples);
}
BENCHMARK(BM_ServiceRoundTrip);

}  // namespace

int main(int argc, char ** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
