// NodeFactory for any class constructible from NodeOptions that has get_node_base_interface().
#ifndef RCLCPP_COMPONENTS__NODE_FACTORY_TEMPLATE_HPP_
#define RCLCPP_COMPONENTS__NODE_FACTORY_TEMPLATE_HPP_

#include <functional>
#include <memory>

#include "rclcpp_components/node_factory.hpp"

namespace rclcpp_components
{

/// Factory that builds NodeT with std::make_shared<NodeT>(options).
template<typename NodeT>
class NodeFactoryTemplate : public NodeFactory
{
public:
  NodeFactoryTemplate() = default;
  virtual ~NodeFactoryTemplate() = default;

  virtual
  NodeInstanceWrapper
  create_node_instance(const rclcpp::NodeOptions & options)
  {
    auto node = std::make_shared<NodeT>(options);

    return NodeInstanceWrapper(
      node, std::bind(&NodeT::get_node_base_interface, node));
  }
};

}  // namespace rclcpp_components

#endif  // RCLCPP_COMPONENTS__NODE_FACTORY_TEMPLATE_HPP_
