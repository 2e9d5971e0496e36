// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/format.hpp"

#include <ctime>
#include <string>

#include <fmt/format.h>

#include "twist_arbiter/ctl/mode_catalogue.hpp"

namespace twist_arbiter_ctl
{

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
    "threshold:  {:g} s\n"
    "commands:   {}\n",
    info.controller, ModeLabel(info.mode),
    info.input_topic.empty() ? "(none: mode none relays nothing)" : info.input_topic,
    info.output_topic, info.threshold_s, flow);
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

bool IsZero(const geometry_msgs::msg::Twist & twist)
{
  return twist.linear.x == 0.0 && twist.linear.y == 0.0 && twist.linear.z == 0.0 &&
         twist.angular.x == 0.0 && twist.angular.y == 0.0 && twist.angular.z == 0.0;
}

}  // namespace twist_arbiter_ctl
