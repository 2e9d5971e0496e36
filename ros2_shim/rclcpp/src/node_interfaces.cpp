// Implementations of the node interfaces used by rclcpp::Node.
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_base.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/shim/names.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rcutils/error_handling.h"

namespace rclcpp
{
namespace node_interfaces
{

// ---------------------------------------------------------------------------------------
// NodeBase

NodeBase::NodeBase(
  const std::string & node_name,
  const std::string & namespace_arg,
  const rclcpp::NodeOptions & options)
: context_(options.context()),
  use_intra_process_default_(options.use_intra_process_comms()),
  enable_topic_statistics_default_(options.enable_topic_statistics()),
  wake_(std::make_shared<shim::WakeTarget>())
{
  // Local arguments are parsed first, as rcl does when it builds the node options.
  if (!options.arguments().empty()) {
    local_arguments_ = shim::parse_arguments(options.arguments(), "failed to parse arguments");
    shim::throw_if_unknown_ros_arguments(*local_arguments_);
  }

  // The context is first used when the node's guard condition is made; report it as then.
  if (!context_ || !context_->is_valid()) {
    if (!context_ || context_->shutdown_reason().empty()) {
      RCUTILS_SET_ERROR_MSG("context argument is null");
      rclcpp::exceptions::RCLInvalidArgument error(
        RCUTILS_RET_INVALID_ARGUMENT, rcutils_get_error_state(), "failed to create guard condition");
      rcutils_reset_error();
      throw error;
    }
    RCUTILS_SET_ERROR_MSG(
      "the given context is not valid, either rcl_init() was not called or rcl_shutdown() was "
      "called.");
    rclcpp::exceptions::RCLError error(
      RCUTILS_RET_ERROR, rcutils_get_error_state(), "failed to create guard condition");
    rcutils_reset_error();
    throw error;
  }

  if (options.use_global_arguments()) {
    if (const shim::ParsedArguments * global = shim::global_arguments(*context_)) {
      global_arguments_ = *global;
    }
  }

  shim::validate_node_name(node_name);
  const std::string ns = shim::normalize_namespace(namespace_arg);
  const shim::NodeIdentity identity = shim::remap_node_identity(
    node_name, ns, shim_local_arguments(), shim_global_arguments());
  name_ = identity.name;
  namespace_ = identity.namespace_;
  fully_qualified_name_ = shim::fully_qualified_node_name(namespace_, name_);

  notify_guard_condition_ = std::make_unique<rclcpp::GuardCondition>(context_);
  notify_guard_condition_->shim_set_wake_target(wake_);
  default_callback_group_ =
    std::make_shared<rclcpp::CallbackGroup>(rclcpp::CallbackGroupType::MutuallyExclusive);
  callback_groups_.push_back(default_callback_group_);

  // The node is in the graph from here on, as an rcl node is once initialised.
  registration_ = shim::get_transport(*context_)->register_node(name_, namespace_);
}

NodeBase::~NodeBase() = default;

const char * NodeBase::get_name() const {return name_.c_str();}
const char * NodeBase::get_namespace() const {return namespace_.c_str();}
const char * NodeBase::get_fully_qualified_name() const {return fully_qualified_name_.c_str();}
rclcpp::Context::SharedPtr NodeBase::get_context() {return context_;}

rclcpp::CallbackGroup::SharedPtr NodeBase::create_callback_group(
  rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  auto group = std::make_shared<rclcpp::CallbackGroup>(
    group_type, automatically_add_to_executor_with_node);
  {
    std::lock_guard<std::mutex> lock(groups_mutex_);
    callback_groups_.erase(
      std::remove_if(
        callback_groups_.begin(), callback_groups_.end(),
        [](const rclcpp::CallbackGroup::WeakPtr & w) {return w.expired();}),
      callback_groups_.end());
    callback_groups_.push_back(group);
  }
  wake_->notify();
  return group;
}

rclcpp::CallbackGroup::SharedPtr NodeBase::get_default_callback_group()
{
  return default_callback_group_;
}

bool NodeBase::callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group)
{
  std::lock_guard<std::mutex> lock(groups_mutex_);
  for (const auto & weak : callback_groups_) {
    if (weak.lock() == group) {
      return true;
    }
  }
  return false;
}

void NodeBase::for_each_callback_group(const CallbackGroupFunction & func)
{
  std::vector<rclcpp::CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(groups_mutex_);
    for (const auto & weak : callback_groups_) {
      if (auto group = weak.lock()) {
        groups.push_back(std::move(group));
      }
    }
  }
  for (const auto & group : groups) {
    func(group);
  }
}

std::atomic_bool & NodeBase::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

rclcpp::GuardCondition & NodeBase::get_notify_guard_condition() {return *notify_guard_condition_;}

bool NodeBase::get_use_intra_process_default() const {return use_intra_process_default_;}

bool NodeBase::get_enable_topic_statistics_default() const
{
  return enable_topic_statistics_default_;
}

