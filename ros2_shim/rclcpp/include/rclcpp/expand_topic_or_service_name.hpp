// Expansion of relative and private ("~/") names to fully qualified ones.
#ifndef RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
#define RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_

#include <string>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// Expand and validate a topic or service name for a node.
/**
 * "x" -> "<ns>/x", "~" -> "<ns>/<node>", "~/x" -> "<ns>/<node>/x", "{node}",
 * "{ns}" and "{namespace}" are substituted; absolute names stay as they are.
 *
 * \throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError for a bad name
 * \throws rclcpp::exceptions::InvalidNodeNameError / InvalidNamespaceError for a bad node name
 *   or namespace
 * \throws std::runtime_error for an unknown substitution
 */
RCLCPP_PUBLIC
std::string
expand_topic_or_service_name(
  const std::string & name,
  const std::string & node_name,
  const std::string & namespace_,
  bool is_service = false);

}  // namespace rclcpp

#endif  // RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
