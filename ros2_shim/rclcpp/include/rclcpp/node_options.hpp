// Construction options of a node.
#ifndef RCLCPP__NODE_OPTIONS_HPP_
#define RCLCPP__NODE_OPTIONS_HPP_

#include <memory>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rcutils/allocator.h"

namespace rclcpp
{

/// All setters return *this so options can be chained.
class NodeOptions
{
public:
  RCLCPP_PUBLIC
  explicit NodeOptions(rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_PUBLIC
  NodeOptions(const NodeOptions & other);

  RCLCPP_PUBLIC
  NodeOptions & operator=(const NodeOptions & other);

  RCLCPP_PUBLIC
  virtual ~NodeOptions() = default;

  /// The context the node is created in (the global default context by default).
  RCLCPP_PUBLIC rclcpp::Context::SharedPtr context() const;
  RCLCPP_PUBLIC NodeOptions & context(rclcpp::Context::SharedPtr context);

  /// Node-local command-line style arguments; they count as ROS arguments only after
  /// "--ros-args".
  RCLCPP_PUBLIC const std::vector<std::string> & arguments() const;
  RCLCPP_PUBLIC NodeOptions & arguments(const std::vector<std::string> & arguments);

  /// Parameter values that take precedence over every command-line source.
  RCLCPP_PUBLIC std::vector<rclcpp::Parameter> & parameter_overrides();
  RCLCPP_PUBLIC const std::vector<rclcpp::Parameter> & parameter_overrides() const;
  RCLCPP_PUBLIC NodeOptions & parameter_overrides(
    const std::vector<rclcpp::Parameter> & parameter_overrides);

  template<typename ParameterT>
  NodeOptions & append_parameter_override(const std::string & name, const ParameterT & value)
  {
    this->parameter_overrides().emplace_back(name, rclcpp::ParameterValue(value));
    return *this;
  }

  /// Whether the arguments given to rclcpp::init apply to this node too.
  RCLCPP_PUBLIC bool use_global_arguments() const;
  RCLCPP_PUBLIC NodeOptions & use_global_arguments(bool use_global_arguments);

  RCLCPP_PUBLIC bool enable_rosout() const;
  RCLCPP_PUBLIC NodeOptions & enable_rosout(bool enable_rosout);

  RCLCPP_PUBLIC bool use_intra_process_comms() const;
  RCLCPP_PUBLIC NodeOptions & use_intra_process_comms(bool use_intra_process_comms);

  RCLCPP_PUBLIC bool enable_topic_statistics() const;
  RCLCPP_PUBLIC NodeOptions & enable_topic_statistics(bool enable_topic_statistics);

  RCLCPP_PUBLIC bool start_parameter_services() const;
  RCLCPP_PUBLIC NodeOptions & start_parameter_services(bool start_parameter_services);

  RCLCPP_PUBLIC bool start_parameter_event_publisher() const;
  RCLCPP_PUBLIC NodeOptions & start_parameter_event_publisher(bool start_parameter_event_publisher);

  RCLCPP_PUBLIC const rclcpp::QoS & parameter_event_qos() const;
  RCLCPP_PUBLIC NodeOptions & parameter_event_qos(const rclcpp::QoS & parameter_event_qos);

  RCLCPP_PUBLIC const rclcpp::QoS & rosout_qos() const;
  RCLCPP_PUBLIC NodeOptions & rosout_qos(const rclcpp::QoS & rosout_qos);

  RCLCPP_PUBLIC const rclcpp::PublisherOptionsBase & parameter_event_publisher_options() const;
  RCLCPP_PUBLIC NodeOptions & parameter_event_publisher_options(
    const rclcpp::PublisherOptionsBase & parameter_event_publisher_options);

  /// Allow get/set of parameters that were never declared.
  RCLCPP_PUBLIC bool allow_undeclared_parameters() const;
  RCLCPP_PUBLIC NodeOptions & allow_undeclared_parameters(bool allow_undeclared_parameters);

  /// Declare every override (dynamically typed) at construction.
  RCLCPP_PUBLIC bool automatically_declare_parameters_from_overrides() const;
  RCLCPP_PUBLIC NodeOptions & automatically_declare_parameters_from_overrides(
    bool automatically_declare_parameters_from_overrides);

  RCLCPP_PUBLIC const rclcpp::QoS & clock_qos() const;
  RCLCPP_PUBLIC NodeOptions & clock_qos(const rclcpp::QoS & clock_qos);

  RCLCPP_PUBLIC bool use_clock_thread() const;
  RCLCPP_PUBLIC NodeOptions & use_clock_thread(bool use_clock_thread);

  RCLCPP_PUBLIC const rcutils_allocator_t & allocator() const;
  RCLCPP_PUBLIC NodeOptions & allocator(rcutils_allocator_t allocator);

private:
  rclcpp::Context::SharedPtr context_{rclcpp::contexts::get_global_default_context()};
  std::vector<std::string> arguments_;
  std::vector<rclcpp::Parameter> parameter_overrides_;
  bool use_global_arguments_{true};
  bool enable_rosout_{true};
  bool use_intra_process_comms_{false};
  bool enable_topic_statistics_{false};
  bool start_parameter_services_{true};
  bool start_parameter_event_publisher_{true};
  rclcpp::QoS clock_qos_ = rclcpp::ClockQoS();
  bool use_clock_thread_{true};
  rclcpp::QoS parameter_event_qos_ = rclcpp::ParameterEventsQoS(
    rclcpp::QoSInitialization::from_rmw(rmw_qos_profile_parameter_events));
  rclcpp::QoS rosout_qos_ = rclcpp::RosoutQoS();
  rclcpp::PublisherOptionsBase parameter_event_publisher_options_ = rclcpp::PublisherOptionsBase();
  bool allow_undeclared_parameters_{false};
  bool automatically_declare_parameters_from_overrides_{false};
  rcutils_allocator_t allocator_;
};

}  // namespace rclcpp

#endif  // RCLCPP__NODE_OPTIONS_HPP_
