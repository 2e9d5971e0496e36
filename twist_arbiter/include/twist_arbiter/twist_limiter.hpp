// Copyright 2026 The twist_arbiter authors.

#ifndef TWIST_ARBITER__TWIST_LIMITER_HPP_
#define TWIST_ARBITER__TWIST_LIMITER_HPP_

#include <functional>
#include <memory>

#include "geometry_msgs/msg/twist.hpp"

namespace rclcpp
{
class Node;
class TimerBase;
}  // namespace rclcpp

/// Velocity and acceleration limiter for Twist commands.
///
/// A received command becomes the reference after being scaled down uniformly so that no
/// component exceeds its velocity bound (scaling keeps the direction of the six-component vector,
/// which clipping each axis would not). A wall timer then moves the output towards the reference
/// in steps bounded by the acceleration limits, one step per tick, and hands each step to the
/// output callback; it stops once the output has reached the reference.
///
/// Components are always taken in the order linear.x, linear.y, linear.z, angular.x, angular.y,
/// angular.z. Velocity bounds apply per axis to each component's magnitude, not to vector norms.
///
/// The six value operations forward to twist_arithmetic (twist_arbiter/twist_arithmetic.hpp),
/// which takes the bounds explicitly and needs no node; the members supply this limiter's bounds
/// and rate and change nothing.
///
/// Not thread-safe by design: every caller (input subscription, watchdog, mode switch, the
/// limiter's own timer) runs in the node's mutually exclusive default callback group.
class TwistLimiter
{
public:
  using Twist = geometry_msgs::msg::Twist;
  using OutputCallback = std::function<void (std::shared_ptr<Twist>)>;

  /// Creates an idle limiter whose interpolation timer lives on @p node.
  ///
  /// The timer period is 1000 / @p interpolation_rate milliseconds, truncated; each step still
  /// assumes exactly 1 / @p interpolation_rate seconds.
  ///
  /// @throws std::invalid_argument when a bound is negative or not finite, or the rate is not a
  ///         finite positive number whose period fits 32-bit signed milliseconds. Zero bounds are
  ///         valid: they hold the group they bound at zero (velocity) or in place (acceleration).
  TwistLimiter(
    rclcpp::Node * node, OutputCallback output_callback,
    double max_linear_velocity, double max_angular_velocity,
    double max_linear_acceleration, double max_angular_acceleration,
    double interpolation_rate);

  // The timer callback is bound to this object's address.
  TwistLimiter(const TwistLimiter &) = delete;
  TwistLimiter & operator=(const TwistLimiter &) = delete;

  /// Takes a new reference (velocity-limited first) and wakes the timer if it is idle.
  ///
  /// A running interpolation is left alone and simply heads for the new reference from where the
  /// output stands. An idle one produces its next output one full period from now, even when the
  /// reference equals the output. @p reference must not be null.
  void SetTwistReference(std::shared_ptr<Twist> reference);

  /// Stops the interpolation and forgets reference and output, so the next motion starts from
  /// zero. Publishes nothing: after a stale input the caller sends the zero command itself.
  void Reset();

  /// One interpolation tick; only the timer calls it. Hands the new output on before testing
  /// whether it reached the reference, so the reference itself is always the last value emitted.
  void TimerCallback();

  /// Every component of @p twist multiplied by @p factor.
  Twist ScaleTwist(const Twist & twist, double factor) const;
  /// Component-wise @p a - @p b.
  Twist SubtractTwist(const Twist & a, const Twist & b) const;
  /// Component-wise @p a + @p b.
  Twist AddTwist(const Twist & a, const Twist & b) const;

  /// Whether @p b equals @p a within a tolerance relative to @p a (|a_i| * 2^-23 above magnitude
  /// 1, else 2^-23, strictly). Not symmetric; any NaN makes it false. The tick uses it to decide
  /// that the output has reached the reference.
  bool IsTwistEqual(const Twist & a, const Twist & b) const;

  /// @p twist scaled down uniformly so that no component exceeds this limiter's velocity bound
  /// for its group, in magnitude. One factor for all six keeps the command's direction; never
  /// scales up.
  Twist LimitVelocity(const Twist & twist) const;

  /// @p current moved towards @p target along the straight line between them, by at most one
  /// tick's worth of this limiter's acceleration bounds (bound / rate) on the most demanding
  /// component.
  Twist LimitAcceleration(const Twist & target, const Twist & current) const;

private:
  double max_linear_velocity_;
  double max_angular_velocity_;
  double max_linear_acceleration_;
  double max_angular_acceleration_;
  double interpolation_rate_;
  Twist twist_reference_;
  Twist twist_output_;
  // The only owning reference: the node keeps a weak one, so the timer dies with the limiter.
  std::shared_ptr<rclcpp::TimerBase> interpolation_timer_;
  OutputCallback output_callback_;
};

#endif  // TWIST_ARBITER__TWIST_LIMITER_HPP_
