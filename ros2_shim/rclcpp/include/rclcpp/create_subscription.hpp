// rclcpp::create_subscription(node or topics interface, topic, qos, callback, options).
#ifndef RCLCPP__CREATE_SUBSCRIPTION_HPP_
#define RCLCPP__CREATE_SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/create_publisher.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp
{

template<
  typename MessageT,
  typename CallbackT,
  typename AllocatorT = std::allocator<void>,
  typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
  typename MessageMemoryStrategyT = typename SubscriptionT::MessageMemoryStrategyType,
  typename NodeT>
typename std::shared_ptr<SubscriptionT>
create_subscription(
  NodeT && node,
  const std::string & topic_name,
  const rclcpp::QoS & qos,
  CallbackT && callback,
  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options = (
    rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>()
  ),
  typename MessageMemoryStrategyT::SharedPtr msg_mem_strat = (
    MessageMemoryStrategyT::create_default()
  ))
{
  (void)msg_mem_strat;
  auto * topics = detail::topics_interface_of_any(std::forward<NodeT>(node));
  AnySubscriptionCallback<MessageT, AllocatorT> any_callback;
  any_callback.set(std::forward<CallbackT>(callback));
  const std::string resolved = topics->resolve_topic_name(topic_name);
  auto subscription = std::make_shared<SubscriptionT>(
    topics->get_node_base_interface(), resolved, qos, std::move(any_callback), options,
    topics->shim_logger());
  topics->add_subscription(subscription, options.callback_group);
  return subscription;
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_SUBSCRIPTION_HPP_
