#include "rclcpp/shim/names.hpp"

#include <cctype>
#include <stdexcept>
#include <string>

#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp
{
namespace shim
{

namespace
{

constexpr size_t kNodeNameMaxLength = 255;
constexpr size_t kTopicNameMaxLength = 247;
constexpr size_t kNamespaceMaxLength = kTopicNameMaxLength - 2;

bool is_alnum(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_digit(char c)
{
  return c >= '0' && c <= '9';
}

/// Outcome of a validation: message is nullptr when the name is valid.
struct Problem
{
  const char * message{nullptr};
  size_t index{0};
  explicit operator bool() const {return message != nullptr;}
};

/// The checks a name must pass before expansion ("~", "{}" and relative names allowed).
Problem check_raw_name(const std::string & name)
{
  const size_t length = name.size();
  if (length == 0) {
    return {"topic name must not be empty string", 0};
  }
  if (is_digit(name[0])) {
    return {"topic name token must not start with a number", 0};
  }
  if (name[length - 1] == '/') {
    return {"topic name must not end with a forward slash", length - 1};
  }
  const char * kSubstitutionChars =
    "substitution name must not contain characters other than alphanumerics or '_'";
  bool in_brace = false;
  size_t brace_index = 0;
  for (size_t i = 0; i < length; ++i) {
    const char c = name[i];
    if (is_alnum(c)) {
      if (is_digit(c) && in_brace && i > 0 && i - 1 == brace_index) {
        return {"substitution name must not start with a number", i};
      }
    } else if (c == '_') {
    } else if (c == '/') {
      if (in_brace) {
        return {kSubstitutionChars, i};
      }
    } else if (c == '~') {
      if (i != 0) {
        return {"topic name must not have tilde '~' unless it is the first character", i};
      }
    } else if (c == '{') {
      brace_index = i;
      if (in_brace) {
        return {kSubstitutionChars, i};
      }
      in_brace = true;
    } else if (c == '}') {
      if (!in_brace) {
        return {"topic name must not have unmatched (unbalanced) curly braces '{}'", i};
      }
      in_brace = false;
    } else {
      if (in_brace) {
        return {kSubstitutionChars, i};
      }
      return {
        "topic name must not contain characters other than alphanumerics, '_', '~', '{', or '}'",
        i};
    }
  }
  if (in_brace) {
    return {"topic name must not have unmatched (unbalanced) curly braces '{}'", brace_index};
  }
  // The last character is never looked at here, which is why "~x" passes.
  for (size_t i = 0; i + 1 < length; ++i) {
    if (name[i] == '/') {
      if (is_digit(name[i + 1])) {
        return {"topic name token must not start with a number", i + 1};
      }
    } else if (i == 1 && name[0] == '~') {
      return {
        "topic name must not have a tilde '~' that is not followed by a forward slash '/'", 1};
    }
  }
  return {};
}

enum class FullNameProblem { None, Empty, NotAbsolute, EndsWithSlash, Chars, Repeated, Number,
  TooLong };

FullNameProblem check_full_name(const std::string & name, size_t max_length, size_t & index)
{
  const size_t length = name.size();
  if (length == 0) {
    index = 0;
    return FullNameProblem::Empty;
  }
  if (name[0] != '/') {
    index = 0;
    return FullNameProblem::NotAbsolute;
  }
  if (name[length - 1] == '/') {
    index = length - 1;
    return FullNameProblem::EndsWithSlash;
  }
  for (size_t i = 0; i < length; ++i) {
    if (!is_alnum(name[i]) && name[i] != '_' && name[i] != '/') {
      index = i;
      return FullNameProblem::Chars;
    }
  }
  for (size_t i = 0; i + 1 < length; ++i) {
    if (name[i] == '/') {
      if (name[i + 1] == '/') {
        index = i + 1;
        return FullNameProblem::Repeated;
      }
      if (is_digit(name[i + 1])) {
        index = i + 1;
        return FullNameProblem::Number;
      }
    }
  }
  if (length > max_length) {
    index = max_length - 1;
    return FullNameProblem::TooLong;
  }
  return FullNameProblem::None;
}

[[noreturn]] void throw_name_error(
  const std::string & name, const char * message, size_t index, bool is_service)
{
  if (is_service) {
    throw rclcpp::exceptions::InvalidServiceNameError(name.c_str(), message, index);
  }
  throw rclcpp::exceptions::InvalidTopicNameError(name.c_str(), message, index);
}

std::string replace_all(std::string text, const std::string & from, const std::string & to)
{
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

}  // namespace

void validate_node_name(const std::string & node_name)
{
  if (node_name.empty()) {
    throw rclcpp::exceptions::InvalidNodeNameError(
            node_name.c_str(), "node name must not be empty", 0);
  }
  for (size_t i = 0; i < node_name.size(); ++i) {
    if (!is_alnum(node_name[i]) && node_name[i] != '_') {
      throw rclcpp::exceptions::InvalidNodeNameError(
              node_name.c_str(),
              "node name must not contain characters other than alphanumerics or '_'", i);
    }
  }
  if (is_digit(node_name[0])) {
    throw rclcpp::exceptions::InvalidNodeNameError(
            node_name.c_str(), "node name must not start with a number", 0);
  }
  if (node_name.size() > kNodeNameMaxLength) {
    throw rclcpp::exceptions::InvalidNodeNameError(
            node_name.c_str(), "node name should not exceed '255'", kNodeNameMaxLength - 1);
  }
}

void validate_namespace(const std::string & namespace_)
{
  if (namespace_.empty()) {
    throw rclcpp::exceptions::InvalidNamespaceError(
            namespace_.c_str(), "namespace must not be empty", 0);
  }
  if (namespace_ == "/") {
    return;
  }
  size_t index = 0;
  const char * message = nullptr;
  switch (check_full_name(namespace_, kTopicNameMaxLength, index)) {
    case FullNameProblem::None:
      break;
    case FullNameProblem::Empty:
      message = "namespace must not be empty";
      break;
    case FullNameProblem::NotAbsolute:
      message = "namespace must be absolute, it must lead with a '/'";
      break;
    case FullNameProblem::EndsWithSlash:
      message = "namespace must not end with a '/', unless only a '/'";
      break;
    case FullNameProblem::Chars:
      message = "namespace must not contain characters other than alphanumerics, '_', or '/'";
      break;
    case FullNameProblem::Repeated:
      message = "namespace must not contain repeated '/'";
      break;
    case FullNameProblem::Number:
      message = "namespace must not have a token that starts with a number";
      break;
    case FullNameProblem::TooLong:
      message = "namespace should not exceed '245'";
      break;
  }
  if (!message && namespace_.size() > kNamespaceMaxLength) {
    message = "namespace should not exceed '245'";
    index = kNamespaceMaxLength - 1;
  }
  if (message) {
    throw rclcpp::exceptions::InvalidNamespaceError(namespace_.c_str(), message, index);
  }
}

std::string normalize_namespace(const std::string & namespace_)
{
  std::string result = namespace_;
  if (result.empty()) {
    result = "/";
  } else if (result[0] != '/') {
    result = "/" + result;
  }
  validate_namespace(result);
  return result;
}

std::string expand_name(
  const std::string & name, const std::string & node_name,
  const std::string & namespace_, bool is_service)
{
  if (Problem problem = check_raw_name(name)) {
    throw_name_error(name, problem.message, problem.index, is_service);
  }
  const bool is_absolute = name[0] == '/';
  const bool has_substitution = name.find('{') != std::string::npos;
  if (is_absolute && !has_substitution) {
    return name;
  }
  const bool root = namespace_.size() == 1;
  std::string output = name;
  if (name[0] == '~') {
    output = namespace_ + (root ? "" : "/") + node_name + name.substr(1);
  }
  if (has_substitution) {
    size_t open;
    while ((open = output.find('{')) != std::string::npos) {
      const size_t close = output.find('}', open);
      const std::string token = output.substr(open, close - open + 1);
      std::string replacement;
      if (token == "{node}") {
        replacement = node_name;
      } else if (token == "{ns}" || token == "{namespace}") {
        replacement = namespace_;
      } else {
        // The raw name passed validation, so the only problem is the unknown substitution.
        throw std::runtime_error("topic name unexpectedly valid");
      }
      output = replace_all(output, token, replacement);
    }
  }
  if (output[0] != '/') {
    output = namespace_ + (root ? "" : "/") + output;
  }
  return output;
}

void validate_full_name(const std::string & name, bool is_service)
{
  size_t index = 0;
  const char * message = nullptr;
  switch (check_full_name(name, kTopicNameMaxLength, index)) {
    case FullNameProblem::None:
      return;
    case FullNameProblem::Empty:
      message = "topic name must not be empty string";
      break;
    case FullNameProblem::NotAbsolute:
      message = "topic name must be absolute, it must lead with a '/'";
      break;
    case FullNameProblem::EndsWithSlash:
      message = "topic name must not end with a forward slash";
      break;
    case FullNameProblem::Chars:
      message = "topic name must not contain characters other than alphanumerics, '_', or '/'";
      break;
    case FullNameProblem::Repeated:
      message = "topic name must not contain repeated '/'";
      break;
    case FullNameProblem::Number:
      message = "topic name token must not start with a number";
      break;
    case FullNameProblem::TooLong:
      message = "topic length should not exceed '247'";
      break;
  }
  throw_name_error(name, message, index, is_service);
}

std::string fully_qualified_node_name(
  const std::string & namespace_, const std::string & node_name)
{
  if (namespace_.empty() || namespace_ == "/") {
    return "/" + node_name;
  }
  return namespace_ + "/" + node_name;
}

std::string node_logger_name(const std::string & namespace_, const std::string & node_name)
{
  if (namespace_.empty() || namespace_ == "/") {
    return node_name;
  }
  std::string prefix = namespace_.substr(namespace_[0] == '/' ? 1 : 0);
  for (char & c : prefix) {
    if (c == '/') {
      c = '.';
    }
  }
  return prefix + "." + node_name;
}

}  // namespace shim
}  // namespace rclcpp
