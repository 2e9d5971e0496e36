// Copyright 2026 The twist_arbiter authors.
//
// The age gate's arithmetic and the stop latch's states and texts, without a graph.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "twist_arbiter/age_gate.hpp"
#include "twist_arbiter/stop_latch.hpp"

using twist_arbiter::CheckStamp;
using twist_arbiter::StampVerdict;

namespace
{
constexpr int64_t kSecond = 1000000000;
constexpr int64_t kNow = 1000 * kSecond + kSecond / 2;  // node time 1000.5 s
constexpr int64_t kMaxAge = kSecond / 5;  // 0.2 s
}  // namespace

TEST(AgeGate, PastFutureZeroStampAndTheLimitItself)
{
  // Exactly max_age either way passes, one nanosecond more does not.
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(1000, 300000000, kNow, kMaxAge).verdict);
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(1000, 700000000, kNow, kMaxAge).verdict);
  auto check = CheckStamp(1000, 299999999, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kTooOld, check.verdict);
  EXPECT_EQ(kMaxAge + 1, check.age_ns);
  EXPECT_EQ(StampVerdict::kInFuture, CheckStamp(1000, 700000001, kNow, kMaxAge).verdict);

  check = CheckStamp(998, 266000000, kNow, kMaxAge);
  EXPECT_EQ("stamped 2.234 s ago", twist_arbiter::DescribeStamp(check));
  check = CheckStamp(1003, 500000000, kNow, kMaxAge);
  EXPECT_EQ("stamped 3.000 s in the future", twist_arbiter::DescribeStamp(check));
  // Zero is "never stamped" even when the node clock is near zero (simulated time).
  check = CheckStamp(0, 0, kSecond / 10, kMaxAge);
  EXPECT_EQ(StampVerdict::kZero, check.verdict);
  EXPECT_EQ("with a zero stamp", twist_arbiter::DescribeStamp(check));

  // Fields rclcpp::Time would throw on, and clocks at the end of the range, without overflow.
  constexpr auto kMinSec = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(StampVerdict::kTooOld, CheckStamp(kMinSec, 0, kNow, kMaxAge).verdict);
  check = CheckStamp(kMinSec, 0, std::numeric_limits<int64_t>::max(), kMaxAge);
  EXPECT_EQ(StampVerdict::kTooOld, check.verdict);
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), check.age_ns);
  EXPECT_EQ(290000000, twist_arbiter::MaxAgeNanoseconds(0.29));  // rounded, not truncated
}

// The texts themselves are checked where the node logs them (test_arbiter_graph).
TEST(StopLatch, EngagesOnTrueAndSilenceOnlyWhenReleasedAndKeepsTheNewestCause)
{
  twist_arbiter::StopLatch plain("/stop", 0.0);  // no heartbeat: starts released
  EXPECT_FALSE(plain.Receive(false));
  EXPECT_TRUE(plain.Receive(true));
  EXPECT_FALSE(plain.Receive(true));  // no second engagement, no second WARN
  EXPECT_TRUE(plain.Receive(false));
  EXPECT_FALSE(plain.engaged());

  twist_arbiter::StopLatch heartbeat("/stop", 0.5);  // starts engaged
  EXPECT_FALSE(heartbeat.HeartbeatExpired());
  EXPECT_TRUE(heartbeat.Receive(false));
  EXPECT_TRUE(heartbeat.HeartbeatExpired());
  EXPECT_EQ("Stop engaged on `/stop`: no message for 0.5 s.", heartbeat.EngagedText());
  // A press while engaged by silence names the button from then on.
  EXPECT_FALSE(heartbeat.Receive(true));
  EXPECT_EQ("Stop engaged on `/stop`: `true` received.", heartbeat.EngagedText());
}
