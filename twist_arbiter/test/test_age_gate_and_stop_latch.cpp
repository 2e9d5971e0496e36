// Copyright 2026 The twist_arbiter authors.
//
// The age gate's arithmetic and the stop latch's states and texts, without a graph.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "twist_arbiter/age_gate.hpp"
#include "twist_arbiter/stop_latch.hpp"

namespace
{

using twist_arbiter::CheckStamp;
using twist_arbiter::DescribeStamp;
using twist_arbiter::StampVerdict;
using twist_arbiter::StopLatch;

constexpr int64_t kSecond = 1000000000;
// Node time 1000.5 s; a stamp is given as (sec, nanosec) like builtin_interfaces/msg/Time.
constexpr int64_t kNow = 1000 * kSecond + kSecond / 2;
constexpr int64_t kMaxAge = kSecond / 5;  // 0.2 s

TEST(AgeGate, PastFutureZeroAndTheLimitItself)
{
  // 0.1 s old and 0.1 s ahead: fresh, with the signed age.
  auto check = CheckStamp(1000, 400000000, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kFresh, check.verdict);
  EXPECT_EQ(kSecond / 10, check.age_ns);
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(1000, 600000000, kNow, kMaxAge).verdict);

  // Exactly at the limit either way is still fresh; one nanosecond beyond is not.
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(1000, 300000000, kNow, kMaxAge).verdict);
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(1000, 700000000, kNow, kMaxAge).verdict);
  check = CheckStamp(1000, 299999999, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kTooOld, check.verdict);
  EXPECT_EQ(kMaxAge + 1, check.age_ns);
  check = CheckStamp(1000, 700000001, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kInFuture, check.verdict);
  EXPECT_EQ(-kMaxAge - 1, check.age_ns);

  // A burst delivered late; a clock far ahead.
  check = CheckStamp(998, 266000000, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kTooOld, check.verdict);
  EXPECT_EQ("stamped 2.234 s ago", DescribeStamp(check));
  check = CheckStamp(1003, 500000000, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kInFuture, check.verdict);
  EXPECT_EQ("stamped 3.000 s in the future", DescribeStamp(check));

  // Zero means never stamped, even where node time is near zero (a fresh simulation clock).
  check = CheckStamp(0, 0, kNow, kMaxAge);
  EXPECT_EQ(StampVerdict::kZero, check.verdict);
  EXPECT_EQ("with a zero stamp", DescribeStamp(check));
  EXPECT_EQ(StampVerdict::kZero, CheckStamp(0, 0, kSecond / 10, kMaxAge).verdict);
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(0, 1, kSecond / 10, kMaxAge).verdict);
}

TEST(AgeGate, AbsurdFieldsAreJudgedWithoutOverflow)
{
  // Negative seconds (rclcpp::Time would throw on them) and nanosec beyond one second.
  EXPECT_EQ(
    StampVerdict::kTooOld,
    CheckStamp(std::numeric_limits<int32_t>::min(), 0, kNow, kMaxAge).verdict);
  EXPECT_EQ(-3 * kSecond + 5, twist_arbiter::StampNanoseconds(-3, 5));
  EXPECT_EQ(
    StampVerdict::kInFuture,
    CheckStamp(std::numeric_limits<int32_t>::max(), 4294967295u, kNow, kMaxAge).verdict);
  EXPECT_EQ(StampVerdict::kFresh, CheckStamp(999, 1400000000, kNow, kMaxAge).verdict);
  // A clock at the end of the range: the difference saturates instead of wrapping.
  const auto check = CheckStamp(
    std::numeric_limits<int32_t>::min(), 0, std::numeric_limits<int64_t>::max(), kMaxAge);
  EXPECT_EQ(StampVerdict::kTooOld, check.verdict);
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), check.age_ns);
  // Seconds are rounded to the nearest nanosecond: 0.29 s is not 289999999 ns.
  EXPECT_EQ(290000000, twist_arbiter::MaxAgeNanoseconds(0.29));
}

TEST(StopLatch, WithoutHeartbeatOnlyTheMessagesCount)
{
  StopLatch latch("/robot/stop", 0.0);
  EXPECT_FALSE(latch.engaged());
  EXPECT_FALSE(latch.Receive(false));
  EXPECT_TRUE(latch.Receive(true));
  EXPECT_TRUE(latch.engaged());
  EXPECT_EQ("Stop engaged on `/robot/stop`: `true` received.", latch.EngagedText());
  EXPECT_EQ(
    "Stop engaged on `/robot/stop`: `true` received. Control mode `teleops` reset to none.",
    latch.EngagedText("teleops"));
  EXPECT_EQ(
    "Refused while the stop is engaged on `/robot/stop` (`true` received); publish `false` "
    "there to release it.", latch.RefusalText());
  EXPECT_FALSE(latch.Receive(true));  // already engaged: no second engagement
  EXPECT_TRUE(latch.Receive(false));
  EXPECT_FALSE(latch.engaged());
  EXPECT_EQ(
    "Stop released on `/robot/stop`: `false` received. No control mode resumed; set one to "
    "drive.", latch.ReleasedText());
}

TEST(StopLatch, WithHeartbeatStartsEngagedAndSilenceEngagesAgain)
{
  StopLatch latch("/stop", 0.5);
  ASSERT_TRUE(latch.engaged());
  EXPECT_EQ("Stop engaged on `/stop`: no `false` received since start-up.", latch.EngagedText());
  // Silence while engaged changes nothing; `true` does not release.
  EXPECT_FALSE(latch.HeartbeatExpired());
  EXPECT_FALSE(latch.Receive(true));
  EXPECT_TRUE(latch.engaged());
  EXPECT_TRUE(latch.Receive(false));

  EXPECT_TRUE(latch.HeartbeatExpired());
  EXPECT_TRUE(latch.engaged());
  EXPECT_EQ("Stop engaged on `/stop`: no message for 0.5 s.", latch.EngagedText());
  // The button pressed while the link was thought dead: the refusal names the button now.
  EXPECT_FALSE(latch.Receive(true));
  EXPECT_NE(std::string::npos, latch.RefusalText().find("(`true` received)"));
  EXPECT_TRUE(latch.Receive(false));
  EXPECT_FALSE(latch.engaged());
}

}  // namespace
