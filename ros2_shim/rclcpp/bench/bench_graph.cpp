// Speed and cost of the host layer between processes, over the middleware on loopback:
//  - one-hop relay: a source process publishes stamped Twists at a fixed rate, a bare relay
//    process republishes them, and this process receives them. Reports the latency percentiles
//    (source stamp to reception), the relay's CPU use in percent of one core, and the samples lost;
//  - service round trip to a server in another process.
//
// The same program plays the other roles when started with --role=relay|source|server; the
// benchmark starts them itself. Run it with ROS_LOCALHOST_ONLY=1 and a ROS_DOMAIN_ID of its own.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/twist_stamped.hpp"
#include "rcl_interfaces/srv/get_parameter_types.hpp"
#include "rclcpp/rclcpp.hpp"

extern char ** environ;

namespace
{

using namespace std::chrono_literals;
using TwistStamped = geometry_msgs::msg::TwistStamped;
using GetParameterTypes = rcl_interfaces::srv::GetParameterTypes;

constexpr char kIn[] = "/bench_graph/in";
constexpr char kOut[] = "/bench_graph/out";
constexpr char kService[] = "/bench_graph/service";

rclcpp::NodeOptions quiet_options()
{
  return rclcpp::NodeOptions().start_parameter_event_publisher(false)
         .start_parameter_services(false).enable_rosout(false);
}

int64_t now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------------------------
// The roles of the other processes.

int run_relay()
{
  auto node = std::make_shared<rclcpp::Node>("bench_relay", quiet_options());
  auto pub = node->create_publisher<TwistStamped>(kOut, 10);
  auto sub = node->create_subscription<TwistStamped>(
    kIn, 10, [&pub](TwistStamped::UniquePtr msg) {pub->publish(std::move(msg));});
  rclcpp::spin(node);
  return 0;
}

int run_source(double rate, double seconds)
{
  auto node = std::make_shared<rclcpp::Node>("bench_source", quiet_options());
  auto pub = node->create_publisher<TwistStamped>(kIn, 10);
  // Wait until the relay has matched, and the relay's output has a subscriber (the benchmark).
  while (rclcpp::ok() && (pub->get_subscription_count() == 0 || node->count_subscribers(kOut) == 0)) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(500ms);  // let the relay's writer match the benchmark's reader
  const auto period = std::chrono::nanoseconds(static_cast<int64_t>(1e9 / rate));
  const auto count = static_cast<int64_t>(rate * seconds);
  auto next = std::chrono::steady_clock::now();
  TwistStamped msg;
  for (int64_t i = 0; i < count && rclcpp::ok(); ++i) {
    next += period;
    std::this_thread::sleep_until(next);
    const int64_t t = now_ns();
    msg.header.stamp.sec = static_cast<int32_t>(t / 1000000000);
    msg.header.stamp.nanosec = static_cast<uint32_t>(t % 1000000000);
    msg.twist.linear.x = static_cast<double>(i);
    pub->publish(msg);
  }
  std::this_thread::sleep_for(200ms);
  return 0;
}

int run_server()
{
  auto node = std::make_shared<rclcpp::Node>("bench_server", quiet_options());
  auto service = node->create_service<GetParameterTypes>(
    kService,
    [](const std::shared_ptr<GetParameterTypes::Request> request,
    std::shared_ptr<GetParameterTypes::Response> response) {
      response->types.assign(request->names.size(), 3);
    });
  rclcpp::spin(node);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Child processes and their CPU time.

class Child
{
public:
  explicit Child(const std::vector<std::string> & args)
  {
    std::vector<std::string> strings = {"/proc/self/exe"};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto & s : strings) {
      argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);
    ok_ = posix_spawn(&pid_, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) == 0;
  }

  ~Child()
  {
    if (ok_) {
      kill(pid_, SIGINT);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }

  bool ok() const {return ok_;}

  /// True once the child has exited; checks at least once, then until @p timeout.
  bool wait_exit(std::chrono::seconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ok_ = false;
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      std::this_thread::sleep_for(10ms);
    }
  }

  /// User plus system CPU time so far, in seconds.
  double cpu_seconds() const
  {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
      return 0.0;
    }
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;  // NOLINT
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) {
        utime = std::stoull(field);
      } else if (i == 15) {
        stime = std::stoull(field);
      }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

private:
  pid_t pid_{0};
  bool ok_{false};
};

