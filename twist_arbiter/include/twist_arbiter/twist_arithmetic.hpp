// Copyright 2026 The twist_arbiter authors.

#ifndef TWIST_ARBITER__TWIST_ARITHMETIC_HPP_
#define TWIST_ARBITER__TWIST_ARITHMETIC_HPP_

#include <chrono>

#include "geometry_msgs/msg/twist.hpp"

/// The value arithmetic behind TwistLimiter, with the bounds and the rate passed explicitly.
///
/// Kept apart from the limiter so that it needs no node, timer or executor: it can be tested and
/// measured on its own, and the limiter's members are thin forwards to it.
///
/// Components are always taken in the order linear.x, linear.y, linear.z, angular.x, angular.y,
/// angular.z; the first three form the linear group, the last three the angular group. Nothing
/// here allocates or calls into ROS; every function returns a new value.
namespace twist_arithmetic
{

using Twist = geometry_msgs::msg::Twist;

/// Single-precision machine epsilon (2^-23) held as a double: commands often come from sources
/// that compute in float, so a closer match than this is not meaningful.
constexpr double kTwistEpsilon = 1.1920928955078125e-07;

/// Every component of @p twist multiplied by @p factor.
Twist ScaleTwist(const Twist & twist, double factor);
/// Component-wise @p a - @p b.
Twist SubtractTwist(const Twist & a, const Twist & b);
/// Component-wise @p a + @p b.
Twist AddTwist(const Twist & a, const Twist & b);

/// Whether @p b equals @p a within a tolerance relative to @p a.
///
/// Per component the tolerance is |a_i| * 2^-23 when |a_i| > 1, else 2^-23, and the difference
/// must be strictly below it. The tolerance follows the first argument only, so the test is not
/// symmetric; any NaN makes it false.
bool IsTwistEqual(const Twist & a, const Twist & b);

/// @p twist scaled down uniformly so that no linear component exceeds @p max_linear_velocity
/// and no angular one @p max_angular_velocity in magnitude.
///
/// One factor for all six components keeps the command's direction, which clipping each axis
/// would not. Never scales up; zero components never restrict the factor.
Twist LimitVelocity(const Twist & twist, double max_linear_velocity, double max_angular_velocity);

/// @p current moved towards @p target along the straight line between them, by at most one
/// tick's worth (bound / @p interpolation_rate) on the most demanding component.
///
/// The time step is always exactly 1 / @p interpolation_rate, whatever the timer really does.
Twist LimitAcceleration(
  const Twist & target, const Twist & current,
  double max_linear_acceleration, double max_angular_acceleration, double interpolation_rate);

/// Timer period for @p interpolation_rate: 1000 / rate ms truncated toward zero to 32 bits.
///
/// The rate must be finite and large enough for the quotient to fit (see
/// CheckInterpolationRate); otherwise the conversion is undefined.
std::chrono::milliseconds InterpolationPeriod(double interpolation_rate);

}  // namespace twist_arithmetic

#endif  // TWIST_ARBITER__TWIST_ARITHMETIC_HPP_
