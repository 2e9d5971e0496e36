// Copyright 2026 The twist_arbiter authors.
//
// Tells the controller's watchdog zero from a zero a source sent. The controller publishes one
// zero Twist when the current mode's input has been silent for its threshold; seen from outside
// that is a zero following non-zero output while the input has been quiet at least that long.

#ifndef TWIST_ARBITER__CTL__WATCHDOG_JUDGE_HPP_
#define TWIST_ARBITER__CTL__WATCHDOG_JUDGE_HPP_

#include <chrono>
#include <cstdint>
#include <optional>

#include <geometry_msgs/msg/twist.hpp>

namespace twist_arbiter_ctl
{

class WatchdogJudge
{
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  /// @p start counts as the last input: silence is only known from when watching began.
  WatchdogJudge(std::chrono::nanoseconds threshold, TimePoint start);

  /// A command arrived on the current mode's input topic.
  void OnInput(TimePoint t);

  /// The controller switched to @p mode; its watchdog starts counting afresh.
  void OnMode(uint8_t mode, TimePoint t);

  /// Feeds every output command in arrival order; true if this one is the watchdog's zero.
  bool OnOutput(const geometry_msgs::msg::Twist & twist, TimePoint t);

private:
  std::chrono::nanoseconds min_silence_;
  TimePoint last_input_;
  std::optional<uint8_t> mode_;
  bool last_output_nonzero_{false};
};

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__WATCHDOG_JUDGE_HPP_