double percentile_us(std::vector<int64_t> samples, double p)
{
  if (samples.empty()) {
    return 0.0;
  }
  const auto index = static_cast<size_t>(p * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index), samples.end());
  return static_cast<double>(samples[index]) / 1000.0;
}

struct Session
{
  Session()
  {
    if (!rclcpp::ok()) {
      rclcpp::init(0, nullptr);
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Benchmarks.

void BM_RelayOneHop(benchmark::State & state)
{
  Session session;
  const double rate = static_cast<double>(state.range(0));
  const double seconds = 10.0;
  for (auto _ : state) {
    auto node = std::make_shared<rclcpp::Node>("bench_sink", quiet_options());
    std::vector<int64_t> latencies;
    latencies.reserve(static_cast<size_t>(rate * seconds));
    auto sub = node->create_subscription<TwistStamped>(
      kOut, 10, [&latencies](TwistStamped::ConstSharedPtr msg) {
        const int64_t sent = static_cast<int64_t>(msg->header.stamp.sec) * 1000000000 +
        msg->header.stamp.nanosec;
        latencies.push_back(now_ns() - sent);
      });
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);

    const auto spin_until = [&executor](const std::function<bool()> & done) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!done() && rclcpp::ok() && std::chrono::steady_clock::now() < deadline) {
          executor.spin_once(10ms);
        }
        return done();
      };
    Child relay({"--role=relay"});
    if (!spin_until([&] {return sub->get_publisher_count() > 0;})) {
      state.SkipWithError("the relay did not appear");
      return;
    }
    Child source({"--role=source", std::to_string(rate), std::to_string(seconds)});
    // The relay's CPU is measured over the source's sending window.
    if (!spin_until([&] {return !latencies.empty();})) {
      state.SkipWithError("nothing came through the relay");
      return;
    }
    const double cpu_start = relay.cpu_seconds();
    const auto wall_start = std::chrono::steady_clock::now();
    while (!source.wait_exit(0s)) {
      executor.spin_once(10ms);
    }
    const double cpu = relay.cpu_seconds() - cpu_start;
    const double wall = std::chrono::duration<double>(
      std::chrono::steady_clock::now() - wall_start).count();
    const auto drain = std::chrono::steady_clock::now() + 500ms;
    while (std::chrono::steady_clock::now() < drain) {
      executor.spin_once(10ms);
    }
    state.SetIterationTime(wall);
    state.counters["p50_us"] = percentile_us(latencies, 0.50);
    state.counters["p90_us"] = percentile_us(latencies, 0.90);
    state.counters["p99_us"] = percentile_us(latencies, 0.99);
    state.counters["relay_cpu_pct"] = 100.0 * cpu / wall;
    state.counters["received"] = static_cast<double>(latencies.size());
    state.counters["lost"] = rate * seconds - static_cast<double>(latencies.size());
  }
}
BENCHMARK(BM_RelayOneHop)->Arg(100)->Arg(1000)->Iterations(1)->UseManualTime()
->Unit(benchmark::kSecond);

void BM_ServiceRoundTripAcrossProcesses(benchmark::State & state)
{
  Session session;
  auto node = std::make_shared<rclcpp::Node>("bench_client", quiet_options());
  auto client = node->create_client<GetParameterTypes>(kService);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  Child server({"--role=server"});
  if (!client->wait_for_service(30s)) {
    state.SkipWithError("no server");
    return;
  }
  auto request = std::make_shared<GetParameterTypes::Request>();
  request->names = {"a"};
  std::vector<int64_t> samples;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto future = client->async_send_request(request);
    if (executor.spin_until_future_complete(future, 5s) != rclcpp::FutureReturnCode::SUCCESS) {
      state.SkipWithError("no answer");
      return;
    }
    samples.push_back((std::chrono::steady_clock::now() - start).count());
  }
  state.counters["median_us"] = percentile_us(samples, 0.5);
}
BENCHMARK(BM_ServiceRoundTripAcrossProcesses)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char ** argv)
{
  if (argc >= 2 && std::strncmp(argv[1], "--role=", 7) == 0) {
    const std::string role = argv[1] + 7;
    rclcpp::init(argc, argv);
    int status = 2;
    if (role == "relay") {
      status = run_relay();
    } else if (role == "source" && argc >= 4) {
      status = run_source(std::atof(argv[2]), std::atof(argv[3]));
    } else if (role == "server") {
      status = run_server();
    }
    rclcpp::shutdown();
    return status;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
