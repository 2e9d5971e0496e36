// Copyright 2026 The twist_arbiter authors.
//
// Range checks for configuration values that would otherwise only fail later.
//
// A bad limiter bound, interpolation rate, staleness threshold or input topic does not fail when
// it is read: it reverses commands, fills them with NaN, makes a timer throw inside a callback or
// breaks a mode switch half-way. These checks let construction refuse such values up front, with
// one text that names the parameter, the offending value and what is allowed.
//
// Each Check* function is pure: it returns that text, or std::nullopt when the value is usable.
// RefuseInvalidValue turns a text into the error log line and the exception.

#ifndef TWIST_ARBITER__CONFIG_CHECKS_HPP_
#define TWIST_ARBITER__CONFIG_CHECKS_HPP_

#include <optional>
#include <string>

#include "rclcpp/logger.hpp"

/// Velocity or acceleration bound of the limiter: finite and >= 0.
///
/// Zero is allowed on purpose: it stops the group it bounds (a zero velocity bound zeroes a
/// command, a zero acceleration bound freezes the output). A negative bound would flip the
/// command's sign; a non-finite one would fill it with infinities or NaN.
std::optional<std::string> CheckLimiterBound(const std::string & name, double value);

/// Interpolation rate of the limiter in Hz: finite, > 0, and such that the timer period
/// 1000 / value, truncated to whole milliseconds, fits a 32-bit signed integer
/// (value > 1000 / 2^31, about 4.66e-07 Hz).
///
/// Zero, negative and NaN rates have no meaningful period (the conversion to an integer would be
/// undefined, or the timer would be refused in the middle of a mode switch). Rates above 1000 Hz
/// stay valid: they give a 0 ms period, i.e. a tick on every pass of the executor.
std::optional<std::string> CheckInterpolationRate(const std::string & name, double value);

/// Staleness threshold in seconds: finite, >= 0, and value * 1000 truncated to whole
/// milliseconds fits a 32-bit signed integer (value < 2147483.648).
///
/// Zero (and anything below one millisecond) is allowed: the watchdog then expires on the next
/// executor pass after every relayed command. That is harsh but well defined and cannot spin,
/// because the watchdog is dropped at its first expiry. A negative threshold would make every
/// re-arm of the watchdog throw inside a callback.
std::optional<std::string> CheckTimeoutThreshold(const std::string & name, double value);

/// Topic name as rclcpp would expand it for a node called @p node_name in @p node_namespace.
///
/// Subscribing to a bad name fails only when the subscription is created, which for a mode's
/// input topic happens half-way through a mode switch; checking at construction avoids that.
std::optional<std::string> CheckTopicName(
  const std::string & name, const std::string & topic,
  const std::string & node_name, const std::string & node_namespace);

/// Age limit of a mode's input in seconds, @p name being `states.<mode>.max_age`: 0 (no age
/// gate), or a finite number > 0 whose value * 1e9 fits a 64-bit signed number of nanoseconds
/// (value < 9223372036.854) and only while the input is stamped (@p stamped, the value of
/// @p stamped_name): a Twist carries no time to judge its age by, so a gate on it would either
/// drop everything or be silently ignored.
std::optional<std::string> CheckMaxAge(
  const std::string & name, double value, const std::string & stamped_name, bool stamped);

/// Heartbeat of the stop input in seconds: 0 (none), or a finite number from 0.001 to below
/// 2147483.648 (a timer period of at least one millisecond that fits a 32-bit signed number of
/// milliseconds), and only with a stop topic (@p topic, the value of @p topic_name): a heartbeat
/// with nothing to listen to would look like a dead-man switch that does not exist.
std::optional<std::string> CheckHeartbeat(
  const std::string & name, double value, const std::string & topic_name,
  const std::string & topic);

/// frame_id of the stamped output: not empty and not starting with '/', both of which tf2
/// refuses as a frame name.
std::optional<std::string> CheckFrameId(const std::string & name, const std::string & value);

/// Logs @p error as one ERROR line on @p logger and throws std::invalid_argument with the same
/// text. Does nothing when @p error is empty, so a check can be written as
/// `RefuseInvalidValue(get_logger(), CheckTimeoutThreshold("timeout_threshold", value));`.
void RefuseInvalidValue(const rclcpp::Logger & logger, const std::optional<std::string> & error);

#endif  // TWIST_ARBITER__CONFIG_CHECKS_HPP_
