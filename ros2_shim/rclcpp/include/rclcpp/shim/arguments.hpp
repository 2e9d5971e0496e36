// ROS command-line arguments: parsing, node name/namespace remapping, topic and
// service remapping, and per-node parameter override resolution.
//
// Grammar: arguments between "--ros-args" and a lone "--" (or the end) are ROS arguments;
// a later "--ros-args" opens another section. Inside a section:
//   -p/--param [node:]name:=value   YAML-typed override ("1" integer, "1.0" double, "true" bool,
//                                   "'1'" string, "[1, 2]" integer array ...); without a node
//                                   prefix it applies to every node ("/**")
//   --params-file FILE              YAML parameter file, read immediately
//   -r/--remap [node:]from:=to      name remap; from "__node"/"__name" renames the node,
//                                   "__ns" sets the namespace (must be absolute)
//   --log-level [logger:=]LEVEL     DEBUG, INFO, WARN, ERROR, FATAL, UNSET (any case)
//   --enable-/--disable-{stdout,rosout,external-lib}-logs, -e/--enclave X, --log-config-file X
// Anything else inside a section is collected in unknown_ros_arguments. Outside a section the
// deprecated bare "from:=to" remap is still applied (with a warning).
//
// API (namespace rclcpp::shim):
//   ParsedArguments parse_arguments(const std::vector<std::string> & args,
//                                   const std::string & error_prefix);
//       args as given (argv including argv[0] for the command line, NodeOptions::arguments()
//       for a node). Malformed arguments and unreadable or malformed parameter files throw
//       rclcpp::exceptions::RCLInvalidROSArgsError, what() = error_prefix + ": " + a message
//       naming the argument or file (rclcpp::init uses "failed to initialize rcl", the node
//       "failed to parse arguments"). Unknown flags do not throw here, see below.
//   void throw_if_unknown_ros_arguments(const ParsedArguments & parsed);
//       throws rclcpp::exceptions::UnknownROSArgsError("found unknown ROS arguments: '--x'").
//   NodeIdentity remap_node_identity(const std::string & node_name,
//                                    const std::string & namespace_,
//                                    const ParsedArguments * local,
//                                    const ParsedArguments * global);
//       namespace_ already normalised ("/" or "/a/b"). Local rules (NodeOptions::arguments)
//       first, then global (pass nullptr when use_global_arguments() is false, or for none);
//       the first matching rule wins. The name is remapped first; node-prefixed rules match the
//       original name for __node and the remapped name for __ns. The result is NOT validated.
//   std::string remap_name(const std::string & expanded_name, const std::string & node_name,
//                          const std::string & namespace_, const ParsedArguments * local,
//                          const ParsedArguments * global);
//       remaps an expanded topic or service name for the (remapped) node; rule sides are
//       expanded against the node first; first match wins, local before global.
//   std::string resolve_topic_or_service_name(const std::string & name,
//       const std::string & node_name, const std::string & namespace_, bool is_service,
//       const ParsedArguments * local, const ParsedArguments * global);
//       expand (names.hpp), remap, then validate the fully qualified result; throws
//       InvalidTopicNameError / InvalidServiceNameError.
//   std::map<std::string, rclcpp::ParameterValue> resolve_parameter_overrides(
//       const std::string & node_fqn, const std::vector<rclcpp::Parameter> & parameter_overrides,
//       const ParsedArguments * local, const ParsedArguments * global);
//       node_fqn after remapping. Sources, later winning: global, local, then
//       NodeOptions::parameter_overrides(). Within a source, every node key matching node_fqn
//       contributes in order of the key's first appearance on the command line (files and -p
//       share one list, "/**" for -p), and a later value of the same name overwrites an
//       earlier one; so "/**" entries given before a node's own key are overridden by it.
//   bool node_pattern_matches(const std::string & pattern, const std::string & node_fqn);
//       "/*" = exactly one segment, "/**" = any number of segments (including none).
//   void apply_logging_arguments(const ParsedArguments & parsed);
//       sets the default and per-logger severity levels given with --log-level, and
//       silences the console for --disable-stdout-logs (re-enabled by --enable-stdout-logs).
#ifndef RCLCPP__SHIM__ARGUMENTS_HPP_
#define RCLCPP__SHIM__ARGUMENTS_HPP_

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
class Context;