std::string NodeBase::resolve_topic_or_service_name(
  const std::string & name, bool is_service, bool only_expand) const
{
  if (only_expand) {
    return shim::expand_name(name, name_, namespace_, is_service);
  }
  return shim::resolve_topic_or_service_name(
    name, name_, namespace_, is_service, shim_local_arguments(), shim_global_arguments());
}

const std::shared_ptr<shim::WakeTarget> & NodeBase::shim_wake_target() {return wake_;}

std::shared_ptr<shim::NodeRegistration> NodeBase::shim_node_registration() const
{
  return registration_;
}

const shim::ParsedArguments * NodeBase::shim_local_arguments() const
{
  return local_arguments_ ? &*local_arguments_ : nullptr;
}

const shim::ParsedArguments * NodeBase::shim_global_arguments() const
{
  return global_arguments_ ? &*global_arguments_ : nullptr;
}

// ---------------------------------------------------------------------------------------
// Registration helpers

namespace
{
rclcpp::CallbackGroup::SharedPtr group_or_default(
  NodeBaseInterface * node_base, rclcpp::CallbackGroup::SharedPtr group, const char * what)
{
  if (!group) {
    return node_base->get_default_callback_group();
  }
  if (!node_base->callback_group_in_node(group)) {
    throw std::runtime_error(std::string("Cannot create ") + what + ", group not in node.");
  }
  return group;
}
}  // namespace

NodeTopicsInterface::NodeTopicsInterface(
  NodeBaseInterface * node_base, NodeTimersInterface * node_timers, rclcpp::Logger logger)
: node_base_(node_base), node_timers_(node_timers), logger_(std::move(logger))
{}

NodeTopicsInterface::~NodeTopicsInterface() = default;

void NodeTopicsInterface::add_publisher(
  rclcpp::PublisherBase::SharedPtr publisher, rclcpp::CallbackGroup::SharedPtr callback_group)
{
  if (callback_group && !node_base_->callback_group_in_node(callback_group)) {
    throw std::runtime_error("Cannot create publisher, callback group not in node.");
  }
  if (const auto & event = publisher->shim_incompatible_qos_event()) {
    if (!callback_group) {
      callback_group = node_base_->get_default_callback_group();
    }
    callback_group->add_qos_event(event);
    node_base_->get_notify_guard_condition().trigger();
  }
}

void NodeTopicsInterface::add_subscription(
  rclcpp::SubscriptionBase::SharedPtr subscription,
  rclcpp::CallbackGroup::SharedPtr callback_group)
{
  auto group = group_or_default(node_base_, std::move(callback_group), "subscription");
  group->add_subscription(subscription);
  if (const auto & event = subscription->shim_incompatible_qos_event()) {
    group->add_qos_event(event);
  }
  node_base_->get_notify_guard_condition().trigger();
}

NodeBaseInterface * NodeTopicsInterface::get_node_base_interface() const {return node_base_;}

NodeTimersInterface * NodeTopicsInterface::get_node_timers_interface() const
{
  return node_timers_;
}

std::string NodeTopicsInterface::resolve_topic_name(
  const std::string & name, bool only_expand) const
{
  return node_base_->resolve_topic_or_service_name(name, false, only_expand);
}

NodeTimersInterface::NodeTimersInterface(NodeBaseInterface * node_base)
: node_base_(node_base)
{}

NodeTimersInterface::~NodeTimersInterface() = default;

void NodeTimersInterface::add_timer(
  rclcpp::TimerBase::SharedPtr timer, rclcpp::CallbackGroup::SharedPtr callback_group)
{
  auto group = group_or_default(node_base_, std::move(callback_group), "timer");
  timer->shim_set_wake_target(node_base_->shim_wake_target());
  group->add_timer(timer);
  node_base_->get_notify_guard_condition().trigger();
}

NodeServicesInterface::NodeServicesInterface(NodeBaseInterface * node_base)
: node_base_(node_base)
{}

NodeServicesInterface::~NodeServicesInterface() = default;

void NodeServicesInterface::add_client(
  rclcpp::ClientBase::SharedPtr client_base_ptr, rclcpp::CallbackGroup::SharedPtr group)
{
  auto g = group_or_default(node_base_, std::move(group), "client");
  g->add_client(client_base_ptr);
  node_base_->get_notify_guard_condition().trigger();
}

void NodeServicesInterface::add_service(
  rclcpp::ServiceBase::SharedPtr service_base_ptr, rclcpp::CallbackGroup::SharedPtr group)
{
  auto g = group_or_default(node_base_, std::move(group), "service");
  g->add_service(service_base_ptr);
  node_base_->get_notify_guard_condition().trigger();
}

std::string NodeServicesInterface::resolve_service_name(
  const std::string & name, bool only_expand) const
{
  return node_base_->resolve_topic_or_service_name(name, true, only_expand);
}

// ---------------------------------------------------------------------------------------
// Graph, logging, clock

NodeGraphInterface::NodeGraphInterface(NodeBaseInterface * node_base)
: node_base_(node_base)
{}

