// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/twist_limiter.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "rclcpp/node.hpp"
#include "rclcpp/timer.hpp"
#include "twist_arbiter/config_checks.hpp"
#include "twist_arbiter/twist_arithmetic.hpp"

namespace
{

using Twist = geometry_msgs::msg::Twist;

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
    twist_arithmetic::InterpolationPeriod(interpolation_rate_), [this]() {TimerCallback();});
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

Twist TwistLimiter::ScaleTwist(const Twist & twist, double factor) const
{
  return twist_arithmetic::ScaleTwist(twist, factor);
}

Twist TwistLimiter::SubtractTwist(const Twist & a, const Twist & b) const
{
  return twist_arithmetic::SubtractTwist(a, b);
}

Twist TwistLimiter::AddTwist(const Twist & a, const Twist & b) const
{
  return twist_arithmetic::AddTwist(a, b);
}

bool TwistLimiter::IsTwistEqual(const Twist & a, const Twist & b) const
{
  return twist_arithmetic::IsTwistEqual(a, b);
}

Twist TwistLimiter::LimitVelocity(const Twist & twist) const
{
  return twist_arithmetic::LimitVelocity(twist, max_linear_velocity_, max_angular_velocity_);
}

Twist TwistLimiter::LimitAcceleration(const Twist & target, const Twist & current) const
{
  return twist_arithmetic::LimitAcceleration(
    target, current, max_linear_acceleration_, max_angular_acceleration_, interpolation_rate_);
}
