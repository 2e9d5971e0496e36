#include "lifecycle_node_interface_impl.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "lifecycle_msgs/msg/transition_description.hpp"

#include "rclcpp/logging.hpp"
#include "rcutils/logging_macros.h"

namespace rclcpp_lifecycle
{

namespace
{
#define RCLCPP_LIFECYCLE_STRINGIFY_(x) #x
#define RCLCPP_LIFECYCLE_STRINGIFY(x) RCLCPP_LIFECYCLE_STRINGIFY_(x)
constexpr const char * kNotRegistered =
  "Transition is not registered., at " __FILE__ ":" RCLCPP_LIFECYCLE_STRINGIFY(__LINE__);

const char * label_for(node_interfaces::LifecycleNodeInterface::CallbackReturn code)
{
  using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;
  switch (code) {
    case CallbackReturn::SUCCESS: return detail::kSuccessLabel;
    case CallbackReturn::FAILURE: return detail::kFailureLabel;
    default: return detail::kErrorLabel;
  }
}
}  // namespace

LifecycleNode::LifecycleNodeInterfaceImpl::LifecycleNodeInterfaceImpl(
  std::shared_ptr<rclcpp::Node> node)
: node_(std::move(node)),
  current_state_(make_state(state_machine_.current()))
{
}

void LifecycleNode::LifecycleNodeInterfaceImpl::init(bool enable_communication_interface)
{
  if (!enable_communication_interface) {
    return;
  }
  using std::placeholders::_1;
  using std::placeholders::_2;
  using std::placeholders::_3;
  using lifecycle_msgs::srv::ChangeState;
  using lifecycle_msgs::srv::GetState;
  using lifecycle_msgs::srv::GetAvailableStates;
  using lifecycle_msgs::srv::GetAvailableTransitions;

  pub_transition_event_ = node_->create_publisher<lifecycle_msgs::msg::TransitionEvent>(
    "~/transition_event", rclcpp::QoS(rclcpp::KeepLast(10)));

  srv_change_state_ = node_->create_service<ChangeState>(
    "~/change_state",
    [this](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<ChangeState::Request> req,
      std::shared_ptr<ChangeState::Response> resp)
    {
      uint8_t transition_id = req->transition.id;
      // A label takes precedence over the id: callers that fill only the label leave the id 0.
      if (!req->transition.label.empty()) {
        std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
        const detail::Edge * edge =
        state_machine_.find_by_label(state_machine_.current(), req->transition.label);
        if (edge == nullptr) {
          resp->success = false;
          return;
        }
        transition_id = edge->id;
      }
      CallbackReturn cb_return_code = CallbackReturn::ERROR;
      change_state(transition_id, cb_return_code);
      resp->success = (cb_return_code == CallbackReturn::SUCCESS);
    });

  srv_get_state_ = node_->create_service<GetState>(
    "~/get_state",
    [this](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetState::Request>,
      std::shared_ptr<GetState::Response> resp)
    {
      std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
      resp->current_state.id = state_machine_.current();
      resp->current_state.label = detail::StateMachine::label_of(state_machine_.current());
    });

  srv_get_available_states_ = node_->create_service<GetAvailableStates>(
    "~/get_available_states",
    [this](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetAvailableStates::Request>,
      std::shared_ptr<GetAvailableStates::Response> resp)
    {
      for (const State & s : get_available_states()) {
        lifecycle_msgs::msg::State msg;
        msg.id = s.id();
        msg.label = s.label();
        resp->available_states.push_back(msg);
      }
    });

  auto fill_descriptions = [](
    const std::vector<Transition> & transitions,
    std::vector<lifecycle_msgs::msg::TransitionDescription> & out)
    {
      for (const Transition & t : transitions) {
        lifecycle_msgs::msg::TransitionDescription d;
        d.transition.id = t.id();
        d.transition.label = t.label();
        d.start_state.id = t.start_state().id();
        d.start_state.label = t.start_state().label();
        d.goal_state.id = t.goal_state().id();
        d.goal_state.label = t.goal_state().label();
        out.push_back(d);
      }
    };

  srv_get_available_transitions_ = node_->create_service<GetAvailableTransitions>(
    "~/get_available_transitions",
    [this, fill_descriptions](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetAvailableTransitions::Request>,
      std::shared_ptr<GetAvailableTransitions::Response> resp)
    {
      fill_descriptions(get_available_transitions(), resp->available_transitions);
    });

  srv_get_transition_graph_ = node_->create_service<GetAvailableTransitions>(
    "~/get_transition_graph",
    [this, fill_descriptions](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetAvailableTransitions::Request>,
      std::shared_ptr<GetAvailableTransitions::Response> resp)
    {
      fill_descriptions(get_transition_graph(), resp->available_transitions);
    });
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::register_callback(
  uint8_t transition_state_id, Callback cb)
{
  cb_map_[transition_state_id] = std::move(cb);
  return true;
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::get_current_state()
{
  return current_state_;
}

std::vector<State> LifecycleNode::LifecycleNodeInterfaceImpl::get_available_states() const
{
  std::vector<State> states;
  for (uint8_t id : detail::StateMachine::state_ids()) {
    states.push_back(make_state(id));
  }
  return states;
}

std::vector<Transition>
LifecycleNode::LifecycleNodeInterfaceImpl::get_available_transitions() const
{
  std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
  std::vector<Transition> transitions;
  for (const detail::Edge & e : state_machine_.edges_from(state_machine_.current())) {
    transitions.push_back(make_transition(e));
  }
  return transitions;
}

std::vector<Transition> LifecycleNode::LifecycleNodeInterfaceImpl::get_transition_graph() const
{
  std::vector<Transition> transitions;
  for (const detail::Edge & e : state_machine_.edges()) {
    transitions.push_back(make_transition(e));
  }
  return transitions;
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::trigger_transition(uint8_t transition_id)
{
  CallbackReturn error = CallbackReturn::ERROR;
  return trigger_transition(transition_id, error);
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::trigger_transition(
  uint8_t transition_id, CallbackReturn & cb_return_code)
{
  change_state(transition_id, cb_return_code);
  return get_current_state();
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::trigger_transition(
  const char * transition_label)
{
  CallbackReturn error = CallbackReturn::ERROR;
  return trigger_transition(transition_label, error);
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::trigger_transition(
  const char * transition_label, CallbackReturn & cb_return_code)
{
  const detail::Edge * edge = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    edge = state_machine_.find_by_label(state_machine_.current(), transition_label);
  }
  if (edge != nullptr) {
    change_state(edge->id, cb_return_code);
  } else {
    RCUTILS_LOG_WARN_NAMED(
      "rcl_lifecycle", "No transition matching %s found for current state %s",
      transition_label, current_state_.label().c_str());
    cb_return_code = CallbackReturn::ERROR;
  }
  return get_current_state();
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::change_state(
  uint8_t transition_id, CallbackReturn & cb_return_code)
{
  State initial_state;
  uint8_t current_state_id;
  {
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    initial_state = make_state(state_machine_.current());
    const detail::Edge * edge = state_machine_.find_by_id(state_machine_.current(), transition_id);
    if (edge == nullptr) {
      const std::string label = detail::StateMachine::label_of(state_machine_.current());
      RCUTILS_LOG_WARN_NAMED(
        "rcl_lifecycle", "No transition matching %u found for current state %s",
        static_cast<unsigned int>(transition_id), label.c_str());
      RCLCPP_ERROR(
        node_->get_logger(), "Unable to start transition %u from current state %s: %s",
        static_cast<unsigned int>(transition_id), label.c_str(), kNotRegistered);
      // A refused transition is not a success, whatever the caller's variable held.
      cb_return_code = CallbackReturn::ERROR;
      return false;
    }
    const detail::Edge taken = *edge;
    state_machine_.follow(taken);
    publish_event(taken.start, taken.goal);
    current_state_id = state_machine_.current();
    current_state_ = make_state(current_state_id);
  }

  cb_return_code = execute_callback(current_state_id, initial_state);
  if (!finish(label_for(cb_return_code))) {
    RCLCPP_ERROR(
      node_->get_logger(), "Failed to finish transition %u. Current state is now: %s",
      static_cast<unsigned int>(transition_id), current_state_.label().c_str());
    return false;
  }

  if (cb_return_code == CallbackReturn::ERROR) {
    RCLCPP_WARN(node_->get_logger(), "Error occurred while doing error handling.");
    {
      std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
      current_state_id = state_machine_.current();
    }
    const CallbackReturn error_cb_code = execute_callback(current_state_id, initial_state);
    if (!finish(label_for(error_cb_code))) {
      RCLCPP_ERROR(node_->get_logger(), "Failed to call cleanup on error state");
      return false;
    }
  }
  return true;
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::finish(const char * label)
{
  std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
  const detail::Edge * edge = state_machine_.find_by_label(state_machine_.current(), label);
  if (edge == nullptr) {
    return false;
  }
  const detail::Edge taken = *edge;
  state_machine_.follow(taken);
  publish_event(taken.start, taken.goal);
  current_state_ = make_state(state_machine_.current());
  return true;
}

LifecycleNode::LifecycleNodeInterfaceImpl::CallbackReturn
LifecycleNode::LifecycleNodeInterfaceImpl::execute_callback(
  uint8_t cb_id, const State & previous_state)
{
  CallbackReturn cb_success = CallbackReturn::SUCCESS;
  auto it = cb_map_.find(cb_id);
  if (it != cb_map_.end()) {
    auto callback = it->second;
    try {
      cb_success = callback(State(previous_state));
    } catch (const std::exception & e) {
      RCLCPP_ERROR(
        node_->get_logger(), "Caught exception in callback for transition %d",
        static_cast<int>(it->first));
      RCLCPP_ERROR(node_->get_logger(), "Original error: %s", e.what());
      cb_success = CallbackReturn::ERROR;
    } catch (...) {
      RCLCPP_ERROR(
        node_->get_logger(), "Caught exception in callback for transition %d",
        static_cast<int>(it->first));
      cb_success = CallbackReturn::ERROR;
    }
  }
  return cb_success;
}

void LifecycleNode::LifecycleNodeInterfaceImpl::publish_event(uint8_t start, uint8_t goal)
{
  if (!pub_transition_event_) {
    return;
  }
  lifecycle_msgs::msg::TransitionEvent msg;
  msg.start_state.id = start;
  msg.start_state.label = detail::StateMachine::label_of(start);
  msg.goal_state.id = goal;
  msg.goal_state.label = detail::StateMachine::label_of(goal);
  pub_transition_event_->publish(msg);
}

void LifecycleNode::LifecycleNodeInterfaceImpl::on_activate() const
{
  for (const auto & weak_entity : weak_managed_entities_) {
    if (auto entity = weak_entity.lock()) {
      entity->on_activate();
    }
  }
}

void LifecycleNode::LifecycleNodeInterfaceImpl::on_deactivate() const
{
  for (const auto & weak_entity : weak_managed_entities_) {
    if (auto entity = weak_entity.lock()) {
      entity->on_deactivate();
    }
  }
}

void LifecycleNode::LifecycleNodeInterfaceImpl::add_managed_entity(
  std::weak_ptr<ManagedEntityInterface> managed_entity)
{
  weak_managed_entities_.push_back(std::move(managed_entity));
}

void LifecycleNode::LifecycleNodeInterfaceImpl::add_timer_handle(
  std::shared_ptr<rclcpp::TimerBase> timer)
{
  weak_timers_.push_back(timer);
}

State LifecycleNode::LifecycleNodeInterfaceImpl::make_state(uint8_t id)
{
  return State(id, detail::StateMachine::label_of(id));
}

Transition LifecycleNode::LifecycleNodeInterfaceImpl::make_transition(const detail::Edge & edge)
{
  return Transition(edge.id, edge.label, make_state(edge.start), make_state(edge.goal));
}

}  // namespace rclcpp_lifecycle
