// The transition callbacks of a managed node and the result codes they return.
#ifndef RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_
#define RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_

#include <cstdint>

#include "lifecycle_msgs/msg/transition.hpp"

#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle
{
namespace node_interfaces
{

/// Callbacks run by the state machine while a transition is in progress.
/**
 * Each callback receives the primary state the transition started from and decides where it
 * ends: SUCCESS moves on to the goal state, FAILURE falls back to the start (or, for shutdown,
 * still ends finalized), ERROR hands over to on_error. The defaults return SUCCESS.
 */
class LifecycleNodeInterface
{
protected:
  RCLCPP_LIFECYCLE_PUBLIC
  LifecycleNodeInterface() {}

public:
  enum class CallbackReturn : uint8_t
  {
    SUCCESS = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_SUCCESS,
    FAILURE = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_FAILURE,
    ERROR = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_ERROR
  };

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_configure(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_cleanup(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_shutdown(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_activate(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_deactivate(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn
  on_error(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual ~LifecycleNodeInterface() {}
};

}  // namespace node_interfaces
}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_
