// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/twist_line_filter.hpp"

#include "twist_arbiter/ctl/format.hpp"

namespace twist_arbiter_ctl
{

TwistLineFilter::TwistLineFilter(std::chrono::nanoseconds interval)
: interval_(interval)
{
}

bool TwistLineFilter::Offer(
  const geometry_msgs::msg::Twist & twist, int64_t epoch_ns, TimePoint now)
{
  const bool zero = IsZero(twist);
  const bool edge = !last_was_zero_ || *last_was_zero_ != zero;
  last_was_zero_ = zero;
  if (edge || !last_printed_ || now - *last_printed_ >= interval_) {
    last_printed_ = now;
    held_.reset();
    return true;
  }
  held_ = Held{twist, epoch_ns};
  return false;
}

std::optional<TwistLineFilter::Held> TwistLineFilter::TakeDue(TimePoint now)
{
  if (!held_ || (last_printed_ && now - *last_printed_ < interval_)) {
    return std::nullopt;
  }
  last_printed_ = now;
  std::optional<Held> due = held_;
  held_.reset();
  return due;
}

}  // namespace twist_arbiter_ctl
