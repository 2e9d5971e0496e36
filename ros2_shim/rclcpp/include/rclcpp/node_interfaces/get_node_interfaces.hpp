// get_node_base_interface(node) / get_node_timers_interface(node) / ...: accept a node as
// shared_ptr, raw pointer or reference (Node, LifecycleNode, or anything with the getters).
#ifndef RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACES_HPP_
#define RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACES_HPP_

#include <memory>
#include <type_traits>

namespace rclcpp
{
namespace node_interfaces
{
namespace detail
{
template<typename T>
struct is_pointer_like : std::is_pointer<std::decay_t<T>> {};
template<typename T>
struct is_pointer_like<std::shared_ptr<T>>: std::true_type {};
template<typename T>
struct is_pointer_like<std::shared_ptr<T> &>: std::true_type {};
template<typename T>
struct is_pointer_like<const std::shared_ptr<T> &>: std::true_type {};
template<typename T>
struct is_pointer_like<std::unique_ptr<T>>: std::true_type {};
template<typename T>
struct is_pointer_like<std::unique_ptr<T> &>: std::true_type {};
template<typename T>
struct is_pointer_like<const std::unique_ptr<T> &>: std::true_type {};
}  // namespace detail

#define RCLCPP_SHIM_NODE_INTERFACE_GETTER(NAME) \
  template<typename NodeT> \
  auto NAME(NodeT && node) \
  { \
    if constexpr (detail::is_pointer_like<NodeT>::value) { \
      return node->NAME(); \
    } else { \
      return node.NAME(); \
    } \
  }

RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_base_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_clock_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_graph_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_logging_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_parameters_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_services_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_timers_interface)
RCLCPP_SHIM_NODE_INTERFACE_GETTER(get_node_topics_interface)

#undef RCLCPP_SHIM_NODE_INTERFACE_GETTER

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACES_HPP_
