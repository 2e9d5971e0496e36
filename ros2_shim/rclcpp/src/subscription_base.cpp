#include "rclcpp/subscription_base.hpp"

#include <memory>
#include <string>

#include "rclcpp/logging.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp
{

SubscriptionBase::SubscriptionBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & topic,
  const shim::MessageType & type,
  const rclcpp::QoS & qos,
  const SubscriptionOptionsBase & options,
  const rclcpp::Logger & logger)
: topic_name_(topic)
{
  shim::EndpointOptions endpoint_options;
  endpoint_options.name = topic;
  endpoint_options.qos = qos.get_rmw_qos_profile();
  endpoint_options.node = node_base->shim_node_registration();
  endpoint_options.wake = node_base->shim_wake_target();
  // Handled on the executor, as Humble's event handler is; the default one logs as Humble's.
  shim::IncompatibleQosEvent::Handler handler = options.event_callbacks.incompatible_qos_callback;
  if (!handler && options.use_default_callbacks) {
    handler = [logger, topic](QOSRequestedIncompatibleQoSInfo & info) {
        RCLCPP_WARN(
          logger,
          "New publisher discovered on topic '%s', offering incompatible QoS. "
          "No messages will be sent to it. Last incompatible policy: %s",
          topic.c_str(), qos_policy_name_from_kind(info.last_policy_kind).c_str());
      };
  }
  if (handler) {
    qos_event_ = std::make_shared<shim::IncompatibleQosEvent>(
      std::move(handler), node_base->shim_wake_target());
  }
  endpoint_options.on_incompatible_qos = shim::IncompatibleQosEvent::raiser(qos_event_);
  endpoint_ = shim::get_transport(*node_base->get_context())->create_subscription(
    type, endpoint_options);
}

SubscriptionBase::~SubscriptionBase() = default;

const char * SubscriptionBase::get_topic_name() const {return topic_name_.c_str();}

rclcpp::QoS SubscriptionBase::get_actual_qos() const
{
  const rmw_qos_profile_t actual = endpoint_->actual_qos();
  return rclcpp::QoS(rclcpp::QoSInitialization::from_rmw(actual), actual);
}

size_t SubscriptionBase::get_publisher_count() const {return endpoint_->matched_publishers();}

bool SubscriptionBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

}  // namespace rclcpp
