#include "rclcpp/shim/arguments.hpp"

#include <sys/stat.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rcutils/allocator.h"
#include "rcutils/error_handling.h"
#include "rcutils/logging.h"
#include "rcutils/logging_macros.h"
#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/shim/names.hpp"
#include "rclcpp/shim/rosout.hpp"

namespace rclcpp
{
namespace shim
{

namespace
{

/// Return code of the layer below for invalid ROS arguments.
constexpr rcutils_ret_t kRetInvalidRosArgs = 1302;

[[noreturn]] void fail(const std::string & prefix, const std::string & message, int line)
{
  rcutils_error_state_t state{};
  std::strncpy(state.message, message.c_str(), sizeof(state.message) - 1);
  std::strncpy(state.file, "rclcpp/src/arguments.cpp", sizeof(state.file) - 1);
  state.line_number = static_cast<uint64_t>(line);
  throw rclcpp::exceptions::RCLInvalidROSArgsError(kRetInvalidRosArgs, &state, prefix);
}

/// A parse problem inside a rule or file; the caller adds what was being parsed.
struct ParseError : std::runtime_error
{
  using std::runtime_error::runtime_error;
};

std::string line_suffix(const YAML::Mark & mark)
{
  return std::to_string(mark.line + 1);
}

bool is_token(const std::string & s)
{
  if (s.empty() || (s[0] >= '0' && s[0] <= '9')) {
    return false;
  }
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
      (c >= '0' && c <= '9') || c == '_';
    if (!ok) {
      return false;
    }
  }
  return true;
}

const char * type_name(rclcpp::ParameterType type)
{
  switch (type) {
    case rclcpp::PARAMETER_BOOL:
      return "bool";
    case rclcpp::PARAMETER_INTEGER:
      return "integer";
    case rclcpp::PARAMETER_DOUBLE:
      return "double";
    default:
      return "string";
  }
}

/// Scalar typing of the parameter YAML dialect: bool words, integers (base prefixes
/// included, so "010" is octal), doubles (incl. YAML's .inf/.nan), otherwise string.
/// Quoted scalars are always strings.
rclcpp::ParameterValue typed_scalar(const YAML::Node & node)
{
  const std::string & text = node.Scalar();
  if (node.Tag() == "!") {
    return rclcpp::ParameterValue(text);
  }
  static const char * const true_words[] =
  {"true", "True", "TRUE", "yes", "Yes", "YES", "y", "Y", "on", "On", "ON"};
  static const char * const false_words[] =
  {"false", "False", "FALSE", "no", "No", "NO", "n", "N", "off", "Off", "OFF"};
  for (const char * w : true_words) {
    if (text == w) {
      return rclcpp::ParameterValue(true);
    }
  }
  for (const char * w : false_words) {
    if (text == w) {
      return rclcpp::ParameterValue(false);
    }
  }
  if (!text.empty()) {
    errno = 0;
    char * end = nullptr;
    const long long as_int = std::strtoll(text.c_str(), &end, 0);  // NOLINT(runtime/int)
    if (end && *end == '\0' && errno == 0) {
      return rclcpp::ParameterValue(static_cast<int64_t>(as_int));
    }
    static const std::map<std::string, double> specials = {
      {".inf", std::numeric_limits<double>::infinity()},
      {".Inf", std::numeric_limits<double>::infinity()},
      {".INF", std::numeric_limits<double>::infinity()},
      {"+.inf", std::numeric_limits<double>::infinity()},
      {"+.Inf", std::numeric_limits<double>::infinity()},
      {"+.INF", std::numeric_limits<double>::infinity()},
      {"-.inf", -std::numeric_limits<double>::infinity()},
      {"-.Inf", -std::numeric_limits<double>::infinity()},
      {"-.INF", -std::numeric_limits<double>::infinity()},
      {".nan", std::numeric_limits<double>::quiet_NaN()},
      {".NaN", std::numeric_limits<double>::quiet_NaN()},
      {".NAN", std::numeric_limits<double>::quiet_NaN()},
    };
    auto special = specials.find(text);
    if (special != specials.end()) {
      return rclcpp::ParameterValue(special->second);
    }
    errno = 0;
    end = nullptr;
    const double as_double = std::strtod(text.c_str(), &end);
    if (end && *end == '\0' && errno == 0) {
      return rclcpp::ParameterValue(as_double);
    }
  }
  return rclcpp::ParameterValue(text);
}

/// A parameter value from a YAML node: scalar or homogeneous sequence of scalars.
rclcpp::ParameterValue typed_value(const YAML::Node & node)
{
  if (node.IsNull() || !node.IsDefined()) {
    throw ParseError("No value at line " + line_suffix(node.Mark()));
  }
  if (node.IsScalar()) {
    return typed_scalar(node);
  }
  if (node.IsMap()) {
    throw ParseError("Unexpected map value at line " + line_suffix(node.Mark()));
  }
  if (node.size() == 0) {
    throw ParseError("Empty sequence is not supported at line " + line_suffix(node.Mark()));
  }
  std::vector<rclcpp::ParameterValue> items;
  rclcpp::ParameterType type = rclcpp::PARAMETER_NOT_SET;
  for (const auto & element : node) {
    if (!element.IsScalar()) {
      throw ParseError(
              "Sequences can only hold scalar values at line " + line_suffix(element.Mark()));
    }
    items.push_back(typed_scalar(element));
    const auto item_type = items.back().get_type();
    if (type == rclcpp::PARAMETER_NOT_SET) {
      type = item_type;
    } else if (item_type != type) {
      throw ParseError(
              std::string("Sequence should be of same type. Value type '") +
              type_name(item_type) + "' do not belong at line_num " +
              line_suffix(element.Mark()));
    }
  }
  switch (type) {
    case rclcpp::PARAMETER_BOOL: {
        std::vector<bool> v;
        for (const auto & i : items) {v.push_back(i.get<bool>());}
        return rclcpp::ParameterValue(v);
      }
    case rclcpp::PARAMETER_INTEGER: {
        std::vector<int64_t> v;
        for (const auto & i : items) {v.push_back(i.get<int64_t>());}
        return rclcpp::ParameterValue(v);
      }
    case rclcpp::PARAMETER_DOUBLE: {
        std::vector<double> v;
        for (const auto & i : items) {v.push_back(i.get<double>());}
        return rclcpp::ParameterValue(v);
      }
    default: {
        std::vector<std::string> v;
        for (const auto & i : items) {v.push_back(i.get<std::string>());}
        return rclcpp::ParameterValue(v);
      }
  }
}

NodeParameterOverrides & entry_for(ParsedArguments & out, const std::string & pattern)
{
  for (auto & entry : out.parameter_overrides) {
    if (entry.node_pattern == pattern) {
      return entry;
    }
  }
  out.parameter_overrides.push_back(NodeParameterOverrides{pattern, {}});
  return out.parameter_overrides.back();
}

/// "-p [node:]name:=value".
void parse_param_rule(const std::string & rule, ParsedArguments & out)
{
  const size_t assign = rule.find(":=");
  if (assign == std::string::npos) {
    throw ParseError("expected '[node:]name:=value'");
  }
  std::string left = rule.substr(0, assign);
  const std::string value_text = rule.substr(assign + 2);
  std::string pattern = "/**";
  const size_t colon = left.find(':');
  if (colon != std::string::npos) {
    const std::string node = left.substr(0, colon);
    if (!is_token(node)) {
      throw ParseError("node name prefix '" + node + "' is not a valid node name");
    }
    pattern = "/" + node;
    left = left.substr(colon + 1);
  }
  if (left.empty()) {
    throw ParseError("parameter name is empty");
  }
  for (char c : left) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
      (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '/';
    if (!ok) {
      throw ParseError("parameter name '" + left + "' contains invalid characters");
    }
  }
  if (left.front() == '.' || left.back() == '.' || left.find("..") != std::string::npos) {
    throw ParseError("parameter name '" + left + "' has an empty token");
  }
  if (value_text.empty()) {
    throw ParseError("no value given");
  }
  YAML::Node node;
  try {
    node = YAML::Load(value_text);
  } catch (const YAML::Exception & e) {
    throw ParseError("value is not valid YAML: " + std::string(e.what()));
  }
  rclcpp::ParameterValue value = typed_value(node);
  entry_for(out, pattern).parameters.emplace_back(left, value);
}

void parse_parameters_map(
  const YAML::Node & map, const std::string & prefix, NodeParameterOverrides & entry)
{
  for (const auto & kv : map) {
    if (!kv.first.IsScalar()) {
      throw ParseError("Parameter names must be scalars at line " + line_suffix(kv.first.Mark()));
    }
    const std::string name = prefix + kv.first.Scalar();
    const YAML::Node & value = kv.second;
    if (value.IsMap()) {
      parse_parameters_map(value, name + ".", entry);
    } else {
      if (value.IsNull()) {
        throw ParseError("No value at line " + line_suffix(kv.first.Mark()));
      }
      entry.parameters.emplace_back(name, typed_value(value));
    }
  }
}

std::string join_node_segments(const std::vector<std::string> & segments)
{
  std::string joined;
  for (const auto & segment : segments) {
    joined += "/" + segment;
  }
  std::string result;
  for (char c : joined) {
    if (c == '/' && !result.empty() && result.back() == '/') {
      continue;
    }
    result += c;
  }
  if (result.size() > 1 && result.back() == '/') {
    result.pop_back();
  }
  return result;
}

void walk_node_keys(
  const YAML::Node & map, std::vector<std::string> & segments, ParsedArguments & out)
{
  for (const auto & kv : map) {
    if (!kv.first.IsScalar()) {
      throw ParseError("Node names must be scalars at line " + line_suffix(kv.first.Mark()));
    }
    const std::string key = kv.first.Scalar();
    const YAML::Node & value = kv.second;
    if (key == "ros__parameters") {
      if (segments.empty()) {
        throw ParseError(
                "There are no node names before ros__parameters at line " +
                line_suffix(kv.first.Mark()));
      }
      NodeParameterOverrides & entry = entry_for(out, join_node_segments(segments));
      if (value.IsMap()) {
        parse_parameters_map(value, "", entry);
      } else if (!value.IsNull()) {
        throw ParseError(
                "ros__parameters must be followed by a map at line " +
                line_suffix(value.Mark()));
      }
    } else if (value.IsMap()) {
      segments.push_back(key);
      walk_node_keys(value, segments, out);
      segments.pop_back();
    } else {
      throw ParseError(
              "Cannot have a value before ros__parameters at line " + line_suffix(value.Mark()));
    }
  }
}

void parse_params_file(const std::string & path, ParsedArguments & out)
{
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
    throw ParseError("Error opening YAML file");
  }
  std::ifstream file(path);
  if (!file.is_open()) {
    throw ParseError("Error opening YAML file");
  }
  std::stringstream content;
  content << file.rdbuf();
  if (file.bad()) {
    throw ParseError("Error reading YAML file");
  }
  YAML::Node root;
  try {
    root = YAML::Load(content.str());
  } catch (const YAML::ParserException & e) {
    throw ParseError("Error parsing a event near line " + std::to_string(e.mark.line + 1));
  } catch (const YAML::Exception & e) {
    throw ParseError(std::string("Error parsing YAML: ") + e.what());
  }
  if (!root || root.IsNull()) {
    return;
  }
  if (!root.IsMap()) {
    throw ParseError(
            "Cannot have a value before ros__parameters at line " + line_suffix(root.Mark()));
  }
  std::vector<std::string> segments;
  walk_node_keys(root, segments, out);
}

bool plausible_name(const std::string & s)
{
  if (s.empty()) {
    return false;
  }
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
      (c >= '0' && c <= '9') || c == '_' || c == '/' || c == '~' || c == '{' || c == '}';
    if (!ok) {
      return false;
    }
  }
  return true;
}

