// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/format.hpp"

#include <ctime>
#include <string>

#include <fmt/format.h>

#include "twist_arbiter/ctl/mode_catalogue.hpp"

namespace twist_arbiter_ctl
{

namespace
{

std::string StopText(const StatusInfo & info)
{
  if (info.stop == StopState::kNoInput) {
    return "no stop input";
  }
  const std::string state = info.stop == StopState::kEngaged ? "engaged" :
    info.stop == StopState::kReleased ? "released" : "unknown (no state received)";
  const std::string heartbeat = info.stop_heartbeat_s > 0.0 ?
    fmt::format("heartbeat {:g} s", info.stop_heartbeat_s) : std::string("no heartbeat");
  return fmt::format("{} (input {}, {})", state, info.stop_topic, heartbeat);
}

std::string InputText(const StatusInfo & info)
{
  if (info.input_topic.empty()) {
    return "(none: mode none relays nothing)";
  }
  if (!info.input_stamped) {
    return info.input_topic;
  }
  if (info.input_max_age_s > 0.0) {
    return fmt::format("{} (TwistStamped, max_age {:g} s)", info.input_topic, info.input_max_age_s);
  }
  return info.input_topic + " (TwistStamped)";
}

int64_t StampNs(const builtin_interfaces::msg::Time & stamp)
{
  return static_cast<int64_t>(stamp.sec) * 1000000000 + static_cast<int64_t>(stamp.nanosec);
}

}  // namespace

std::string FormatStatus(const StatusInfo & info)
{
  std::string flow = "silent";
  if (info.output_count > 0) {
    flow = fmt::format(
      "{:.1f} Hz ({} messages in the last {:g} s)",
      static_cast<double>(info.output_count) / info.window_s, info.output_count, info.window_s);
  }
  return fmt::format(
    "controller: {}\n"
    "mode:       {}\n"
    "input:      {}\n"
    "output:     {}\n"
    "output msg: {}\n"
    "threshold:  {:g} s\n"
    "stop:       {}\n"
    "commands:   {}\n",
    info.controller, ModeLabel(info.mode), InputText(info), info.output_topic,
    info.output_stamped ?
    "geometry_msgs/msg/TwistStamped, frame_id " + info.output_frame_id :
    std::string("geometry_msgs/msg/Twist"),
    info.threshold_s, StopText(info), flow);
}

std::string FormatClock(int64_t epoch_ns)
{
  // Floor division, so that times before the epoch (never expected) still format sanely.
  int64_t seconds = epoch_ns / 1000000000;
  int64_t rest = epoch_ns % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --seconds;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return fmt::format(
    "{:02}:{:02}:{:02}.{:03}", local.tm_hour, local.tm_min, local.tm_sec, rest / 1000000);
}

std::string FormatModeChange(int64_t epoch_ns, std::optional<uint8_t> from, uint8_t to)
{
  if (from) {
    return fmt::format("{} mode {} -> {}", FormatClock(epoch_ns), ModeLabel(*from), ModeLabel(to));
  }
  return fmt::format("{} mode {}", FormatClock(epoch_ns), ModeLabel(to));
}

std::string FormatTwist(
  int64_t epoch_ns, const geometry_msgs::msg::Twist & twist, bool watchdog_zero)
{
  return fmt::format(
    "{} twist linear {:.3f} {:.3f} {:.3f} angular {:.3f} {:.3f} {:.3f}{}",
    FormatClock(epoch_ns), twist.linear.x, twist.linear.y, twist.linear.z, twist.angular.x,
    twist.angular.y, twist.angular.z, watchdog_zero ? " (watchdog: input silent)" : "");
}

std::string FormatTwist(
  int64_t epoch_ns, const geometry_msgs::msg::TwistStamped & command, bool watchdog_zero)
{
  std::string line = FormatTwist(epoch_ns, command.twist, false);
  line += fmt::format(
    " stamp {} frame_id {}", FormatClock(StampNs(command.header.stamp)),
    command.header.frame_id.empty() ? "(empty)" : command.header.frame_id);
  return watchdog_zero ? line + " (watchdog: input silent)" : line;
}

std::string FormatStopChange(int64_t epoch_ns, bool engaged)
{
  return fmt::format("{} stop {}", FormatClock(epoch_ns), engaged ? "engaged" : "released");
}

bool IsZero(const geometry_msgs::msg::Twist & twist)
{
  return twist.linear.x == 0.0 && twist.linear.y == 0.0 && twist.linear.z == 0.0 &&
         twist.angular.x == 0.0 && twist.angular.y == 0.0 && twist.angular.z == 0.0;
}

}  // namespace twist_arbiter_ctl
