#include "rclcpp/clock.hpp"

#include <chrono>
#include <condition_variable>
#include <stdexcept>

#include "rcutils/time.h"

namespace rclcpp
{

Clock::Clock(rcl_clock_type_t clock_type)
: clock_type_(clock_type), clock_mutex_(std::make_shared<std::mutex>())
{}

Clock::~Clock() = default;

Time
Clock::now() const
{
  rcutils_time_point_value_t ns = 0;
  rcutils_ret_t ret = RCUTILS_RET_ERROR;
  switch (clock_type_) {
    case RCL_ROS_TIME:
    case RCL_SYSTEM_TIME:
      ret = rcutils_system_time_now(&ns);
      break;
    case RCL_STEADY_TIME:
      ret = rcutils_steady_time_now(&ns);
      break;
    default:
      throw std::runtime_error("could not get current time stamp: clock is not initialized");
  }
  if (ret != RCUTILS_RET_OK) {
    rcutils_reset_error();
    throw std::runtime_error("could not get current time stamp");
  }
  return Time(ns, clock_type_);
}

bool
Clock::sleep_until(Time until, Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  if (until.get_clock_type() != clock_type_) {
    throw std::runtime_error("until's clock type does not match this clock's type");
  }

  // Shared with the callback, which shutdown() may still run after this function returned.
  auto cv = std::make_shared<std::condition_variable>();
  // Wake the sleeper when the context shuts down; the lock closes the gap between
  // checking is_valid() and starting to wait.
  auto handle = context->add_on_shutdown_callback(
    [mutex = clock_mutex_, cv]() {
      std::lock_guard<std::mutex> lock(*mutex);
      cv->notify_all();
    });

  {
    std::unique_lock<std::mutex> lock(*clock_mutex_);
    while (now() < until && context->is_valid()) {
      const Duration remaining = until - now();
      if (clock_type_ == RCL_STEADY_TIME) {
        cv->wait_until(
          lock, std::chrono::steady_clock::now() + std::chrono::nanoseconds(
            remaining.nanoseconds()));
      } else {
        cv->wait_until(
          lock, std::chrono::system_clock::now() + std::chrono::nanoseconds(
            remaining.nanoseconds()));
      }
    }
  }
  context->remove_on_shutdown_callback(handle);
  return now() >= until;
}

bool
Clock::sleep_for(Duration rel_time, Context::SharedPtr context)
{
  return sleep_until(now() + rel_time, context);
}

bool
Clock::ros_time_is_active()
{
  return false;
}

rcl_clock_type_t
Clock::get_clock_type() const noexcept
{
  return clock_type_;
}

std::mutex &
Clock::get_clock_mutex() noexcept
{
  return *clock_mutex_;
}

}  // namespace rclcpp
