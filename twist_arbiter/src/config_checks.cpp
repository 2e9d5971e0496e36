// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/config_checks.hpp"

#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "rclcpp/exceptions.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"
#include "rclcpp/logging.hpp"

namespace
{

// One past the largest 32-bit signed millisecond count: a double below it truncates to a valid
// int32_t, one at or above it does not.
constexpr double kInt32Limit = 2147483648.0;
// Largest age limit whose nanosecond count, rounded, still fits int64 (2^63 ns is about
// 9223372036.855 s), kept a little below so that rounding cannot reach 2^63.
constexpr double kMaxAgeLimit = 9223372036.854;

std::string InvalidValueText(
  const std::string & name, const std::string & value, const std::string & allowed)
{
  return fmt::format("Invalid value {} for parameter \"{}\": allowed is {}.", value, name, allowed);
}

}  // namespace

std::optional<std::string> CheckLimiterBound(const std::string & name, double value)
{
  if (std::isfinite(value) && value >= 0.0) {
    return std::nullopt;
  }
  return InvalidValueText(name, fmt::format("{}", value), "a finite number >= 0");
}

std::optional<std::string> CheckInterpolationRate(const std::string & name, double value)
{
  if (std::isfinite(value) && value > 0.0 && 1000.0 / value < kInt32Limit) {
    return std::nullopt;
  }
  return InvalidValueText(
    name, fmt::format("{}", value),
    "a finite rate in Hz greater than 1000 / 2^31 (the period 1000 / rate must fit a 32-bit "
    "signed number of milliseconds)");
}

std::optional<std::string> CheckTimeoutThreshold(const std::string & name, double value)
{
  if (std::isfinite(value) && value >= 0.0 && value * 1000.0 < kInt32Limit) {
    return std::nullopt;
  }
  return InvalidValueText(
    name, fmt::format("{}", value),
    fmt::format(
      "a finite number of seconds >= 0 and below {} (value * 1000 must fit a 32-bit signed "
      "number of milliseconds)", kInt32Limit / 1000.0));
}

std::optional<std::string> CheckTopicName(
  const std::string & name, const std::string & topic,
  const std::string & node_name, const std::string & node_namespace)
{
  std::string reason;
  try {
    rclcpp::expand_topic_or_service_name(topic, node_name, node_namespace, false);
    return std::nullopt;
  } catch (const rclcpp::exceptions::NameValidationError & e) {
    // what() spans three lines with a caret; the members give the same facts on one line.
    reason = fmt::format("{} (at index {} of '{}')", e.error_msg, e.invalid_index, e.name);
  } catch (const std::invalid_argument & e) {
    reason = e.what();
  } catch (const std::runtime_error & e) {
    // An unknown substitution such as "{foo}" passes the syntax check and fails as an rcl error.
    reason = e.what();
  }
  return InvalidValueText(
    name, fmt::format("\"{}\"", topic),
    fmt::format("a topic name that rclcpp accepts, and it refuses this one: {}", reason));
}

std::optional<std::string> CheckMaxAge(
  const std::string & name, double value, const std::string & stamped_name, bool stamped)
{
  if (!(std::isfinite(value) && value >= 0.0 && value < kMaxAgeLimit)) {
    return InvalidValueText(
      name, fmt::format("{}", value),
      "0 (no age gate) or a finite number of seconds > 0 and below 9223372036.854 "
      "(value * 1e9 must fit a 64-bit signed number of nanoseconds)");
  }
  if (value > 0.0 && !stamped) {
    return InvalidValueText(
      name, fmt::format("{}", value),
      fmt::format(
        "0 (no age gate) while \"{}\" is false: a Twist carries no stamp to judge its age by",
        stamped_name));
  }
  return std::nullopt;
}

std::optional<std::string> CheckHeartbeat(
  const std::string & name, double value, const std::string & topic_name,
  const std::string & topic)
{
  if (value != 0.0 && !(std::isfinite(value) && value >= 0.001 && value * 1000.0 < kInt32Limit)) {
    return InvalidValueText(
      name, fmt::format("{}", value),
      fmt::format(
        "0 (no heartbeat) or a finite number of seconds from 0.001 to below {} (the timer "
        "period must be at least 1 ms and fit a 32-bit signed number of milliseconds)",
        kInt32Limit / 1000.0));
  }
  if (value != 0.0 && topic.empty()) {
    return InvalidValueText(
      name, fmt::format("{}", value),
      fmt::format("0 (no heartbeat) while \"{}\" is empty: there is no stop input", topic_name));
  }
  return std::nullopt;
}

std::optional<std::string> CheckFrameId(const std::string & name, const std::string & value)
{
  if (!value.empty() && value.front() != '/') {
    return std::nullopt;
  }
  return InvalidValueText(
    name, fmt::format("\"{}\"", value),
    "a frame name that is not empty and does not start with '/' (tf2 refuses both)");
}

void RefuseInvalidValue(const rclcpp::Logger & logger, const std::optional<std::string> & error)
{
  if (!error) {
    return;
  }
  RCLCPP_ERROR(logger, "%s", error->c_str());
  throw std::invalid_argument(*error);
}
