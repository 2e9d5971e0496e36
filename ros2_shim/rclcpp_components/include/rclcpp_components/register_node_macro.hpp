// RCLCPP_COMPONENTS_REGISTER_NODE: makes a node class loadable by a component container.
#ifndef RCLCPP_COMPONENTS__REGISTER_NODE_MACRO_HPP_
#define RCLCPP_COMPONENTS__REGISTER_NODE_MACRO_HPP_

#include "class_loader/class_loader.hpp"
#include "rclcpp_components/node_factory_template.hpp"

/// Registers NodeFactoryTemplate<NodeClass> with class_loader under base NodeFactory.
/**
 * The registered class name is the literal text "rclcpp_components::NodeFactoryTemplate<"
 * NodeClass ">", so spell NodeClass as it appears in the resource index entry. Use it once per
 * class in the shared library that holds the class.
 */
#define RCLCPP_COMPONENTS_REGISTER_NODE(NodeClass) \
  CLASS_LOADER_REGISTER_CLASS( \
    rclcpp_components::NodeFactoryTemplate<NodeClass>, \
    rclcpp_components::NodeFactory)

#endif  // RCLCPP_COMPONENTS__REGISTER_NODE_MACRO_HPP_
