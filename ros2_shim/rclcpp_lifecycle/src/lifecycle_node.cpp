#include "rclcpp_lifecycle/lifecycle_node.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"

#include "lifecycle_node_interface_impl.hpp"

namespace rclcpp_lifecycle
{

namespace
{
using StateMsg = lifecycle_msgs::msg::State;
using TransitionMsg = lifecycle_msgs::msg::Transition;
}  // namespace

LifecycleNode::LifecycleNode(
  const std::string & node_name,
  const rclcpp::NodeOptions & options,
  bool enable_communication_interface)
: LifecycleNode(node_name, "", options, enable_communication_interface)
{
}

LifecycleNode::LifecycleNode(
  const std::string & node_name,
  const std::string & namespace_,
  const rclcpp::NodeOptions & options,
  bool enable_communication_interface)
: node_(std::make_shared<rclcpp::Node>(node_name, namespace_, options)),
  impl_(std::make_unique<LifecycleNodeInterfaceImpl>(node_))
{
  impl_->init(enable_communication_interface);

  using std::placeholders::_1;
  register_on_configure(std::bind(&LifecycleNodeInterface::on_configure, this, _1));
  register_on_cleanup(std::bind(&LifecycleNodeInterface::on_cleanup, this, _1));
  register_on_shutdown(std::bind(&LifecycleNodeInterface::on_shutdown, this, _1));
  register_on_activate(std::bind(&LifecycleNodeInterface::on_activate, this, _1));
  register_on_deactivate(std::bind(&LifecycleNodeInterface::on_deactivate, this, _1));
  register_on_error(std::bind(&LifecycleNodeInterface::on_error, this, _1));
}

LifecycleNode::~LifecycleNode()
{
  // The lifecycle services call into impl_: they go first, together with impl_, while the
  // inner node may still be held elsewhere (e.g. by an executor).
  impl_.reset();
}

const char *
LifecycleNode::get_name() const
{
  return node_->get_name();
}

const char *
LifecycleNode::get_namespace() const
{
  return node_->get_namespace();
}

const char *
LifecycleNode::get_fully_qualified_name() const
{
  return node_->get_fully_qualified_name();
}

rclcpp::Logger
LifecycleNode::get_logger() const
{
  return node_->get_logger();
}

rclcpp::CallbackGroup::SharedPtr
LifecycleNode::create_callback_group(
  rclcpp::CallbackGroupType group_type,
  bool automatically_add_to_executor_with_node)
{
  return node_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

const rclcpp::ParameterValue &
LifecycleNode::declare_parameter(
  const std::string & name,
  const rclcpp::ParameterValue & default_value,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
  bool ignore_override)
{
  return node_->declare_parameter(name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue &
LifecycleNode::declare_parameter(
  const std::string & name,
  rclcpp::ParameterType type,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
  bool ignore_override)
{
  return node_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void
LifecycleNode::undeclare_parameter(const std::string & name)
{
  node_->undeclare_parameter(name);
}

bool
LifecycleNode::has_parameter(const std::string & name) const
{
  return node_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult
LifecycleNode::set_parameter(const rclcpp::Parameter & parameter)
{
  return node_->set_parameter(parameter);
}

std::vector<rcl_interfaces::msg::SetParametersResult>
LifecycleNode::set_parameters(const std::vector<rclcpp::Parameter> & parameters)
{
  return node_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult
LifecycleNode::set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters)
{
  return node_->set_parameters_atomically(parameters);
}

rclcpp::Parameter
LifecycleNode::get_parameter(const std::string & name) const
{
  return node_->get_parameter(name);
}

bool
LifecycleNode::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter>
LifecycleNode::get_parameters(const std::vector<std::string> & names) const
{
  return node_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor
LifecycleNode::describe_parameter(const std::string & name) const
{
  return node_->describe_parameter(name);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor>
LifecycleNode::describe_parameters(const std::vector<std::string> & names) const
{
  return node_->describe_parameters(names);
}

std::vector<uint8_t>
LifecycleNode::get_parameter_types(const std::vector<std::string> & names) const
{
  return node_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult
LifecycleNode::list_parameters(const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return node_->list_parameters(prefixes, depth);
}

rclcpp::node_interfaces::OnSetParametersCallbackHandle::SharedPtr
LifecycleNode::add_on_set_parameters_callback(
  rclcpp::node_interfaces::NodeParametersInterface::OnParametersSetCallbackType callback)
{
  return node_->add_on_set_parameters_callback(std::move(callback));
}

void
LifecycleNode::remove_on_set_parameters_callback(
  const rclcpp::node_interfaces::OnSetParametersCallbackHandle * const handler)
{
  node_->remove_on_set_parameters_callback(handler);
}

std::vector<std::string>
LifecycleNode::get_node_names() const
{
  return node_->get_node_names();
}

std::map<std::string, std::vector<std::string>>
LifecycleNode::get_topic_names_and_types(bool no_demangle) const
{
  return node_->get_node_graph_interface()->get_topic_names_and_types(no_demangle);
}

std::map<std::string, std::vector<std::string>>
LifecycleNode::get_service_names_and_types() const
{
  return node_->get_service_names_and_types();
}

size_t
LifecycleNode::count_publishers(const std::string & topic_name) const
{
  return node_->count_publishers(topic_name);
}

size_t
LifecycleNode::count_subscribers(const std::string & topic_name) const
{
  return node_->count_subscribers(topic_name);
}

rclcpp::Clock::SharedPtr
LifecycleNode::get_clock()
{
  return node_->get_clock();
}

rclcpp::Clock::ConstSharedPtr
LifecycleNode::get_clock() const
{
  return std::const_pointer_cast<const rclcpp::Node>(node_)->get_clock();
}

rclcpp::Time
LifecycleNode::now() const
{
  return node_->now();
}

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr
LifecycleNode::get_node_base_interface()
{
  return node_->get_node_base_interface();
}

rclcpp::node_interfaces::NodeClockInterface::SharedPtr
LifecycleNode::get_node_clock_interface()
{
  return node_->get_node_clock_interface();
}

rclcpp::node_interfaces::NodeGraphInterface::SharedPtr
LifecycleNode::get_node_graph_interface()
{
  return node_->get_node_graph_interface();
}

rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr
LifecycleNode::get_node_logging_interface()
{
  return node_->get_node_logging_interface();
}

rclcpp::node_interfaces::NodeTimersInterface::SharedPtr
LifecycleNode::get_node_timers_interface()
{
  return node_->get_node_timers_interface();
}

rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr
LifecycleNode::get_node_topics_interface()
{
  return node_->get_node_topics_interface();
}

rclcpp::node_interfaces::NodeServicesInterface::SharedPtr
LifecycleNode::get_node_services_interface()
{
  return node_->get_node_services_interface();
}

rclcpp::node_interfaces::NodeParametersInterface::SharedPtr
LifecycleNode::get_node_parameters_interface()
{
  return node_->get_node_parameters_interface();
}

rclcpp::node_interfaces::NodeTimeSourceInterface::SharedPtr
LifecycleNode::get_node_time_source_interface()
{
  return node_->get_node_time_source_interface();
}

rclcpp::node_interfaces::NodeWaitablesInterface::SharedPtr
LifecycleNode::get_node_waitables_interface()
{
  return node_->get_node_waitables_interface();
}

const rclcpp::NodeOptions &
LifecycleNode::get_node_options() const
{
  return node_->get_node_options();
}

// The lifecycle part.

const rclcpp_lifecycle::State &
LifecycleNode::get_current_state()
{
  return impl_->get_current_state();
}

std::vector<rclcpp_lifecycle::State>
LifecycleNode::get_available_states()
{
  return impl_->get_available_states();
}

std::vector<rclcpp_lifecycle::Transition>
LifecycleNode::get_available_transitions()
{
  return impl_->get_available_transitions();
}

std::vector<rclcpp_lifecycle::Transition>
LifecycleNode::get_transition_graph()
{
  return impl_->get_transition_graph();
}

const rclcpp_lifecycle::State &
LifecycleNode::trigger_transition(const rclcpp_lifecycle::Transition & transition)
{
  return impl_->trigger_transition(transition.id());
}

const rclcpp_lifecycle::State &
LifecycleNode::trigger_transition(
  const rclcpp_lifecycle::Transition & transition,
  LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(transition.id(), cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::trigger_transition(uint8_t transition_id)
{
  return impl_->trigger_transition(transition_id);
}

const rclcpp_lifecycle::State &
LifecycleNode::trigger_transition(
  uint8_t transition_id, LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(transition_id, cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::configure()
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_CONFIGURE);
}

const rclcpp_lifecycle::State &
LifecycleNode::configure(LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_CONFIGURE, cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::cleanup()
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_CLEANUP);
}

const rclcpp_lifecycle::State &
LifecycleNode::cleanup(LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_CLEANUP, cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::activate()
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_ACTIVATE);
}

const rclcpp_lifecycle::State &
LifecycleNode::activate(LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_ACTIVATE, cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::deactivate()
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_DEACTIVATE);
}

const rclcpp_lifecycle::State &
LifecycleNode::deactivate(LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition(TransitionMsg::TRANSITION_DEACTIVATE, cb_return_code);
}

const rclcpp_lifecycle::State &
LifecycleNode::shutdown()
{
  return impl_->trigger_transition("shutdown");
}

const rclcpp_lifecycle::State &
LifecycleNode::shutdown(LifecycleNodeInterface::CallbackReturn & cb_return_code)
{
  return impl_->trigger_transition("shutdown", cb_return_code);
}

bool
LifecycleNode::register_on_configure(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_CONFIGURING, std::move(fcn));
}

bool
LifecycleNode::register_on_cleanup(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_CLEANINGUP, std::move(fcn));
}

bool
LifecycleNode::register_on_shutdown(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_SHUTTINGDOWN, std::move(fcn));
}

bool
LifecycleNode::register_on_activate(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_ACTIVATING, std::move(fcn));
}

bool
LifecycleNode::register_on_deactivate(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_DEACTIVATING, std::move(fcn));
}

bool
LifecycleNode::register_on_error(
  std::function<LifecycleNodeInterface::CallbackReturn(const rclcpp_lifecycle::State &)> fcn)
{
  return impl_->register_callback(StateMsg::TRANSITION_STATE_ERRORPROCESSING, std::move(fcn));
}

node_interfaces::LifecycleNodeInterface::CallbackReturn
LifecycleNode::on_activate(const rclcpp_lifecycle::State &)
{
  impl_->on_activate();
  return LifecycleNodeInterface::CallbackReturn::SUCCESS;
}

node_interfaces::LifecycleNodeInterface::CallbackReturn
LifecycleNode::on_deactivate(const rclcpp_lifecycle::State &)
{
  impl_->on_deactivate();
  return LifecycleNodeInterface::CallbackReturn::SUCCESS;
}

void
LifecycleNode::add_managed_entity(
  std::weak_ptr<rclcpp_lifecycle::ManagedEntityInterface> managed_entity)
{
  impl_->add_managed_entity(std::move(managed_entity));
}

void
LifecycleNode::add_timer_handle(std::shared_ptr<rclcpp::TimerBase> timer)
{
  impl_->add_timer_handle(std::move(timer));
}

}  // namespace rclcpp_lifecycle
