#ifndef RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_

#include <string>

#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// Graph queries; counts include endpoints of every QoS and type on the name.
class NodeGraphInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeGraphInterface)

  RCLCPP_PUBLIC
  explicit NodeGraphInterface(NodeBaseInterface * node_base);

  RCLCPP_PUBLIC
  virtual ~NodeGraphInterface();

  /// `topic_name` is expanded against the node first ("chatter" -> "/ns/chatter").
  RCLCPP_PUBLIC
  virtual size_t count_publishers(const std::string & topic_name) const;

  RCLCPP_PUBLIC
  virtual size_t count_subscribers(const std::string & topic_name) const;

private:
  NodeBaseInterface * node_base_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
