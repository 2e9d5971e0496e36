// Topic side of a node: name resolution and registration of publishers/subscriptions.
#ifndef RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_

#include <memory>
#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

class NodeTimersInterface;

class NodeTopicsInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeTopicsInterface)

  RCLCPP_PUBLIC
  NodeTopicsInterface(
    NodeBaseInterface * node_base, NodeTimersInterface * node_timers, rclcpp::Logger logger);

  RCLCPP_PUBLIC
  virtual ~NodeTopicsInterface();

  /// Publishers are not kept by the node; this only checks the group.
  RCLCPP_PUBLIC
  virtual void add_publisher(
    rclcpp::PublisherBase::SharedPtr publisher, rclcpp::CallbackGroup::SharedPtr callback_group);

  /// Put the subscription into its group (the default group if null) and wake executors.
  RCLCPP_PUBLIC
  virtual void add_subscription(
    rclcpp::SubscriptionBase::SharedPtr subscription,
    rclcpp::CallbackGroup::SharedPtr callback_group);

  RCLCPP_PUBLIC
  virtual NodeBaseInterface * get_node_base_interface() const;

  RCLCPP_PUBLIC
  virtual NodeTimersInterface * get_node_timers_interface() const;

  RCLCPP_PUBLIC
  virtual std::string resolve_topic_name(const std::string & name, bool only_expand = false) const;

  /// Internal: the logger QoS incompatibilities are reported on.
  RCLCPP_PUBLIC
  const rclcpp::Logger & shim_logger() const {return logger_;}

private:
  NodeBaseInterface * node_base_;
  NodeTimersInterface * node_timers_;
  rclcpp::Logger logger_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