/// "-r [node:]from:=to".
RemapRule parse_remap_rule(const std::string & rule)
{
  const size_t assign = rule.find(":=");
  if (assign == std::string::npos) {
    throw ParseError("expected '[node:]from:=to'");
  }
  RemapRule out;
  std::string left = rule.substr(0, assign);
  out.to = rule.substr(assign + 2);
  const size_t colon = left.find(':');
  if (colon != std::string::npos) {
    out.node = left.substr(0, colon);
    if (!is_token(out.node)) {
      throw ParseError("node name prefix '" + out.node + "' is not a valid node name");
    }
    left = left.substr(colon + 1);
  }
  if (left == "__node" || left == "__name") {
    out.kind = RemapRule::Kind::NodeName;
    if (!is_token(out.to)) {
      throw ParseError("'" + out.to + "' is not a valid node name");
    }
  } else if (left == "__ns") {
    out.kind = RemapRule::Kind::Namespace;
    if (out.to.empty() || out.to[0] != '/') {
      RCUTILS_LOG_WARN_NAMED(
        "rcl", "Namespace not remapped to a fully qualified name (found: %s)", out.to.c_str());
      throw ParseError("namespace '" + out.to + "' is not absolute");
    }
    try {
      validate_namespace(out.to);
    } catch (const std::invalid_argument &) {
      throw ParseError("'" + out.to + "' is not a valid namespace");
    }
  } else {
    out.kind = RemapRule::Kind::Name;
    out.from = left;
    if (!plausible_name(out.from)) {
      throw ParseError("'" + out.from + "' is not a valid name to match");
    }
    if (!plausible_name(out.to)) {
      throw ParseError("'" + out.to + "' is not a valid replacement name");
    }
  }
  return out;
}

