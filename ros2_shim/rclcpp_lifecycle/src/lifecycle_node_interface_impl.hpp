// The state machine driver behind LifecycleNode: runs transitions and their callbacks, and
// serves the lifecycle services and the transition event topic.
#ifndef RCLCPP_LIFECYCLE__LIFECYCLE_NODE_INTERFACE_IMPL_HPP_
#define RCLCPP_LIFECYCLE__LIFECYCLE_NODE_INTERFACE_IMPL_HPP_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lifecycle_msgs/msg/transition_event.hpp"
#include "lifecycle_msgs/srv/change_state.hpp"
#include "lifecycle_msgs/srv/get_available_states.hpp"
#include "lifecycle_msgs/srv/get_available_transitions.hpp"
#include "lifecycle_msgs/srv/get_state.hpp"

#include "rclcpp/node.hpp"

#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "rclcpp_lifecycle/managed_entity.hpp"
#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/transition.hpp"

#include "state_machine.hpp"

namespace rclcpp_lifecycle
{

class LifecycleNode::LifecycleNodeInterfaceImpl
{
  using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;
  using Callback = std::function<CallbackReturn(const State &)>;

public:
  explicit LifecycleNodeInterfaceImpl(std::shared_ptr<rclcpp::Node> node);

  /// Creates services and the event publisher (when enabled).
  void init(bool enable_communication_interface);

  bool register_callback(uint8_t transition_state_id, Callback cb);

  const State & get_current_state();
  std::vector<State> get_available_states() const;
  std::vector<Transition> get_available_transitions() const;
  std::vector<Transition> get_transition_graph() const;

  const State & trigger_transition(uint8_t transition_id);
  const State & trigger_transition(uint8_t transition_id, CallbackReturn & cb_return_code);
  const State & trigger_transition(const char * transition_label);
  const State & trigger_transition(const char * transition_label, CallbackReturn & cb_return_code);

  void on_activate() const;
  void on_deactivate() const;
  void add_managed_entity(std::weak_ptr<ManagedEntityInterface> managed_entity);
  void add_timer_handle(std::shared_ptr<rclcpp::TimerBase> timer);

private:
  /// Runs one transition; false when it could not start (then the state is unchanged).
  bool change_state(uint8_t transition_id, CallbackReturn & cb_return_code);
  CallbackReturn execute_callback(uint8_t cb_id, const State & previous_state);
  /// Follows the result edge of the current transition state; false if there is none.
  bool finish(const char * label);
  void publish_event(uint8_t start, uint8_t goal);
  static State make_state(uint8_t id);
  static Transition make_transition(const detail::Edge & edge);

  std::shared_ptr<rclcpp::Node> node_;
  mutable std::recursive_mutex state_machine_mutex_;
  detail::StateMachine state_machine_;
  State current_state_;
  std::map<uint8_t, Callback> cb_map_;
  std::vector<std::weak_ptr<ManagedEntityInterface>> weak_managed_entities_;
  std::vector<std::weak_ptr<rclcpp::TimerBase>> weak_timers_;

  rclcpp::Publisher<lifecycle_msgs::msg::TransitionEvent>::SharedPtr pub_transition_event_;
  rclcpp::Service<lifecycle_msgs::srv::ChangeState>::SharedPtr srv_change_state_;
  rclcpp::Service<lifecycle_msgs::srv::GetState>::SharedPtr srv_get_state_;
  rclcpp::Service<lifecycle_msgs::srv::GetAvailableStates>::SharedPtr srv_get_available_states_;
  rclcpp::Service<lifecycle_msgs::srv::GetAvailableTransitions>::SharedPtr
    srv_get_available_transitions_;
  rclcpp::Service<lifecycle_msgs::srv::GetAvailableTransitions>::SharedPtr
    srv_get_transition_graph_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__LIFECYCLE_NODE_INTERFACE_IMPL_HPP_
