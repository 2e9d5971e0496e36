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
  auto user_callback = options.event_callbacks.incompatible_qos_callback;
  const bool log_default = options.use_default_callbacks && !user_callback;
  endpoint_options.on_incompatible_qos =
    [user_callback, log_default, logger, topic](const std::string & policy) {
      if (user_callback) {
        QOSRequestedIncompatibleQoSInfo info{1, 1, shim::policy_kind_from_name(policy)};
        user_callback(info);
      } else if (log_default) {
        RCLCPP_WARN(
          logger,
          "New publisher discovered on topic '%s', offering incompatible QoS. "
          "No messages will be sent to it. Last incompatible policy: %s",
          topic.c_str(), policy.c_str());
      }
    };
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
