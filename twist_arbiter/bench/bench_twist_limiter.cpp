// Copyright 2026 The twist_arbiter authors.
//
// Cost of the limiter arithmetic, called once per received reference (LimitVelocity) and once
// per interpolation tick (LimitAcceleration, then IsTwistEqual). Target: at most 25 ns per call.
//
// Run: bench_twist_limiter [--benchmark_repetitions=5]

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>

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

void BM_LimitVelocity(benchmark::State & state)
{
  std::size_t i = 0;
  for (auto _ : state) {
    Twist result = TwistLimiter::LimitVelocity(kInputs[i & 3], 1.0, 1.5);
    benchmark::DoNotOptimize(result);
    ++i;
  }
}
BENCHMARK(BM_LimitVelocity);

void BM_LimitAcceleration(benchmark::State & state)
{
  // Ramp towards changing targets, as the interpolation tick does.
  Twist current;
  std::size_t i = 0;
  for (auto _ : state) {
    current = TwistLimiter::LimitAcceleration(kInputs[(i >> 4) & 3], current, 1.0, 2.0, 30.0);
    benchmark::DoNotOptimize(current);
    ++i;
  }
}
BENCHMARK(BM_LimitAcceleration);

void BM_IsTwistEqual(benchmark::State & state)
{
  // Worst case for the early exit: equal twists, all six components compared.
  const Twist a = kInputs[1];
  Twist b = a;
  for (auto _ : state) {
    benchmark::DoNotOptimize(b);
    bool equal = TwistLimiter::IsTwistEqual(a, b);
    benchmark::DoNotOptimize(equal);
  }
}
BENCHMARK(BM_IsTwistEqual);

}  // namespace

BENCHMARK_MAIN();
