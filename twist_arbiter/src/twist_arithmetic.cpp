// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/twist_arithmetic.hpp"

#include <cmath>
#include <cstdint>

namespace twist_arithmetic
{

namespace
{

// The bodies live here and the public functions forward to them. Calling these directly keeps
// the composite operations free of calls through the shared library's symbol table (which a
// public function calling another public one would go through), so each one compiles into a
// single body.

Twist Scale(const Twist & twist, double factor)
{
  Twist result;
  result.linear.x = twist.linear.x * factor;
  result.linear.y = twist.linear.y * factor;
  result.linear.z = twist.linear.z * factor;
  result.angular.x = twist.angular.x * factor;
  result.angular.y = twist.angular.y * factor;
  result.angular.z = twist.angular.z * factor;
  return result;
}

Twist Subtract(const Twist & a, const Twist & b)
{
  Twist result;
  result.linear.x = a.linear.x - b.linear.x;
  result.linear.y = a.linear.y - b.linear.y;
  result.linear.z = a.linear.z - b.linear.z;
  result.angular.x = a.angular.x - b.angular.x;
  result.angular.y = a.angular.y - b.angular.y;
  result.angular.z = a.angular.z - b.angular.z;
  return result;
}

Twist Add(const Twist & a, const Twist & b)
{
  Twist result;
  result.linear.x = a.linear.x + b.linear.x;
  result.linear.y = a.linear.y + b.linear.y;
  result.linear.z = a.linear.z + b.linear.z;
  result.angular.x = a.angular.x + b.angular.x;
  result.angular.y = a.angular.y + b.angular.y;
  result.angular.z = a.angular.z + b.angular.z;
  return result;
}

// max(largest, |c|), keeping largest when |c| is NaN.
inline double Larger(double largest, double c)
{
  const double magnitude = std::fabs(c);
  return magnitude > largest ? magnitude : largest;
}

// One group's part of the scale-factor rule: for each component c in order, q = allowance / |c|,
// and s = q whenever q < s. A zero component gives +inf (or NaN with a zero allowance); neither
// compares below s, so zero components never restrict the factor; NaN components never do either.
double GroupFactor(double s, double allowance, double c0, double c1, double c2)
{
  if (allowance >= 0.0) {
    // Correctly rounded division is monotonic: for a non-negative allowance the smallest of the
    // three quotients is exactly allowance / (largest magnitude), so one division gives the same
    // bits as three (four of six divisions saved per call). Starting from 0 skips NaN magnitudes
    // as the per-component rule does, and three zero components give allowance / 0, which is
    // +inf or NaN exactly as there.
    const double q = allowance / Larger(Larger(Larger(0.0, c0), c1), c2);
    return q < s ? q : s;
  }
  // Negative or NaN allowance (the limiter refuses such bounds, but these functions take any):
  // the rule verbatim.
  for (const double c : {c0, c1, c2}) {
    const double q = allowance / std::fabs(c);
    if (q < s) {
      s = q;
    }
  }
  return s;
}

// Largest factor s <= 1 such that no component of s * v exceeds its group's allowance; the
// linear group is taken before the angular one.
double ScaleFactor(const Twist & v, double linear_allowance, double angular_allowance)
{
  const double s = GroupFactor(1.0, linear_allowance, v.linear.x, v.linear.y, v.linear.z);
  return GroupFactor(s, angular_allowance, v.angular.x, v.angular.y, v.angular.z);
}

bool ComponentEqual(double a, double b)
{
  const double magnitude = std::fabs(a);
  const double tolerance = magnitude > 1.0 ? magnitude * kTwistEpsilon : kTwistEpsilon;
  return std::fabs(a - b) < tolerance;
}

}  // namespace

Twist ScaleTwist(const Twist & twist, double factor)
{
  return Scale(twist, factor);
}

Twist SubtractTwist(const Twist & a, const Twist & b)
{
  return Subtract(a, b);
}

Twist AddTwist(const Twist & a, const Twist & b)
{
  return Add(a, b);
}

bool IsTwistEqual(const Twist & a, const Twist & b)
{
  // Short-circuits on the first component that differs.
  return ComponentEqual(a.linear.x, b.linear.x) &&
         ComponentEqual(a.linear.y, b.linear.y) &&
         ComponentEqual(a.linear.z, b.linear.z) &&
         ComponentEqual(a.angular.x, b.angular.x) &&
         ComponentEqual(a.angular.y, b.angular.y) &&
         ComponentEqual(a.angular.z, b.angular.z);
}

Twist LimitVelocity(const Twist & twist, double max_linear_velocity, double max_angular_velocity)
{
  return Scale(twist, ScaleFactor(twist, max_linear_velocity, max_angular_velocity));
}

Twist LimitAcceleration(
  const Twist & target, const Twist & current,
  double max_linear_acceleration, double max_angular_acceleration, double interpolation_rate)
{
  const Twist difference = Subtract(target, current);
  // Divide each bound by the rate first: the per-tick allowance is what the rule compares with.
  const double linear_allowance = max_linear_acceleration / interpolation_rate;
  const double angular_allowance = max_angular_acceleration / interpolation_rate;
  const double s = ScaleFactor(difference, linear_allowance, angular_allowance);
  return Add(current, Scale(difference, s));
}

std::chrono::milliseconds InterpolationPeriod(double interpolation_rate)
{
  return std::chrono::milliseconds(static_cast<int32_t>(1000.0 / interpolation_rate));
}

}  // namespace twist_arithmetic
