// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/age_gate.hpp"

#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace twist_arbiter
{

namespace
{

constexpr int64_t kNanosecondsPerSecond = 1000000000;

}  // namespace

int64_t StampNanoseconds(int32_t sec, uint32_t nanosec)
{
  // |sec| * 1e9 + nanosec stays below 2.2e18: no overflow whatever the fields hold.
  return static_cast<int64_t>(sec) * kNanosecondsPerSecond + static_cast<int64_t>(nanosec);
}

int64_t MaxAgeNanoseconds(double max_age)
{
  return std::llround(max_age * static_cast<double>(kNanosecondsPerSecond));
}

StampCheck CheckStamp(int32_t sec, uint32_t nanosec, int64_t now_ns, int64_t max_age_ns)
{
  if (sec == 0 && nanosec == 0) {
    return {StampVerdict::kZero, 0};
  }
  const int64_t stamp_ns = StampNanoseconds(sec, nanosec);
  int64_t age_ns = 0;
  if (__builtin_sub_overflow(now_ns, stamp_ns, &age_ns)) {
    // Only a clock near the ends of the int64 range gets here; such a stamp is far off anyway.
    age_ns = stamp_ns < 0 ?
      std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  if (age_ns > max_age_ns) {
    return {StampVerdict::kTooOld, age_ns};
  }
  // -max_age_ns cannot overflow: max_age_ns >= 0.
  if (age_ns < -max_age_ns) {
    return {StampVerdict::kInFuture, age_ns};
  }
  return {StampVerdict::kFresh, age_ns};
}

std::string DescribeStamp(const StampCheck & check)
{
  const double seconds = static_cast<double>(check.age_ns) / kNanosecondsPerSecond;
  switch (check.verdict) {
    case StampVerdict::kZero:
      return "with a zero stamp";
    case StampVerdict::kInFuture:
      return fmt::format("stamped {:.3f} s in the future", -seconds);
    case StampVerdict::kTooOld:
    case StampVerdict::kFresh:
      break;
  }
  return fmt::format("stamped {:.3f} s ago", seconds);
}

}  // namespace twist_arbiter
