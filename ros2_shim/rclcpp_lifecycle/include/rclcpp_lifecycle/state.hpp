// A state of the managed-node state machine: an id from lifecycle_msgs/msg/State and its label.
#ifndef RCLCPP_LIFECYCLE__STATE_HPP_
#define RCLCPP_LIFECYCLE__STATE_HPP_

#include <cstdint>
#include <string>

#include "rcutils/allocator.h"

#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle
{

/// One state of the managed-node state machine (primary or transition state).
/**
 * A value type: copies are independent. The default-constructed state is (0, "unknown"),
 * which is what a state reads as before the state machine exists. The allocator argument is
 * accepted for source compatibility; the label is held in a std::string.
 */
class State
{
public:
  RCLCPP_LIFECYCLE_PUBLIC
  explicit State(rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_LIFECYCLE_PUBLIC
  State(
    uint8_t id, const std::string & label,
    rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_LIFECYCLE_PUBLIC
  State(const State & rhs);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual ~State();

  RCLCPP_LIFECYCLE_PUBLIC
  State & operator=(const State & rhs);

  /// Id of the state, one of the lifecycle_msgs::msg::State constants.
  RCLCPP_LIFECYCLE_PUBLIC
  uint8_t id() const;

  /// Human-readable label, e.g. "unconfigured" or "configuring".
  RCLCPP_LIFECYCLE_PUBLIC
  std::string label() const;

protected:
  uint8_t id_;
  std::string label_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__STATE_HPP_
