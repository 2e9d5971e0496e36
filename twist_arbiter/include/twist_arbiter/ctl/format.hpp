// Copyright 2026 The twist_arbiter authors.
//
// The lines twist_arbiter_ctl prints, as plain functions of their data.

#ifndef TWIST_ARBITER__CTL__FORMAT_HPP_
#define TWIST_ARBITER__CTL__FORMAT_HPP_

#include <cstdint>
#include <optional>
#include <string>

#include <geometry_msgs/msg/twist.hpp>
#include <geometry_msgs/msg/twist_stamped.hpp>

namespace twist_arbiter_ctl
{

/// The controller's stop input as `status` reports it.
enum class StopState
{
  kNoInput,   // the controller has no stop input
  kUnknown,   // it has one, but its state was not received
  kReleased,
  kEngaged,
};

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
  bool input_stamped{false};
  double input_max_age_s{0.0};  // 0: no age gate
  bool output_stamped{false};
  std::string output_frame_id;
  StopState stop{StopState::kNoInput};
  std::string stop_topic;       // resolved; empty without a stop input
  double stop_heartbeat_s{0.0};  // 0: no heartbeat
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

/// The same for a stamped command, with its stamp and frame before the watchdog mark:
/// "... angular 0.000 0.000 0.500 stamp 14:03:22.120 frame_id base_link".
std::string FormatTwist(
  int64_t epoch_ns, const geometry_msgs::msg::TwistStamped & command, bool watchdog_zero);

/// "14:03:22.123 stop engaged" or "... stop released".
std::string FormatStopChange(int64_t epoch_ns, bool engaged);

/// Whether every component is zero (the controller's stop command).
bool IsZero(const geometry_msgs::msg::Twist & twist);

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__FORMAT_HPP_
