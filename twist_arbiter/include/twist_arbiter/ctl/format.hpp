// Copyright 2026 The twist_arbiter authors.
//
// The lines twist_arbiter_ctl prints, as plain functions of their data.

#ifndef TWIST_ARBITER__CTL__FORMAT_HPP_
#define TWIST_ARBITER__CTL__FORMAT_HPP_

#include <cstdint>
#include <optional>
#include <string>

#include <geometry_msgs/msg/twist.hpp>

namespace twist_arbiter_ctl
{

/// What `status` reports about a controller.
struct StatusInfo
{
  std::string controller;      // fully qualified node name
  uint8_t mode{0};
  std::string input_topic;     // resolved; empty for "none"
  std::string output_topic;    // resolved
  double threshold_s{0.0};
  std::size_t output_count{0};  // output messages received in the sampling window
  double window_s{1.0};
};

/// Several aligned lines, each ending in '\n'.
std::string FormatStatus(const StatusInfo & info);

/// "14:03:22.123" in local time, from nanoseconds since the Unix epoch.
std::string FormatClock(int64_t epoch_ns);

/// "14:03:22.123 mode manual (10) -> teleops (11)"; without @p from: "... mode teleops (11)".
std::string FormatModeChange(int64_t epoch_ns, std::optional<uint8_t> from, uint8_t to);

/// "14:03:22.123 twist linear 0.200 0.000 0.000 angular 0.000 0.000 0.500", with
/// " (watchdog: input silent)" appended when the zero came from the watchdog.
std::string FormatTwist(
  int64_t epoch_ns, const geometry_msgs::msg::Twist & twist, bool watchdog_zero);

/// Whether every component is zero (the controller's stop command).
bool IsZero(const geometry_msgs::msg::Twist & twist);

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__FORMAT_HPP_
