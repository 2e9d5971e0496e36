// Copyright 2026 The twist_arbiter authors.
//
// Cost of the limiter arithmetic, called once per received reference (LimitVelocity) and once
// per interpolation tick (LimitAcceleration, then IsTwistEqual). Target: at most 25 ns per call.
//
// Each operation is measured twice: as the free function with explicit bounds (BM_Free*), and as
// the member of a TwistLimiter built on a node (BM_Member*), which is what the tick really calls
// and adds one forwarding call.
//
// Run: bench_twist_limiter [--benchmark_repetitions=5]

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <memory>

#include "rclcpp/rclcpp.hpp"
#include "twist_arbiter/twist_arithmetic.hpp"
#include "twist_arbiter/twist_limiter.hpp"

namespace
{

using Twist = geometry_msgs::msg::Twist;

Twist MakeTwist(double lx, double ly, double lz, double ax, double ay, double az)
{
  Twist t;
  t.linear.x = lx;
  t.linear.y = ly;
  t.linear.z = lz;
  t.angular.x = ax;
  t.angular.y = ay;
  t.angular.z = az;
  return t;
}

// A few realistic commands, cycled so that no branch outcome is fixed for the whole run.
const std::array<Twist, 4> kInputs = {
  MakeTwist(0.8, 0.0, 0.0, 0.0, 0.0, 0.3),
  MakeTwist(2.5, -0.4, 0.0, 0.0, 0.0, -1.2),
  MakeTwist(0.0, 0.0, 0.0, 0.0, 0.0, 0.0),
  MakeTwist(-0.3, 0.1, 0.0, 0.0, 0.05, 2.0),
};

// The bounds both forms use.
constexpr double kMaxLinearVelocity = 1.0;
constexpr double kMaxAngularVelocity = 1.5;
constexpr double kMaxLinearAcceleration = 1.0;
constexpr double kMaxAngularAcceleration = 2.0;
constexpr double kRate = 30.0;

// Set up in main, after rclcpp::init; the timer stays cancelled, so nothing spins.
TwistLimiter * g_limiter = nullptr;

void BM_FreeLimitVelocity(benchmark::State & state)
{
  std::size_t i = 0;
  for (auto _ : state) {
    Twist result = twist_arithmetic::LimitVelocity(
      kInputs[i & 3], kMaxLinearVelocity, kMaxAngularVelocity);
    benchmark::DoNotOptimize(result);
    ++i;
  }
}
BENCHMARK(BM_FreeLimitVelocity);

void BM_MemberLimitVelocity(benchmark::State & state)
{
  const TwistLimiter & limiter = *g_limiter;
  std::size_t i = 0;
  for (auto _ : state) {
    Twist result = limiter.LimitVelocity(kInputs[i & 3]);
    benchmark::DoNotOptimize(result);
    ++i;
  }
}
BENCHMARK(BM_MemberLimitVelocity);

void BM_FreeLimitAcceleration(benchmark::State & state)
{
  // Ramp towards changing targets, as the interpolation tick does.
  Twist current;
  std::size_t i = 0;
  for (auto _ : state) {
    current = twist_arithmetic::LimitAcceleration(
      kInputs[(i >> 4) & 3], current, kMaxLinearAcceleration, kMaxAngularAcceleration, kRate);
    benchmark::DoNotOptimize(current);
    ++i;
  }
}
BENCHMARK(BM_FreeLimitAcceleration);

void BM_MemberLimitAcceleration(benchmark::State & state)
{
  const TwistLimiter & limiter = *g_limiter;
  Twist current;
  std::size_t i = 0;
  for (auto _ : state) {
    current = limiter.LimitAcceleration(kInputs[(i >> 4) & 3], current);
    benchmark::DoNotOptimize(current);
    ++i;
  }
}
BENCHMARK(BM_MemberLimitAcceleration);

void BM_FreeIsTwistEqual(benchmark::State & state)
{
  // Worst case for the early exit: equal twists, all six components compared.
  const Twist a = kInputs[1];
  Twist b = a;
  for (auto _ : state) {
    benchmark::DoNotOptimize(b);
    bool equal = twist_arithmetic::IsTwistEqual(a, b);
    benchmark::DoNotOptimize(equal);
  }
}
BENCHMARK(BM_FreeIsTwistEqual);

void BM_MemberIsTwistEqual(benchmark::State & state)
{
  const TwistLimiter & limiter = *g_limiter;
  const Twist a = kInputs[1];
  Twist b = a;
  for (auto _ : state) {
    benchmark::DoNotOptimize(b);
    bool equal = limiter.IsTwistEqual(a, b);
    benchmark::DoNotOptimize(equal);
  }
}
BENCHMARK(BM_MemberIsTwistEqual);

}  // namespace

int main(int argc, char ** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  rclcpp::init(argc, argv);
  {
    auto node = std::make_shared<rclcpp::Node>("bench_twist_limiter");
    TwistLimiter limiter(
      node.get(), [](std::shared_ptr<Twist>) {}, kMaxLinearVelocity, kMaxAngularVelocity,
      kMaxLinearAcceleration, kMaxAngularAcceleration, kRate);
    g_limiter = &limiter;
    benchmark::RunSpecifiedBenchmarks();
    g_limiter = nullptr;
  }
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
