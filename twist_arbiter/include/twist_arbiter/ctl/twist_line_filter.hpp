// Copyright 2026 The twist_arbiter authors.
//
// Decides which output Twists `watch` prints: at most one line per interval, but a change to or
// from zero (a stop, or the start of motion) always at once, and the newest suppressed command
// once its slot comes, so that the last value on screen is the last value sent.

#ifndef TWIST_ARBITER__CTL__TWIST_LINE_FILTER_HPP_
#define TWIST_ARBITER__CTL__TWIST_LINE_FILTER_HPP_

#include <chrono>
#include <cstdint>
#include <optional>

#include <geometry_msgs/msg/twist.hpp>

namespace twist_arbiter_ctl
{

class TwistLineFilter
{
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  /// A command held back by the rate limit, with the wall time it arrived at.
  struct Held
  {
    geometry_msgs::msg::Twist twist;
    int64_t epoch_ns;
  };

  explicit TwistLineFilter(std::chrono::nanoseconds interval = std::chrono::milliseconds(100));

  /// Offers a command received at @p now; true means print it now. Otherwise it is held (and
  /// replaces an older held one).
  bool Offer(const geometry_msgs::msg::Twist & twist, int64_t epoch_ns, TimePoint now);

  /// The held command, once a line may be printed again at @p now; it is then no longer held.
  std::optional<Held> TakeDue(TimePoint now);

private:
  std::chrono::nanoseconds interval_;
  std::optional<TimePoint> last_printed_;
  std::optional<bool> last_was_zero_;
  std::optional<Held> held_;
};

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__TWIST_LINE_FILTER_HPP_
