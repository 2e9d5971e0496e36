#include "rclcpp/expand_topic_or_service_name.hpp"

#include <string>

#include "rclcpp/shim/names.hpp"

namespace rclcpp
{

std::string
expand_topic_or_service_name(
  const std::string & name,
  const std::string & node_name,
  const std::string & namespace_,
  bool is_service)
{
  // Same order of checks as the node's own name handling: the name itself, the
  // node name, the namespace, and finally the expanded result.
  std::string expanded;
  shim::validate_node_name(node_name);
  shim::validate_namespace(namespace_);
  expanded = shim::expand_name(name, node_name, namespace_, is_service);
  shim::validate_full_name(expanded, is_service);
  return expanded;
}

}  // namespace rclcpp
