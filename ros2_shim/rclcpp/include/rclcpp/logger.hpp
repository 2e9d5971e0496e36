// Named logger handle used by the RCLCPP_* logging macros.
#ifndef RCLCPP__LOGGER_HPP_
#define RCLCPP__LOGGER_HPP_

#include <memory>
#include <string>

#include "rcutils/logging.h"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

namespace node_interfaces
{
class NodeLoggingInterface;
}  // namespace node_interfaces

class Logger;

/// A logger of the given name; dotted names form a hierarchy ("a.b" is a child of "a").
RCLCPP_PUBLIC
Logger
get_logger(const std::string & name);

/// A copyable handle to a logger name; cheap to pass around.
class Logger
{
public:
  enum class Level
  {
    Unset = RCUTILS_LOG_SEVERITY_UNSET,
    Debug = RCUTILS_LOG_SEVERITY_DEBUG,
    Info = RCUTILS_LOG_SEVERITY_INFO,
    Warn = RCUTILS_LOG_SEVERITY_WARN,
    Error = RCUTILS_LOG_SEVERITY_ERROR,
    Fatal = RCUTILS_LOG_SEVERITY_FATAL,
  };

private:
  friend Logger rclcpp::get_logger(const std::string & name);
  friend ::rclcpp::node_interfaces::NodeLoggingInterface;

  /// A logger that logs nothing (get_name() is nullptr).
  Logger()
  : name_(nullptr) {}

  explicit Logger(const std::string & name)
  : name_(new std::string(name)) {}

  std::shared_ptr<const std::string> name_;

public:
  RCLCPP_PUBLIC
  Logger(const Logger &) = default;

  RCLCPP_PUBLIC
  Logger & operator=(const Logger &) = default;

  /// The logger's name, or nullptr for a dummy logger.
  RCLCPP_PUBLIC
  const char *
  get_name() const
  {
    if (!name_) {
      return nullptr;
    }
    return name_->c_str();
  }

  /// The logger named "<this name>.<suffix>".
  RCLCPP_PUBLIC
  Logger
  get_child(const std::string & suffix) const
  {
    if (!name_) {
      return Logger();
    }
    return Logger(*name_ + "." + suffix);
  }

  /// Set the threshold of this logger (and, through the hierarchy, of unset children).
  /**
   * \throws rclcpp::exceptions::RCLError if the level cannot be set
   */
  RCLCPP_PUBLIC
  void
  set_level(Level level);
};

}  // namespace rclcpp

#endif  // RCLCPP__LOGGER_HPP_
