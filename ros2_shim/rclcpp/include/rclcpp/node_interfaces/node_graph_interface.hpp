#ifndef RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_

#include <map>
#include <string>
#include <utility>
#include <vector>

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

  /// Every topic with a publisher or subscription anywhere in the graph, with its types.
  /// Names and types are always the ROS forms; `no_demangle` is accepted and ignored.
  RCLCPP_PUBLIC
  virtual std::map<std::string, std::vector<std::string>>
  get_topic_names_and_types(bool no_demangle = false) const;

  /// Every service with a server or client anywhere in the graph, with its types.
  RCLCPP_PUBLIC
  virtual std::map<std::string, std::vector<std::string>>
  get_service_names_and_types() const;

  /// Fully qualified names ("/ns/name") of all nodes in the graph, this one included.
  RCLCPP_PUBLIC
  virtual std::vector<std::string> get_node_names() const;

  /// (name, namespace) of all nodes in the graph.
  RCLCPP_PUBLIC
  virtual std::vector<std::pair<std::string, std::string>> get_node_names_and_namespaces() const;

  /// `topic_name` is expanded against the node first ("chatter" -> "/ns/chatter") but not
  /// remapped.
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
