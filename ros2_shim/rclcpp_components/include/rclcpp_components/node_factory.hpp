// The interface class_loader instantiates for a component: it creates the node.
#ifndef RCLCPP_COMPONENTS__NODE_FACTORY_HPP_
#define RCLCPP_COMPONENTS__NODE_FACTORY_HPP_

#include "rclcpp/node_options.hpp"

#include "rclcpp_components/node_instance_wrapper.hpp"

namespace rclcpp_components
{

/// Creates one component node from node options.
/**
 * Registered with class_loader under the base name "rclcpp_components::NodeFactory", so a
 * container can construct components it knows only by class name.
 */
class NodeFactory
{
public:
  NodeFactory() = default;

  virtual ~NodeFactory() = default;

  /// Creates the node; exceptions of the node's constructor propagate.
  virtual
  NodeInstanceWrapper
  create_node_instance(const rclcpp::NodeOptions & options) = 0;
};

}  // namespace rclcpp_components

#endif  // RCLCPP_COMPONENTS__NODE_FACTORY_HPP_
