// A signed span of time with nanosecond resolution.
#ifndef RCLCPP__DURATION_HPP_
#define RCLCPP__DURATION_HPP_

#include <chrono>
#include <cstdint>

#include "builtin_interfaces/msg/duration.hpp"
#include "rclcpp/shim/rcl_time.hpp"
#include "rmw/types.h"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class RCLCPP_PUBLIC Duration
{
public:
  Duration(int32_t seconds, uint32_t nanoseconds);

  explicit Duration(rcl_duration_value_t nanoseconds);

  explicit Duration(std::chrono::nanoseconds nanoseconds);

  /// Implicit on purpose, so chrono literals can be passed where a Duration is expected.
  template<class Rep, class Period>
  Duration(const std::chrono::duration<Rep, Period> & duration)  // NOLINT(runtime/explicit)
  : Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration))
  {}

  Duration(const builtin_interfaces::msg::Duration & duration_msg);  // NOLINT(runtime/explicit)

  explicit Duration(const rcl_duration_t & duration);

  Duration(const Duration & rhs);

  virtual ~Duration() = default;

  operator builtin_interfaces::msg::Duration() const;

  Duration &
  operator=(const Duration & rhs);

  Duration &
  operator=(const builtin_interfaces::msg::Duration & duration_msg);

  bool
  operator==(const rclcpp::Duration & rhs) const;

  bool
  operator!=(const rclcpp::Duration & rhs) const;

  bool
  operator<(const rclcpp::Duration & rhs) const;

  bool
  operator<=(const rclcpp::Duration & rhs) const;

  bool
  operator>=(const rclcpp::Duration & rhs) const;

  bool
  operator>(const rclcpp::Duration & rhs) const;

  /// Sum; throws std::overflow_error / std::underflow_error instead of wrapping.
  Duration
  operator+(const rclcpp::Duration & rhs) const;

  Duration &
  operator+=(const rclcpp::Duration & rhs);

  Duration
  operator-(const rclcpp::Duration & rhs) const;

  Duration &
  operator-=(const rclcpp::Duration & rhs);

  static
  Duration
  max();

  /// Scaled copy; throws std::runtime_error for a non-finite scale, overflow/underflow errors.
  Duration
  operator*(double scale) const;

  Duration &
  operator*=(double scale);

  rcl_duration_value_t
  nanoseconds() const;

  /// Seconds as a double; may lose precision, use nanoseconds() when exactness matters.
  double
  seconds() const;

  static Duration
  from_seconds(double seconds);

  static Duration
  from_nanoseconds(rcl_duration_value_t nanoseconds);

  template<class DurationT>
  DurationT
  to_chrono() const
  {
    return std::chrono::duration_cast<DurationT>(std::chrono::nanoseconds(this->nanoseconds()));
  }

  /// As an rmw time; negative durations become zero.
  rmw_time_t
  to_rmw_time() const;

  static Duration
  from_rmw_time(rmw_time_t duration);

private:
  rcl_duration_t rcl_duration_;
  Duration();
};

}  // namespace rclcpp

#endif  // RCLCPP__DURATION_HPP_
