#include "rclcpp/node_options.hpp"

#include <string>
#include <vector>

namespace rclcpp
{

NodeOptions::NodeOptions(rcutils_allocator_t allocator)
: allocator_(allocator)
{}

NodeOptions::NodeOptions(const NodeOptions & other) = default;

NodeOptions & NodeOptions::operator=(const NodeOptions & other) = default;

rclcpp::Context::SharedPtr NodeOptions::context() const {return context_;}
NodeOptions & NodeOptions::context(rclcpp::Context::SharedPtr context)
{
  context_ = context;
  return *this;
}

const std::vector<std::string> & NodeOptions::arguments() const {return arguments_;}
NodeOptions & NodeOptions::arguments(const std::vector<std::string> & arguments)
{
  arguments_ = arguments;
  return *this;
}

std::vector<rclcpp::Parameter> & NodeOptions::parameter_overrides() {return parameter_overrides_;}
const std::vector<rclcpp::Parameter> & NodeOptions::parameter_overrides() const
{
  return parameter_overrides_;
}
NodeOptions & NodeOptions::parameter_overrides(
  const std::vector<rclcpp::Parameter> & parameter_overrides)
{
  parameter_overrides_ = parameter_overrides;
  return *this;
}

#define RCLCPP_SHIM_OPTION(TYPE, NAME) \
  TYPE NodeOptions::NAME() const {return NAME ## _;} \
  NodeOptions & NodeOptions::NAME(TYPE value) \
  { \
    NAME ## _ = value; \
    return *this; \
  }

RCLCPP_SHIM_OPTION(bool, use_global_arguments)
RCLCPP_SHIM_OPTION(bool, enable_rosout)
RCLCPP_SHIM_OPTION(bool, use_intra_process_comms)
RCLCPP_SHIM_OPTION(bool, enable_topic_statistics)
RCLCPP_SHIM_OPTION(bool, start_parameter_services)
RCLCPP_SHIM_OPTION(bool, start_parameter_event_publisher)
RCLCPP_SHIM_OPTION(bool, allow_undeclared_parameters)
RCLCPP_SHIM_OPTION(bool, automatically_declare_parameters_from_overrides)
RCLCPP_SHIM_OPTION(bool, use_clock_thread)

#undef RCLCPP_SHIM_OPTION

#define RCLCPP_SHIM_REF_OPTION(TYPE, NAME) \
  const TYPE & NodeOptions::NAME() const {return NAME ## _;} \
  NodeOptions & NodeOptions::NAME(const TYPE & value) \
  { \
    NAME ## _ = value; \
    return *this; \
  }

RCLCPP_SHIM_REF_OPTION(rclcpp::QoS, parameter_event_qos)
RCLCPP_SHIM_REF_OPTION(rclcpp::QoS, rosout_qos)
RCLCPP_SHIM_REF_OPTION(rclcpp::QoS, clock_qos)
RCLCPP_SHIM_REF_OPTION(rclcpp::PublisherOptionsBase, parameter_event_publisher_options)

#undef RCLCPP_SHIM_REF_OPTION

const rcutils_allocator_t & NodeOptions::allocator() const {return allocator_;}
NodeOptions & NodeOptions::allocator(rcutils_allocator_t allocator)
{
  allocator_ = allocator;
  return *this;
}

}  // namespace rclcpp
