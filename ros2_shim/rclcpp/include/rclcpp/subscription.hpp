// Typed subscription.
#ifndef RCLCPP__SUBSCRIPTION_HPP_
#define RCLCPP__SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_memory_strategy.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/shim/type_support.hpp"

namespace rclcpp
{

template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Subscription : public SubscriptionBase
{
public:
  using SubscribedType = MessageT;
  using ROSMessageType = MessageT;
  using MessageMemoryStrategyType =
    rclcpp::message_memory_strategy::MessageMemoryStrategy<MessageT, AllocatorT>;

  RCLCPP_SMART_PTR_DEFINITIONS(Subscription)

  Subscription(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const rclcpp::QoS & qos,
    AnySubscriptionCallback<MessageT, AllocatorT> callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options,
    const rclcpp::Logger & logger)
  : SubscriptionBase(node_base, topic, shim::message_type<MessageT>(), qos, options, logger),
    any_callback_(std::move(callback))
  {}

  ~Subscription() override = default;

  void shim_handle(const shim::Sample & sample) override
  {
    any_callback_.dispatch(
      std::static_pointer_cast<const MessageT>(sample.message), MessageInfo(sample.info));
  }

private:
  AnySubscriptionCallback<MessageT, AllocatorT> any_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_HPP_
