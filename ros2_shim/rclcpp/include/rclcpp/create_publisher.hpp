// rclcpp::create_publisher(node or topics interface, topic, qos, options).
#ifndef RCLCPP__CREATE_PUBLISHER_HPP_
#define RCLCPP__CREATE_PUBLISHER_HPP_

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "rclcpp/node_interfaces/get_node_interfaces.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

namespace detail
{
/// The topics interface of a node, or the argument itself if it already is one.
template<typename NodeT>
rclcpp::node_interfaces::NodeTopicsInterface * topics_interface_of(NodeT && node)
{
  using Pointee = std::decay_t<decltype(*node)>;
  if constexpr (std::is_base_of<rclcpp::node_interfaces::NodeTopicsInterface, Pointee>::value) {
    return &*node;
  } else {
    return &*rclcpp::node_interfaces::get_node_topics_interface(node);
  }
}

template<typename NodeT>
rclcpp::node_interfaces::NodeTopicsInterface * topics_interface_of_any(NodeT && node)
{
  if constexpr (rclcpp::node_interfaces::detail::is_pointer_like<NodeT>::value) {
    return topics_interface_of(std::forward<NodeT>(node));
  } else {
    return topics_interface_of(&node);
  }
}
}  // namespace detail

template<
  typename MessageT,
  typename AllocatorT = std::allocator<void>,
  typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>,
  typename NodeT>
std::shared_ptr<PublisherT>
create_publisher(
  NodeT && node,
  const std::string & topic_name,
  const rclcpp::QoS & qos,
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options = (
    rclcpp::PublisherOptionsWithAllocator<AllocatorT>()
  ))
{
  auto * topics = detail::topics_interface_of_any(std::forward<NodeT>(node));
  const std::string resolved = topics->resolve_topic_name(topic_name);
  auto publisher = std::make_shared<PublisherT>(
    topics->get_node_base_interface(), resolved, qos, options, topics->shim_logger());
  topics->add_publisher(publisher, options.callback_group);
  return publisher;
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_PUBLISHER_HPP_
