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

/// Logs @p error as one ERROR line on @p logger and throws std::invalid_argument with the same
/// text. Does nothing when @p error is empty, so a check can be written as
/// `RefuseInvalidValue(get_logger(), CheckTimeoutThreshold("timeout_threshold", value));`.
void RefuseInvalidValue(const rclcpp::Logger & logger, const std::optional<std::string> & error);

#endif  // TWIST_ARBITER__CONFIG_CHECKS_HPP_
