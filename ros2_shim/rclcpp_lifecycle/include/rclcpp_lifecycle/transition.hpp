// A transition of the managed-node state machine: an id from lifecycle_msgs/msg/Transition,
// its label and, where known, its start and goal states.
#ifndef RCLCPP_LIFECYCLE__TRANSITION_HPP_
#define RCLCPP_LIFECYCLE__TRANSITION_HPP_

#include <cstdint>
#include <string>

#include "rcutils/allocator.h"

#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle
{

/// A transition between two states; triggered by id (the label is informative only).
class Transition
{
public:
  Transition() = delete;

  RCLCPP_LIFECYCLE_PUBLIC
  explicit Transition(
    uint8_t id, const std::string & label = "",
    rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_LIFECYCLE_PUBLIC
  Transition(
    uint8_t id, const std::string & label,
    State && start, State && goal,
    rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_LIFECYCLE_PUBLIC
  Transition(const Transition & rhs);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual ~Transition();

  RCLCPP_LIFECYCLE_PUBLIC
  Transition & operator=(const Transition & rhs);

  RCLCPP_LIFECYCLE_PUBLIC
  uint8_t id() const;

  RCLCPP_LIFECYCLE_PUBLIC
  std::string label() const;

  /// State the transition starts from; (0, "unknown") when the transition was built from an id.
  RCLCPP_LIFECYCLE_PUBLIC
  State start_state() const;

  /// Transition state it leads to; (0, "unknown") when the transition was built from an id.
  RCLCPP_LIFECYCLE_PUBLIC
  State goal_state() const;

protected:
  uint8_t id_;
  std::string label_;
  State start_;
  State goal_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__TRANSITION_HPP_
