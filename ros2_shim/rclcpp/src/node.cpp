#include "rclcpp/node.hpp"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/node_interfaces/node_base.hpp"
#include "rclcpp/node_interfaces/node_graph.hpp"
#include "rclcpp/shim/arguments.hpp"
#include "rclcpp/shim/names.hpp"
#include "rclcpp/shim/parameter_store.hpp"
#include "rclcpp/shim/rosout.hpp"

namespace rclcpp
{

namespace
{

std::unique_ptr<shim::ParameterStore> make_parameter_store(
  rclcpp::node_interfaces::NodeBase & base, const NodeOptions & options)
{
  auto overrides = shim::resolve_parameter_overrides(
    base.get_fully_qualified_name(), options.parameter_overrides(),
    base.shim_local_arguments(), base.shim_global_arguments());
  return std::make_unique<shim::ParameterStore>(
    std::move(overrides), options.allow_undeclared_parameters());
}

}  // namespace

Node::Node(const std::string & node_name, const NodeOptions & options)
: Node(node_name, "", options)
{}

Node::Node(
  const std::string & node_name,
  const std::string & namespace_,
  const NodeOptions & options)
: node_options_(options)
{
  auto base = std::make_shared<rclcpp::node_interfaces::NodeBase>(node_name, namespace_, options);
  node_base_ = base;
  node_logging_ = std::make_shared<rclcpp::node_interfaces::NodeLoggingInterface>(
    rclcpp::get_logger(
      shim::node_logger_name(base->get_namespace(), base->get_name())));
  node_graph_ = std::make_shared<rclcpp::node_interfaces::NodeGraph>(base.get());
  node_timers_ = std::make_shared<rclcpp::node_interfaces::NodeTimersInterface>(base.get());
  node_topics_ = std::make_shared<rclcpp::node_interfaces::NodeTopicsInterface>(
    base.get(), node_timers_.get(), node_logging_->get_logger());
  node_services_ = std::make_shared<rclcpp::node_interfaces::NodeServicesInterface>(base.get());
  node_clock_ = std::make_shared<rclcpp::node_interfaces::NodeClockInterface>();
  node_parameters_ = std::make_shared<rclcpp::node_interfaces::NodeParametersInterface>(
    make_parameter_store(*base, options));
  node_time_source_ = std::make_shared<rclcpp::node_interfaces::NodeTimeSourceInterface>();
  node_waitables_ = std::make_shared<rclcpp::node_interfaces::NodeWaitablesInterface>();

  // Log lines of the node's logger also go to /rosout, as rcl arranges for each node.
  if (options.enable_rosout() && shim::rosout_enabled()) {
    rclcpp::PublisherOptions rosout_options;
    // The middleware's own publisher reports no QoS events.
    rosout_options.use_default_callbacks = false;
    rosout_publisher_ = create_publisher<rcl_interfaces::msg::Log>(
      "/rosout", options.rosout_qos(), rosout_options);
    rosout_route_ = shim::register_rosout_publisher(
      node_logging_->get_logger_name(), rosout_publisher_);
  }

  if (options.start_parameter_event_publisher()) {
    // Read-only QoS parameters of the event publisher, as Humble declares them.
    const auto & qos = options.parameter_event_qos();
    rcl_interfaces::msg::ParameterDescriptor read_only;
    read_only.read_only = true;
    const std::string prefix = "qos_overrides./parameter_events.publisher.";
    const std::pair<const char *, rclcpp::ParameterValue> qos_parameters[] = {
      {"depth", rclcpp::ParameterValue(static_cast<int64_t>(qos.depth()))},
      {"durability", rclcpp::ParameterValue(
          qos.durability() == rclcpp::DurabilityPolicy::TransientLocal ?
          "transient_local" : "volatile")},
      {"history", rclcpp::ParameterValue(
          qos.history() == rclcpp::HistoryPolicy::KeepAll ? "keep_all" : "keep_last")},
      {"reliability", rclcpp::ParameterValue(
          qos.reliability() == rclcpp::ReliabilityPolicy::BestEffort ?
          "best_effort" : "reliable")},
    };
    for (const auto & entry : qos_parameters) {
      if (!node_parameters_->has_parameter(prefix + entry.first)) {
        node_parameters_->declare_parameter(prefix + entry.first, entry.second, read_only);
      }
    }
  }
  if (options.start_parameter_services()) {
    parameter_service_ = std::make_shared<rclcpp::ParameterService>(
      node_base_, node_services_, node_parameters_.get(),
      rclcpp::ParametersQoS().get_rmw_qos_profile());
  }

  if (options.start_parameter_event_publisher()) {
    parameter_event_publisher_ = create_publisher<rcl_interfaces::msg::ParameterEvent>(
      "/parameter_events", options.parameter_event_qos(),
      rclcpp::PublisherOptions(options.parameter_event_publisher_options()));
    node_parameters_->shim_store().set_event_sink(
      [this](
        const std::vector<rclcpp::Parameter> & new_parameters,
        const std::vector<rclcpp::Parameter> & changed_parameters,
        const std::vector<rclcpp::Parameter> & deleted_parameters) {
        shim_publish_parameter_event(new_parameters, changed_parameters, deleted_parameters);
      });
  }
  // Declared once the event publisher exists, so that they are announced like any other:
  // first the overrides nobody declared (if asked for), then use_sim_time, in rclcpp's order.
  if (options.automatically_declare_parameters_from_overrides()) {
    node_parameters_->shim_store().declare_parameters_from_overrides();
  }
  if (!node_parameters_->has_parameter("use_sim_time")) {
    node_parameters_->declare_parameter("use_sim_time", rclcpp::ParameterValue(false));
  }
}

Node::~Node()
{
  // A line logged from now on (by another thread, or below) must find no route to us.
  rosout_route_.reset();
  // The sink captures this; later parameter changes must not reach a dead node.
  node_parameters_->shim_store().set_event_sink(nullptr);
}

void Node::shim_publish_parameter_event(
  const std::vector<rclcpp::Parameter> & new_parameters,
  const std::vector<rclcpp::Parameter> & changed_parameters,
  const std::vector<rclcpp::Parameter> & deleted_parameters)
{
  if (!parameter_event_publisher_) {
    return;
  }
  rcl_interfaces::msg::ParameterEvent event;
  event.stamp = node_clock_->get_clock()->now();
  event.node = get_fully_qualified_name();
  for (const auto & p : new_parameters) {
    event.new_parameters.push_back(p.to_parameter_msg());
  }
  for (const auto & p : changed_parameters) {
    event.changed_parameters.push_back(p.to_parameter_msg());
  }
  for (const auto & p : deleted_parameters) {
    event.deleted_parameters.push_back(p.to_parameter_msg());
  }
  parameter_event_publisher_->publish(event);
}

const char * Node::get_name() const {return node_base_->get_name();}
const char * Node::get_namespace() const {return node_base_->get_namespace();}
const char * Node::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}
rclcpp::Logger Node::get_logger() const {return node_logging_->get_logger();}