int parse_severity(const std::string & text)
{
  int severity = 0;
  rcutils_allocator_t allocator = rcutils_get_default_allocator();
  if (rcutils_logging_severity_level_from_string(text.c_str(), allocator, &severity) !=
    RCUTILS_RET_OK)
  {
    rcutils_reset_error();
    throw ParseError("Argument does not use a valid severity level");
  }
  return severity;
}

}  // namespace

ParsedArguments
parse_arguments(const std::vector<std::string> & args, const std::string & error_prefix)
{
  ParsedArguments out;
  bool in_ros_section = false;
  const size_t count = args.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string & arg = args[i];
    if (!in_ros_section) {
      if (arg == "--ros-args") {
        in_ros_section = true;
        continue;
      }
      if (arg.find(":=") != std::string::npos) {
        try {
          RemapRule rule = parse_remap_rule(arg);
          RCUTILS_LOG_WARN_NAMED(
            "rcl", "Found remap rule '%s'. This syntax is deprecated. "
            "Use '--ros-args --remap %s' instead.", arg.c_str(), arg.c_str());
          out.remap_rules.push_back(rule);
          continue;
        } catch (const ParseError &) {
          // Not a remap rule: an ordinary argument of the program.
        }
      }
      out.non_ros_arguments.push_back(arg);
      continue;
    }

    if (arg == "--") {
      in_ros_section = false;
      continue;
    }
    if (arg == "--ros-args") {
      continue;
    }

    auto value_of = [&](const std::string & trailing_message) -> const std::string & {
        if (i + 1 >= count) {
          fail(error_prefix, trailing_message, __LINE__);
        }
        out.ros_arguments.push_back(arg);
        out.ros_arguments.push_back(args[i + 1]);
        return args[++i];
      };

    if (arg == "-p" || arg == "--param") {
      const std::string & rule =
        value_of("Couldn't parse trailing " + arg + " flag. No parameter override rule found.");
      try {
        parse_param_rule(rule, out);
      } catch (const ParseError & e) {
        fail(
          error_prefix, "Couldn't parse parameter override rule: '" + arg + " " + rule +
          "'. Error: " + e.what(), __LINE__);
      }
    } else if (arg == "-r" || arg == "--remap") {
      const std::string & rule =
        value_of("Couldn't parse trailing " + arg + " flag. No remap rule found.");
      try {
        out.remap_rules.push_back(parse_remap_rule(rule));
      } catch (const ParseError & e) {
        fail(
          error_prefix, "Couldn't parse remap rule: '" + arg + " " + rule + "'. Error: " +
          e.what(), __LINE__);
      }
    } else if (arg == "--params-file") {
      const std::string & path =
        value_of("Couldn't parse trailing --params-file flag. No file path provided.");
      try {
        parse_params_file(path, out);
      } catch (const ParseError & e) {
        fail(
          error_prefix, "Couldn't parse params file: '--params-file " + path + "'. Error: " +
          e.what(), __LINE__);
      }
      out.params_files.push_back(path);
    } else if (arg == "--log-level") {
      const std::string & level = value_of(
        "Couldn't parse trailing log level flag: '--log-level'. No log level provided.");
      try {
        const size_t assign = level.find(":=");
        if (assign == std::string::npos) {
          out.default_log_level = parse_severity(level);
        } else {
          const std::string logger = level.substr(0, assign);
          if (logger.empty()) {
            throw ParseError("Argument has an empty logger name");
          }
          out.logger_log_levels.emplace_back(logger, parse_severity(level.substr(assign + 2)));
        }
      } catch (const ParseError & e) {
        fail(
          error_prefix, "Couldn't parse log level: '--log-level " + level + "'. Error: " +
          e.what(), __LINE__);
      }
    } else if (arg == "-e" || arg == "--enclave") {
      out.enclave = value_of(
        "Couldn't parse trailing enclave flag: '" + arg + "'. No enclave path provided.");
    } else if (arg == "--log-config-file") {
      value_of(
        "Couldn't parse trailing log config file flag: '--log-config-file'. "
        "No log config file path provided.");
    } else if (arg == "--enable-stdout-logs" || arg == "--disable-stdout-logs") {
      out.ros_arguments.push_back(arg);
      out.stdout_logs = arg == "--enable-stdout-logs";
    } else if (arg == "--enable-rosout-logs" || arg == "--disable-rosout-logs") {
      out.ros_arguments.push_back(arg);
      out.rosout_logs = arg == "--enable-rosout-logs";
    } else if (arg == "--enable-external-lib-logs" || arg == "--disable-external-lib-logs") {
      out.ros_arguments.push_back(arg);
      out.external_lib_logs = arg == "--enable-external-lib-logs";
    } else {
      out.ros_arguments.push_back(arg);
      out.unknown_ros_arguments.push_back(arg);
    }
  }
  return out;
}

