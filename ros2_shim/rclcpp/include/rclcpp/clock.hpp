// Source of Time for one clock type.
#ifndef RCLCPP__CLOCK_HPP_
#define RCLCPP__CLOCK_HPP_

#include <memory>
#include <mutex>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// Reads the current time of a clock type.
/**
 * Without a simulated time source, RCL_ROS_TIME reads the system clock.
 */
class Clock
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Clock)

  RCLCPP_PUBLIC
  explicit Clock(rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  RCLCPP_PUBLIC
  ~Clock();

  /// Current time; its clock type is the clock's.
  RCLCPP_PUBLIC
  Time
  now() const;

  /// Sleep until `until` on this clock, or until the context shuts down.
  /**
   * \return true when the time was reached, false if interrupted by shutdown
   * \throws std::runtime_error if `until` has a different clock type
   */
  RCLCPP_PUBLIC
  bool
  sleep_until(
    Time until,
    Context::SharedPtr context = contexts::get_global_default_context());

  RCLCPP_PUBLIC
  bool
  sleep_for(
    Duration rel_time,
    Context::SharedPtr context = contexts::get_global_default_context());

  /// Whether simulated time drives this clock (never, without a time source).
  RCLCPP_PUBLIC
  bool
  ros_time_is_active();

  RCLCPP_PUBLIC
  rcl_clock_type_t
  get_clock_type() const noexcept;

  RCLCPP_PUBLIC
  std::mutex &
  get_clock_mutex() noexcept;

private:
  rcl_clock_type_t clock_type_;
  // Shared so that copies of a clock stay copyable and agree on one mutex.
  std::shared_ptr<std::mutex> clock_mutex_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLOCK_HPP_
