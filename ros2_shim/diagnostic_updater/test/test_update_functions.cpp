// The ready-made tasks: frequency bounds, timestamp delays and the heartbeat.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "diagnostic_updater/publisher.hpp"
#include "diagnostic_updater/update_functions.hpp"

using diagnostic_updater::DiagnosticStatusWrapper;

namespace
{

std::string value_of(const DiagnosticStatusWrapper & stat, const std::string & key)
{
  for (const auto & kv : stat.values) {
    if (kv.key == key) {
      return kv.value;
    }
  }
  return "<missing>";
}

TEST(UpdateFunctions, FrequencyStatusJudgesTheEventRateOverItsWindow)
{
  // A manually driven ROS clock is not needed: the judgement only depends on event counts
  // against bounds that are wide compared with the real time the test takes.
  double min_freq = 0.0;
  double max_freq = std::numeric_limits<double>::infinity();
  diagnostic_updater::FrequencyStatus freq(
    diagnostic_updater::FrequencyStatusParam(&min_freq, &max_freq), "Rate");
  EXPECT_EQ(freq.getName(), "Rate");

  DiagnosticStatusWrapper none;
  freq.run(none);
  EXPECT_EQ(none.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(none.message, "No events recorded.");

  freq.tick();
  freq.tick();
  DiagnosticStatusWrapper some;
  freq.run(some);
  EXPECT_EQ(some.level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(some.message, "Desired frequency met");
  EXPECT_EQ(value_of(some, "Events in window"), "2");
  EXPECT_EQ(value_of(some, "Events since startup"), "2");
  EXPECT_EQ(value_of(some, "Maximum acceptable frequency (Hz)"), "<missing>");

  // Bounds are read through the pointers at every run.
  min_freq = 1e9;
  max_freq = 1e9;
  freq.tick();
  DiagnosticStatusWrapper low;
  freq.run(low);
  EXPECT_EQ(low.level, DiagnosticStatusWrapper::WARN);
  EXPECT_EQ(low.message, "Frequency too low.");
  EXPECT_NE(value_of(low, "Target frequency (Hz)"), "<missing>");

  min_freq = 0.0;
  max_freq = 1e-9;
  freq.clear();
  freq.tick();
  DiagnosticStatusWrapper high;
  freq.run(high);
  EXPECT_EQ(high.level, DiagnosticStatusWrapper::WARN);
  EXPECT_EQ(high.message, "Frequency too high.");
}

TEST(UpdateFunctions, TimeStampStatusFlagsLateEarlyAndZeroStamps)
{
  auto clock = std::make_shared<rclcpp::Clock>();
  diagnostic_updater::TimeStampStatus ts(diagnostic_updater::TimeStampStatusParam(-1, 5), clock);
  EXPECT_EQ(ts.getName(), "Timestamp Status");

  DiagnosticStatusWrapper idle;
  ts.run(idle);
  EXPECT_EQ(idle.level, DiagnosticStatusWrapper::WARN);
  EXPECT_EQ(idle.message, "No data since last update.");

  ts.tick(clock->now());
  DiagnosticStatusWrapper fine;
  ts.run(fine);
  EXPECT_EQ(fine.level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(fine.message, "Timestamps are reasonable.");

  ts.tick(clock->now().seconds() - 60.0);
  DiagnosticStatusWrapper late;
  ts.run(late);
  EXPECT_EQ(late.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(late.message, "Timestamps too far in past seen.");
  EXPECT_EQ(value_of(late, "Late diagnostic update count:"), "1");

  ts.tick(clock->now().seconds() + 60.0);
  DiagnosticStatusWrapper early;
  ts.run(early);
  EXPECT_EQ(early.message, "Timestamps too far in future seen.");
  EXPECT_EQ(value_of(early, "Early diagnostic update count:"), "1");

  ts.tick(clock->now());
  ts.tick(0.0);
  DiagnosticStatusWrapper zero;
  ts.run(zero);
  EXPECT_EQ(zero.message, "Zero timestamp seen.");
  EXPECT_EQ(value_of(zero, "Zero seen diagnostic update count:"), "1");
}

TEST(UpdateFunctions, HeartbeatIsAlwaysAlive)
{
  diagnostic_updater::Heartbeat heartbeat;
  DiagnosticStatusWrapper stat;
  stat.summary(DiagnosticStatusWrapper::ERROR, "preset");
  heartbeat.run(stat);
  EXPECT_EQ(heartbeat.getName(), "Heartbeat");
  EXPECT_EQ(stat.level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(stat.message, "Alive");
}

TEST(UpdateFunctions, TopicDiagnosticsReportThroughTheUpdater)
{
  rclcpp::init(0, nullptr);
  {
    using diagnostic_msgs::msg::DiagnosticArray;
    auto node = std::make_shared<rclcpp::Node>("topic_probe");
    std::vector<DiagnosticArray> arrays;
    auto sub = node->create_subscription<DiagnosticArray>(
      "/diagnostics", 20, [&arrays](const DiagnosticArray & msg) {arrays.push_back(msg);});
    diagnostic_updater::Updater updater(node, 30.0);
    updater.setHardwareID("none");

    double min_freq = 0.0;
    double max_freq = std::numeric_limits<double>::infinity();
    diagnostic_updater::HeaderlessTopicDiagnostic silent(
      "silent", updater, diagnostic_updater::FrequencyStatusParam(&min_freq, &max_freq));
    auto pub = node->create_publisher<DiagnosticArray>("stamped", 10);
    diagnostic_updater::DiagnosedPublisher<DiagnosticArray> diagnosed(
      pub, updater, diagnostic_updater::FrequencyStatusParam(&min_freq, &max_freq),
      diagnostic_updater::TimeStampStatusParam());
    EXPECT_EQ(diagnosed.getPublisher(), pub);

    DiagnosticArray stamped;
    stamped.header.stamp = node->now();
    diagnosed.publish(stamped);
    updater.force_update();

    rclcpp::executors::SingleThreadedExecutor exec;
    exec.add_node(node);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (arrays.size() < 3 && std::chrono::steady_clock::now() < deadline) {
      exec.spin_once(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(arrays.size(), 3u);  // two start-up statuses, one update
    const auto & update = arrays[2];
    ASSERT_EQ(update.status.size(), 2u);
    EXPECT_EQ(update.status[0].name, "topic_probe: silent topic status");
    EXPECT_EQ(update.status[0].level, DiagnosticStatusWrapper::ERROR);
    EXPECT_EQ(update.status[0].message, "No events recorded.");
    EXPECT_EQ(update.status[1].name, "topic_probe: /stamped topic status");
    EXPECT_EQ(update.status[1].level, DiagnosticStatusWrapper::OK);
    bool has_delay = false;
    for (const auto & kv : update.status[1].values) {
      has_delay = has_delay || kv.key == "Earliest timestamp delay:";
    }
    EXPECT_TRUE(has_delay);
    exec.remove_node(node);
  }
  rclcpp::shutdown();
}

}  // namespace