void
throw_if_unknown_ros_arguments(const ParsedArguments & parsed)
{
  if (!parsed.unknown_ros_arguments.empty()) {
    std::vector<std::string> unknown = parsed.unknown_ros_arguments;
    throw rclcpp::exceptions::UnknownROSArgsError(std::move(unknown));
  }
}

namespace
{

const RemapRule * first_match(
  const ParsedArguments * local, const ParsedArguments * global,
  const std::function<bool(const RemapRule &)> & matches)
{
  for (const ParsedArguments * source : {local, global}) {
    if (!source) {
      continue;
    }
    for (const auto & rule : source->remap_rules) {
      if (matches(rule)) {
        return &rule;
      }
    }
  }
  return nullptr;
}

}  // namespace

NodeIdentity
remap_node_identity(
  const std::string & node_name, const std::string & namespace_,
  const ParsedArguments * local, const ParsedArguments * global)
{
  NodeIdentity identity{node_name, namespace_};
  const RemapRule * name_rule = first_match(
    local, global, [&](const RemapRule & rule) {
      return rule.kind == RemapRule::Kind::NodeName &&
      (rule.node.empty() || rule.node == node_name);
    });
  if (name_rule) {
    identity.name = name_rule->to;
  }
  const RemapRule * ns_rule = first_match(
    local, global, [&](const RemapRule & rule) {
      return rule.kind == RemapRule::Kind::Namespace &&
      (rule.node.empty() || rule.node == identity.name);
    });
  if (ns_rule) {
    identity.namespace_ = ns_rule->to;
  }
  return identity;
}