rclcpp::CallbackGroup::SharedPtr Node::create_callback_group(
  rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return node_parameters_->declare_parameter(
    name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, rclcpp::ParameterType type,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return node_parameters_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void Node::undeclare_parameter(const std::string & name)
{
  node_parameters_->undeclare_parameter(name);
}

bool Node::has_parameter(const std::string & name) const
{
  return node_parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const rclcpp::Parameter & parameter)
{
  return set_parameters_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter Node::get_parameter(const std::string & name) const
{
  return node_parameters_->get_parameter(name);
}

bool Node::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> Node::get_parameters(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor Node::describe_parameter(const std::string & name) const
{
  auto result = node_parameters_->describe_parameters({name});
  if (result.empty()) {
    throw rclcpp::exceptions::ParameterNotDeclaredException(name);
  }
  if (result.size() > 1) {
    throw std::runtime_error("number of described parameters unexpectedly more than one");
  }
  return result.front();
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> Node::describe_parameters(
  const std::vector<std::string> & names) const
{
  return node_parameters_->describe_parameters(names);
}

std::vector<uint8_t> Node::get_parameter_types(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult Node::list_parameters(
  const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return node_parameters_->list_parameters(prefixes, depth);
}

Node::OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
  OnParametersSetCallbackType callback)
{
  return node_parameters_->add_on_set_parameters_callback(std::move(callback));
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
{
  node_parameters_->remove_on_set_parameters_callback(handler);
}

std::vector<std::string> Node::get_node_names() const
{
  return node_graph_->get_node_names();
}

std::map<std::string, std::vector<std::string>> Node::get_topic_names_and_types() const
{
  return node_graph_->get_topic_names_and_types();
}

std::map<std::string, std::vector<std::string>> Node::get_service_names_and_types() const
{
  return node_graph_->get_service_names_and_types();
}

size_t Node::count_publishers(const std::string & topic_name) const
{
  return node_graph_->count_publishers(topic_name);
}

size_t Node::count_subscribers(const std::string & topic_name) const
{
  return node_graph_->count_subscribers(topic_name);
}

rclcpp::Clock::SharedPtr Node::get_clock() {return node_clock_->get_clock();}

rclcpp::Clock::ConstSharedPtr Node::get_clock() const
{
  return std::const_pointer_cast<const rclcpp::node_interfaces::NodeClockInterface>(
    node_clock_)->get_clock();
}

rclcpp::Time Node::now() const {return node_clock_->get_clock()->now();}

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr Node::get_node_base_interface()
{
  return node_base_;
}
rclcpp::node_interfaces::NodeClockInterface::SharedPtr Node::get_node_clock_interface()
{
  return node_clock_;
}
rclcpp::node_interfaces::NodeGraphInterface::SharedPtr Node::get_node_graph_interface()
{
  return node_graph_;
}
rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr Node::get_node_logging_interface()
{
  return node_logging_;
}
rclcpp::node_interfaces::NodeTimersInterface::SharedPtr Node::get_node_timers_interface()
{
  return node_timers_;
}
rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr Node::get_node_topics_interface()
{
  return node_topics_;
}
rclcpp::node_interfaces::NodeServicesInterface::SharedPtr Node::get_node_services_interface()
{
  return node_services_;
}
rclcpp::node_interfaces::NodeParametersInterface::SharedPtr Node::get_node_parameters_interface()
{
  return node_parameters_;
}
rclcpp::node_interfaces::NodeTimeSourceInterface::SharedPtr Node::get_node_time_source_interface()
{
  return node_time_source_;
}
rclcpp::node_interfaces::NodeWaitablesInterface::SharedPtr Node::get_node_waitables_interface()
{
  return node_waitables_;
}

const rclcpp::NodeOptions & Node::get_node_options() const {return node_options_;}

}  // namespace rclcpp
