// Copyright 2026 The twist_arbiter authors.

#ifndef TWIST_ARBITER__CONTROL_MODE_CONFIG_HPP_
#define TWIST_ARBITER__CONTROL_MODE_CONFIG_HPP_

#include <cstdint>
#include <string>
#include <vector>

class TwistArbiter;

/// Configuration of one control mode: where its commands arrive and which modes it may hand over
/// to.
///
/// Filled once from the node's `states.<mode>.` parameters while the node is constructed and
/// only read afterwards, so the members are plain public data.
class ControlModeConfig
{
public:
  /// Reads `states.<name>.topic`, `states.<name>.transitions_to` and the optional
  /// `states.<name>.stamped` (default false) and `states.<name>.max_age` (default 0.0) through
  /// @p node, where <name> is the catalogue name of @p mode.
  ///
  /// The topic is checked right away as rclcpp would expand it for @p node, so a bad name
  /// fails construction instead of a later mode switch half-way.
  ///
  /// @throws std::exception from the parameter helper for a missing or mistyped parameter
  ///         (it has logged the reason); std::invalid_argument for a topic that rclcpp refuses
  ///         (after one ERROR line) or a transition to an unknown mode name;
  ///         std::invalid_argument after one ERROR line for a mistyped optional parameter or a
  ///         max_age that is negative, not finite, or set on an unstamped input.
  virtual void Configure(TwistArbiter * node, const uint8_t & mode);

  virtual ~ControlModeConfig() = default;

  /// Input topic of the mode's Twist commands, as given (relative names resolve in the node's
  /// namespace when subscribed).
  std::string topic_;
  /// Ids of the modes this one may be left for, in parameter order, duplicates kept.
  std::vector<uint8_t> transitions_;
  /// Whether the input carries geometry_msgs/msg/TwistStamped instead of Twist.
  bool stamped_ = false;
  /// Age limit of a stamped command in seconds; 0 = no age gate.
  double max_age_ = 0.0;
};

/// Configuration of the mode whose commands pass through the Twist limiter; the five settings
/// go unchanged, in this order, to the limiter's constructor.
class ControlModeConfigLimited : public ControlModeConfig
{
public:
  /// Reads the base parameters, then `states.<name>.limiter.velocity.max_linear`,
  /// `...velocity.max_angular`, `...acceleration.max_linear`, `...acceleration.max_angular` and
  /// `...interpolation_rate`, each checked right after it is read, so the first bad value is the
  /// one reported.
  ///
  /// @throws std::invalid_argument after one ERROR line for a negative or non-finite bound, or a
  ///         rate that gives the limiter's timer no valid period (see config_checks.hpp).
  void Configure(TwistArbiter * node, const uint8_t & mode) override;

  /// Bound on each linear component of a reference, m/s.
  double max_linear_velocity_ = 0.0;
  /// Bound on each angular component of a reference, rad/s.
  double max_angular_velocity_ = 0.0;
  /// Bound on how fast each linear output component changes, m/s^2.
  double max_linear_acceleration_ = 0.0;
  /// Bound on how fast each angular output component changes, rad/s^2.
  double max_angular_acceleration_ = 0.0;
  /// Rate of the limiter's interpolation timer, Hz.
  double interpolation_rate_ = 0.0;
};

#endif  // TWIST_ARBITER__CONTROL_MODE_CONFIG_HPP_
