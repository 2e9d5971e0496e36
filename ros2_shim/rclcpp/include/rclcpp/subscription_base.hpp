// Type-independent part of a subscription.
#ifndef RCLCPP__SUBSCRIPTION_BASE_HPP_
#define RCLCPP__SUBSCRIPTION_BASE_HPP_

#include <atomic>
#include <memory>
#include <string>

#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/shim/incompatible_qos_event.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

namespace node_interfaces
{
class NodeBaseInterface;
}  // namespace node_interfaces

class SubscriptionBase : public std::enable_shared_from_this<SubscriptionBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(SubscriptionBase)

  /// `topic` must already be expanded, remapped and validated.
  RCLCPP_PUBLIC
  SubscriptionBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const shim::MessageType & type,
    const rclcpp::QoS & qos,
    const SubscriptionOptionsBase & options,
    const rclcpp::Logger & logger);

  RCLCPP_PUBLIC
  virtual ~SubscriptionBase();

  RCLCPP_PUBLIC
  const char * get_topic_name() const;

  RCLCPP_PUBLIC
  rclcpp::QoS get_actual_qos() const;

  /// Number of publishers connected to this subscription (QoS-compatible ones only).
  RCLCPP_PUBLIC
  size_t get_publisher_count() const;

  RCLCPP_PUBLIC
  bool is_serialized() const {return false;}

  RCLCPP_PUBLIC
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  // Executor side (internal).
  RCLCPP_PUBLIC bool shim_has_sample() const {return endpoint_->has_sample();}
  RCLCPP_PUBLIC bool shim_take(shim::Sample & sample) {return endpoint_->take(sample);}
  /// Run the user callback for one sample taken with shim_take().
  virtual void shim_handle(const shim::Sample & sample) = 0;
  /// The incompatible-QoS reports an executor handles (null when nothing would).
  RCLCPP_PUBLIC
  const std::shared_ptr<shim::IncompatibleQosEvent> & shim_incompatible_qos_event() const
  {
    return qos_event_;
  }

protected:
  std::string topic_name_;
  std::shared_ptr<shim::IncompatibleQosEvent> qos_event_;
  std::shared_ptr<shim::SubscriptionEndpoint> endpoint_;
  std::atomic<bool> in_use_by_wait_set_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_BASE_HPP_
