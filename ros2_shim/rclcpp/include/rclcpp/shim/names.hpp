// Node name, namespace and topic/service name rules (validation and expansion).
//
// API (namespace rclcpp::shim); every function is pure and thread-safe:
//
//   void validate_node_name(const std::string & node_name);
//       throws rclcpp::exceptions::InvalidNodeNameError ("node name must not be empty", ...).
//   std::string normalize_namespace(const std::string & namespace_);
//       "" -> "/", "a/b" -> "/a/b"; then validates: throws InvalidNamespaceError.
//   void validate_namespace(const std::string & namespace_);
//       the namespace must already be absolute; throws InvalidNamespaceError.
//   std::string expand_name(const std::string & name, const std::string & node_name,
//                           const std::string & namespace_, bool is_service);
//       validates the raw name (relative/"~"/substitution rules), then expands "~", "{node}",
//       "{ns}", "{namespace}" and relative names against the node; does NOT validate the result
//       (remapping comes first). Throws InvalidTopicNameError / InvalidServiceNameError for a bad
//       raw name and std::runtime_error("topic name unexpectedly valid") for an unknown
//       substitution.
//   void validate_full_name(const std::string & name, bool is_service);
//       the fully qualified (post-remap) rules; throws InvalidTopicNameError /
//       InvalidServiceNameError.
//   std::string fully_qualified_node_name(const std::string & namespace_,
//                                         const std::string & node_name);   "/ns/n" or "/n"
//   std::string node_logger_name(const std::string & namespace_, const std::string & node_name);
//       "/a/b" + "c" -> "a.b.c"; root namespace -> "c".
//
// rclcpp::expand_topic_or_service_name() = validate node name and namespace, expand_name,
// validate_full_name.
#ifndef RCLCPP__SHIM__NAMES_HPP_
#define RCLCPP__SHIM__NAMES_HPP_

#include <string>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace shim
{

RCLCPP_PUBLIC
void validate_node_name(const std::string & node_name);

RCLCPP_PUBLIC
std::string normalize_namespace(const std::string & namespace_);

RCLCPP_PUBLIC
void validate_namespace(const std::string & namespace_);

RCLCPP_PUBLIC
std::string expand_name(
  const std::string & name, const std::string & node_name,
  const std::string & namespace_, bool is_service);

RCLCPP_PUBLIC
void validate_full_name(const std::string & name, bool is_service);

RCLCPP_PUBLIC
std::string fully_qualified_node_name(
  const std::string & namespace_, const std::string & node_name);

RCLCPP_PUBLIC
std::string node_logger_name(const std::string & namespace_, const std::string & node_name);

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__NAMES_HPP_
