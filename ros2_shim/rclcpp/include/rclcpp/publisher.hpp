// Typed publisher.
#ifndef RCLCPP__PUBLISHER_HPP_
#define RCLCPP__PUBLISHER_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/shim/type_support.hpp"

namespace rclcpp
{

template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Publisher : public PublisherBase
{
public:
  using PublishedType = MessageT;
  using ROSMessageType = MessageT;
  using MessageAllocatorTraits =
    std::allocator_traits<typename std::allocator_traits<AllocatorT>::template rebind_alloc<MessageT>>;
  using MessageAllocator = typename MessageAllocatorTraits::allocator_type;
  using MessageDeleter = std::default_delete<MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;
  using MessageSharedPtr = std::shared_ptr<const MessageT>;

  RCLCPP_SMART_PTR_DEFINITIONS(Publisher<MessageT, AllocatorT>)

  Publisher(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options,
    const rclcpp::Logger & logger)
  : PublisherBase(node_base, topic, shim::message_type<MessageT>(), qos, options, logger)
  {}

  ~Publisher() override = default;

  /// Publish a copy of `msg`; subscriptions share that one copy.
  virtual void publish(const MessageT & msg)
  {
    if (!shim_should_publish()) {
      return;
    }
    do_publish(std::shared_ptr<const MessageT>(std::make_shared<MessageT>(msg)));
  }

  /// Publish without copying: ownership moves to the transport.
  virtual void publish(MessageUniquePtr msg)
  {
    if (!msg || !shim_should_publish()) {
      return;
    }
    std::shared_ptr<const MessageT> shared(std::move(msg));
    do_publish(std::move(shared));
  }
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_HPP_