std::string
remap_name(
  const std::string & expanded_name, const std::string & node_name,
  const std::string & namespace_, const ParsedArguments * local,
  const ParsedArguments * global)
{
  const RemapRule * rule = first_match(
    local, global, [&](const RemapRule & r) {
      if (r.kind != RemapRule::Kind::Name) {
        return false;
      }
      if (!r.node.empty() && r.node != node_name) {
        return false;
      }
      try {
        return expand_name(r.from, node_name, namespace_, false) == expanded_name;
      } catch (const std::exception &) {
        return false;
      }
    });
  if (!rule) {
    return expanded_name;
  }
  return expand_name(rule->to, node_name, namespace_, false);
}

std::string
resolve_topic_or_service_name(
  const std::string & name, const std::string & node_name,
  const std::string & namespace_, bool is_service,
  const ParsedArguments * local, const ParsedArguments * global)
{
  const std::string expanded = expand_name(name, node_name, namespace_, is_service);
  std::string remapped;
  try {
    remapped = remap_name(expanded, node_name, namespace_, local, global);
  } catch (const rclcpp::exceptions::NameValidationError & e) {
    if (is_service) {
      throw rclcpp::exceptions::InvalidServiceNameError(
              e.name.c_str(), e.error_msg.c_str(), e.invalid_index);
    }
    throw;
  }
  validate_full_name(remapped, is_service);
  return remapped;
}