namespace shim
{

struct RemapRule
{
  enum class Kind { Name, NodeName, Namespace };

  /// Node name the rule is limited to; empty = every node.
  std::string node;
  Kind kind{Kind::Name};
  /// Name to match (Kind::Name only), as written.
  std::string from;
  /// Replacement: a name, a node name or an absolute namespace.
  std::string to;
};

/// Overrides given under one node-name key (of a file, or "/**" for a plain -p).
struct NodeParameterOverrides
{
  /// Absolute node pattern, possibly with "*" / "**" segments.
  std::string node_pattern;
  /// In order of appearance; a later entry of the same name wins.
  std::vector<std::pair<std::string, rclcpp::ParameterValue>> parameters;
};

struct ParsedArguments
{
  /// The ROS arguments (section contents, without "--ros-args" and "--"), in order.
  std::vector<std::string> ros_arguments;
  /// Everything else, in order; argv[0] stays first. This is remove_ros_arguments()' result.
  std::vector<std::string> non_ros_arguments;
  /// Unrecognised flags found inside --ros-args sections.
  std::vector<std::string> unknown_ros_arguments;
  std::vector<RemapRule> remap_rules;
  /// One entry per node-name key in order of first appearance.
  std::vector<NodeParameterOverrides> parameter_overrides;
  std::vector<std::string> params_files;
  /// --log-level LEVEL, as an rcutils severity.
  std::optional<int> default_log_level;
  /// --log-level name:=LEVEL, in order.
  std::vector<std::pair<std::string, int>> logger_log_levels;
  std::optional<bool> stdout_logs;
  std::optional<bool> rosout_logs;
  std::optional<bool> external_lib_logs;
  /// -e/--enclave PATH (the last one given); empty when none was.
  std::string enclave;
};

struct NodeIdentity
{
  std::string name;
  std::string namespace_;
};

RCLCPP_PUBLIC
ParsedArguments
parse_arguments(const std::vector<std::string> & args, const std::string & error_prefix);

RCLCPP_PUBLIC
void
throw_if_unknown_ros_arguments(const ParsedArguments & parsed);

RCLCPP_PUBLIC
NodeIdentity
remap_node_identity(
  const std::string & node_name, const std::string & namespace_,
  const ParsedArguments * local, const ParsedArguments * global);

RCLCPP_PUBLIC
std::string
remap_name(
  const std::string & expanded_name, const std::string & node_name,
  const std::string & namespace_, const ParsedArguments * local,
  const ParsedArguments * global);

RCLCPP_PUBLIC
std::string
resolve_topic_or_service_name(
  const std::string & name, const std::string & node_name,
  const std::string & namespace_, bool is_service,
  const ParsedArguments * local, const ParsedArguments * global);

RCLCPP_PUBLIC
std::map<std::string, rclcpp::ParameterValue>
resolve_parameter_overrides(
  const std::string & node_fqn,
  const std::vector<rclcpp::Parameter> & parameter_overrides,
  const ParsedArguments * local, const ParsedArguments * global);

RCLCPP_PUBLIC
bool
node_pattern_matches(const std::string & pattern, const std::string & node_fqn);

RCLCPP_PUBLIC
void
apply_logging_arguments(const ParsedArguments & parsed);

/// Global ROS arguments parsed by Context::init; nullptr while not initialized.
/**
 * The pointer stays valid until the context is initialized again or destroyed.
 */
RCLCPP_PUBLIC
const ParsedArguments *
global_arguments(const rclcpp::Context & context);

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__ARGUMENTS_HPP_