NodeGraphInterface::~NodeGraphInterface() = default;

std::map<std::string, std::vector<std::string>>
NodeGraphInterface::get_topic_names_and_types(bool no_demangle) const
{
  (void)no_demangle;
  return shim::get_transport(*node_base_->get_context())->get_topic_names_and_types();
}

std::map<std::string, std::vector<std::string>>
NodeGraphInterface::get_service_names_and_types() const
{
  return shim::get_transport(*node_base_->get_context())->get_service_names_and_types();
}

std::vector<std::string> NodeGraphInterface::get_node_names() const
{
  std::vector<std::string> names;
  for (const auto & entry : get_node_names_and_namespaces()) {
    const std::string & ns = entry.second;
    std::string fqn = ns.empty() || ns.back() != '/' ? ns + "/" + entry.first : ns + entry.first;
    if (fqn.front() != '/') {
      fqn.insert(fqn.begin(), '/');
    }
    names.push_back(std::move(fqn));
  }
  return names;
}

std::vector<std::pair<std::string, std::string>>
NodeGraphInterface::get_node_names_and_namespaces() const
{
  return shim::get_transport(*node_base_->get_context())->get_node_names();
}

// Counting takes the name as given, expanded but not remapped, as Humble's graph does.
size_t NodeGraphInterface::count_publishers(const std::string & topic_name) const
{
  const std::string fqn = node_base_->resolve_topic_or_service_name(topic_name, false, true);
  return shim::get_transport(*node_base_->get_context())->count_publishers(fqn);
}

size_t NodeGraphInterface::count_subscribers(const std::string & topic_name) const
{
  const std::string fqn = node_base_->resolve_topic_or_service_name(topic_name, false, true);
  return shim::get_transport(*node_base_->get_context())->count_subscribers(fqn);
}

NodeLoggingInterface::NodeLoggingInterface(rclcpp::Logger logger)
: logger_(std::move(logger))
{}

NodeLoggingInterface::~NodeLoggingInterface() = default;

rclcpp::Logger NodeLoggingInterface::get_logger() const {return logger_;}

const char * NodeLoggingInterface::get_logger_name() const {return logger_.get_name();}

NodeClockInterface::NodeClockInterface()
: clock_(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME))
{}

NodeClockInterface::~NodeClockInterface() = default;

rclcpp::Clock::SharedPtr NodeClockInterface::get_clock() {return clock_;}

rclcpp::Clock::ConstSharedPtr NodeClockInterface::get_clock() const {return clock_;}

// ---------------------------------------------------------------------------------------
// Parameters

NodeParametersInterface::NodeParametersInterface(std::unique_ptr<shim::ParameterStore> store)
: store_(std::move(store))
{}

NodeParametersInterface::~NodeParametersInterface() = default;

const rclcpp::ParameterValue & NodeParametersInterface::declare_parameter(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return store_->declare_parameter(name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & NodeParametersInterface::declare_parameter(
  const std::string & name, rclcpp::ParameterType type,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return store_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void NodeParametersInterface::undeclare_parameter(const std::string & name)
{
  store_->undeclare_parameter(name);
}

bool NodeParametersInterface::has_parameter(const std::string & name) const
{
  return store_->has_parameter(name);
}

std::vector<rcl_interfaces::msg::SetParametersResult> NodeParametersInterface::set_parameters(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return store_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult NodeParametersInterface::set_parameters_atomically(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return store_->set_parameters_atomically(parameters);
}

std::vector<rclcpp::Parameter> NodeParametersInterface::get_parameters(
  const std::vector<std::string> & names) const
{
  return store_->get_parameters(names);
}

rclcpp::Parameter NodeParametersInterface::get_parameter(const std::string & name) const
{
  return store_->get_parameter(name);
}

bool NodeParametersInterface::get_parameter(
  const std::string & name, rclcpp::Parameter & parameter) const
{
  return store_->get_parameter(name, parameter);
}

bool NodeParametersInterface::get_parameters_by_prefix(
  const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const
{
  return store_->get_parameters_by_prefix(prefix, parameters);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor>
NodeParametersInterface::describe_parameters(const std::vector<std::string> & names) const
{
  return store_->describe_parameters(names);
}

std::vector<uint8_t> NodeParametersInterface::get_parameter_types(
  const std::vector<std::string> & names) const
{
  return store_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult NodeParametersInterface::list_parameters(
  const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return store_->list_parameters(prefixes, depth);
}

OnSetParametersCallbackHandle::SharedPtr
NodeParametersInterface::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  return store_->add_on_set_parameters_callback(std::move(callback));
}

void NodeParametersInterface::remove_on_set_parameters_callback(
  const OnSetParametersCallbackHandle * const handler)
{
  store_->remove_on_set_parameters_callback(handler);
}

const std::map<std::string, rclcpp::ParameterValue> &
NodeParametersInterface::get_parameter_overrides() const
{
  return store_->get_parameter_overrides();
}

}  // namespace node_interfaces
}  // namespace rclcpp
