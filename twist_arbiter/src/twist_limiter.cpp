// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/twist_limiter.hpp"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "rclcpp/node.hpp"
#include "rclcpp/timer.hpp"
#include "twist_arbiter/config_checks.hpp"

namespace
{

using Twist = geometry_msgs::msg::Twist;

// Single-precision machine epsilon held as a double: commands come from sources that often
// compute in float, so a closer match than this is not meaningful.
constexpr double kTwistEpsilon = 1.1920928955078125e-07;

// The arithmetic lives here; the public functions forward to it. Calling these directly keeps the
// hot paths free of calls through the shared library's symbol table (which a public function
// calling another public one would go through), so each operation compiles into one body.

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
  // Negative or NaN allowance (refused by the constructor, possible through the static forms):
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

Twist VelocityLimited(
  const Twist & twist, double max_linear_velocity, double max_angular_velocity)
{
  return Scale(twist, ScaleFactor(twist, max_linear_velocity, max_angular_velocity));
}

Twist AccelerationLimited(
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

bool ComponentEqual(double a, double b)
{
  const double magnitude = std::fabs(a);
  const double tolerance = magnitude > 1.0 ? magnitude * kTwistEpsilon : kTwistEpsilon;
  return std::fabs(a - b) < tolerance;
}

bool TwistsEqual(const Twist & a, const Twist & b)
{
  // Short-circuits on the first component that differs.
  return ComponentEqual(a.linear.x, b.linear.x) &&
         ComponentEqual(a.linear.y, b.linear.y) &&
         ComponentEqual(a.linear.z, b.linear.z) &&
         ComponentEqual(a.angular.x, b.angular.x) &&
         ComponentEqual(a.angular.y, b.angular.y) &&
         ComponentEqual(a.angular.z, b.angular.z);
}

void Require(const std::optional<std::string> & error)
{
  if (error) {
    throw std::invalid_argument(*error);
  }
}

}  // namespace

TwistLimiter::TwistLimiter(
  rclcpp::Node * node, OutputCallback output_callback,
  double max_linear_velocity, double max_angular_velocity,
  double max_linear_acceleration, double max_angular_acceleration,
  double interpolation_rate)
: max_linear_velocity_(max_linear_velocity),
  max_angular_velocity_(max_angular_velocity),
  max_linear_acceleration_(max_linear_acceleration),
  max_angular_acceleration_(max_angular_acceleration),
  interpolation_rate_(interpolation_rate),
  twist_reference_(),
  twist_output_(),
  interpolation_timer_(),
  output_callback_(std::move(output_callback))
{
  // Refuse what would reverse commands, fill them with NaN or give the timer no defined period,
  // before anything is created on the node.
  Require(CheckLimiterBound("max_linear_velocity", max_linear_velocity_));
  Require(CheckLimiterBound("max_angular_velocity", max_angular_velocity_));
  Require(CheckLimiterBound("max_linear_acceleration", max_linear_acceleration_));
  Require(CheckLimiterBound("max_angular_acceleration", max_angular_acceleration_));
  Require(CheckInterpolationRate("interpolation_rate", interpolation_rate_));

  interpolation_timer_ = node->create_wall_timer(
    InterpolationPeriod(interpolation_rate_), [this]() {TimerCallback();});
  // Idle until the first reference arrives.
  interpolation_timer_->cancel();
}

void TwistLimiter::SetTwistReference(std::shared_ptr<Twist> reference)
{
  twist_reference_ = LimitVelocity(*reference);
  if (interpolation_timer_->is_canceled()) {
    interpolation_timer_->reset();
  }
}

void TwistLimiter::Reset()
{
  if (interpolation_timer_ && !interpolation_timer_->is_canceled()) {
    interpolation_timer_->cancel();
  }
  twist_reference_ = Twist();
  twist_output_ = Twist();
}

void TwistLimiter::TimerCallback()
{
  twist_output_ = LimitAcceleration(twist_reference_, twist_output_);
  // A fresh object per tick: the receiver may keep or publish it without copying.
  output_callback_(std::make_shared<Twist>(twist_output_));
  if (IsTwistEqual(twist_output_, twist_reference_)) {
    interpolation_timer_->cancel();
  }
}

Twist TwistLimiter::ScaleTwist(const Twist & twist, double factor)
{
  return Scale(twist, factor);
}

Twist TwistLimiter::SubtractTwist(const Twist & a, const Twist & b)
{
  return Subtract(a, b);
}

Twist TwistLimiter::AddTwist(const Twist & a, const Twist & b)
{
  return Add(a, b);
}

bool TwistLimiter::IsTwistEqual(const Twist & a, const Twist & b)
{
  return TwistsEqual(a, b);
}

Twist TwistLimiter::LimitVelocity(
  const Twist & twist, double max_linear_velocity, double max_angular_velocity)
{
  return VelocityLimited(twist, max_linear_velocity, max_angular_velocity);
}

Twist TwistLimiter::LimitAcceleration(
  const Twist & target, const Twist & current,
  double max_linear_acceleration, double max_angular_acceleration, double interpolation_rate)
{
  return AccelerationLimited(
    target, current, max_linear_acceleration, max_angular_acceleration, interpolation_rate);
}

Twist TwistLimiter::LimitVelocity(const Twist & twist) const
{
  return VelocityLimited(twist, max_linear_velocity_, max_angular_velocity_);
}

Twist TwistLimiter::LimitAcceleration(const Twist & target, const Twist & current) const
{
  return AccelerationLimited(
    target, current, max_linear_acceleration_, max_angular_acceleration_, interpolation_rate_);
}

std::chrono::milliseconds TwistLimiter::InterpolationPeriod(double interpolation_rate)
{
  return std::chrono::milliseconds(static_cast<int32_t>(1000.0 / interpolation_rate));
}