bool
node_pattern_matches(const std::string & pattern, const std::string & node_fqn)
{
  if (pattern.find('*') == std::string::npos) {
    return pattern == node_fqn;
  }
  // "/**" = any number of segments, "*" = one token (or the rest of one).
  std::string regex;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '/' && pattern.compare(i, 3, "/**") == 0) {
      regex += "(/\\w+)*";
      i += 2;
    } else if (c == '*') {
      regex += "\\w+";
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
      c == '_' || c == '/')
    {
      regex += c;
    } else {
      regex += '\\';
      regex += c;
    }
  }
  try {
    return std::regex_match(node_fqn, std::regex(regex));
  } catch (const std::regex_error &) {
    return false;
  }
}

std::map<std::string, rclcpp::ParameterValue>
resolve_parameter_overrides(
  const std::string & node_fqn,
  const std::vector<rclcpp::Parameter> & parameter_overrides,
  const ParsedArguments * local, const ParsedArguments * global)
{
  std::map<std::string, rclcpp::ParameterValue> result;
  for (const ParsedArguments * source : {global, local}) {
    if (!source) {
      continue;
    }
    for (const auto & entry : source->parameter_overrides) {
      if (!node_pattern_matches(entry.node_pattern, node_fqn)) {
        continue;
      }
      for (const auto & kv : entry.parameters) {
        result[kv.first] = kv.second;
      }
    }
  }
  for (const auto & parameter : parameter_overrides) {
    result[parameter.get_name()] = parameter.get_parameter_value();
  }
  return result;
}

void
apply_logging_arguments(const ParsedArguments & parsed)
{
  // Both sinks are on unless disabled; with stdout off, lines still reach /rosout.
  configure_log_output(parsed.stdout_logs.value_or(true), parsed.rosout_logs.value_or(true));
  if (parsed.default_log_level) {
    rcutils_logging_set_default_logger_level(*parsed.default_log_level);
  }
  for (const auto & kv : parsed.logger_log_levels) {
    if (rcutils_logging_set_logger_level(kv.first.c_str(), kv.second) != RCUTILS_RET_OK) {
      rcutils_reset_error();
    }
  }
}

}  // namespace shim
}  // namespace rclcpp
