// A loaded component: the node object, type-erased, and a way to reach its NodeBaseInterface.
#ifndef RCLCPP_COMPONENTS__NODE_INSTANCE_WRAPPER_HPP_
#define RCLCPP_COMPONENTS__NODE_INSTANCE_WRAPPER_HPP_

#include <functional>
#include <memory>

#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp_components
{

/// Holds a component's node instance without knowing its class.
/**
 * Components need not derive from rclcpp::Node; all a container needs is to keep the object
 * alive and to hand its NodeBaseInterface to an executor, which the getter provides.
 */
class NodeInstanceWrapper
{
public:
  using NodeBaseInterfaceGetter = std::function<
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr(const std::shared_ptr<void> &)>;

  NodeInstanceWrapper()
  : node_instance_(nullptr)
  {}

  NodeInstanceWrapper(
    std::shared_ptr<void> node_instance,
    NodeBaseInterfaceGetter node_base_interface_getter)
  : node_instance_(node_instance), node_base_interface_getter_(node_base_interface_getter)
  {}

  /// The node object itself, for special cases; get_node_base_interface() serves most uses.
  const std::shared_ptr<void>
  get_node_instance() const
  {
    return node_instance_;
  }

  /// The NodeBaseInterface of the held node.
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr
  get_node_base_interface()
  {
    return node_base_interface_getter_(node_instance_);
  }

private:
  std::shared_ptr<void> node_instance_;
  NodeBaseInterfaceGetter node_base_interface_getter_;
};

}  // namespace rclcpp_components

#endif  // RCLCPP_COMPONENTS__NODE_INSTANCE_WRAPPER_HPP_
