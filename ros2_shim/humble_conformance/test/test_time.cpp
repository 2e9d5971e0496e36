// Time, Duration and Clock arithmetic and conversions, and interruptible sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <stdexcept>
#include <thread>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/time.hpp"

using namespace std::chrono_literals;

TEST(TimeTest, construction_conversion_and_arithmetic)
{
  rclcpp::Time t(5, 250000000u, RCL_ROS_TIME);
  EXPECT_EQ(t.nanoseconds(), 5250000000);
  EXPECT_DOUBLE_EQ(t.seconds(), 5.25);
  EXPECT_EQ(t.get_clock_type(), RCL_ROS_TIME);

  builtin_interfaces::msg::Time msg = t;
  EXPECT_EQ(msg.sec, 5);
  EXPECT_EQ(msg.nanosec, 250000000u);
  EXPECT_EQ(rclcpp::Time(msg), t);
  EXPECT_THROW(rclcpp::Time(-1, 0), std::runtime_error);

  const rclcpp::Duration d = 1500ms;
  EXPECT_EQ((t + d).nanoseconds(), 6750000000);
  EXPECT_EQ((t - d).nanoseconds(), 3750000000);
  EXPECT_EQ((t + d) - t, d);
  EXPECT_TRUE(t < t + d);

  // Mixing clock types is refused rather than silently compared.
  rclcpp::Time steady(1, 0, RCL_STEADY_TIME);
  EXPECT_THROW((void)(t < steady), std::runtime_error);
  EXPECT_THROW(t - steady, std::runtime_error);

  EXPECT_THROW(
    rclcpp::Time(std::numeric_limits<int64_t>::max(), RCL_ROS_TIME) + rclcpp::Duration(1s),
    std::overflow_error);
}

TEST(TimeTest, durations)
{
  EXPECT_EQ(rclcpp::Duration(1, 500000000u).nanoseconds(), 1500000000);
  EXPECT_EQ(rclcpp::Duration::from_seconds(0.25).nanoseconds(), 250000000);
  EXPECT_EQ(rclcpp::Duration(2s).to_chrono<std::chrono::milliseconds>(), 2000ms);
  EXPECT_EQ((rclcpp::Duration(1s) * 2.5).nanoseconds(), 2500000000);
  EXPECT_EQ((rclcpp::Duration(3s) - rclcpp::Duration(5s)).nanoseconds(), -2000000000);
  EXPECT_DOUBLE_EQ(rclcpp::Duration(-750ms).seconds(), -0.75);

  // Negative durations keep a non-negative nanosec field in the message.
  builtin_interfaces::msg::Duration msg = rclcpp::Duration(-1500ms);
  EXPECT_EQ(msg.sec, -2);
  EXPECT_EQ(msg.nanosec, 500000000u);
  EXPECT_EQ(rclcpp::Duration(msg).nanoseconds(), -1500000000);
  EXPECT_THROW(rclcpp::Duration(1s) * std::numeric_limits<double>::infinity(), std::runtime_error);
}

TEST(TimeTest, clocks_and_interruptible_sleeps)
{
  rclcpp::Clock system;
  rclcpp::Clock steady(RCL_STEADY_TIME);
  EXPECT_EQ(system.get_clock_type(), RCL_SYSTEM_TIME);
  EXPECT_EQ(steady.now().get_clock_type(), RCL_STEADY_TIME);
  const auto wall = std::chrono::system_clock::now().time_since_epoch();
  EXPECT_NEAR(
    system.now().seconds(), std::chrono::duration<double>(wall).count(), 5.0);
  const rclcpp::Time before = steady.now();
  EXPECT_LE(before, steady.now());

  auto context = std::make_shared<rclcpp::Context>();
  context->init(0, nullptr);
  EXPECT_TRUE(steady.sleep_for(rclcpp::Duration(1ms), context));
  EXPECT_TRUE(context->sleep_for(1ms));

  // Shutdown from another thread ends a long sleep early.
  std::thread stopper([context] {
      std::this_thread::sleep_for(50ms);
      context->shutdown("test done");
    });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(steady.sleep_for(rclcpp::Duration(30s), context));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  stopper.join();
  EXPECT_EQ(context->shutdown_reason(), "test done");
  EXPECT_FALSE(context->sleep_for(1ms));
  EXPECT_THROW(steady.sleep_for(rclcpp::Duration(1ms), context), std::runtime_error);
}
