// Where log lines go: the console and, for the loggers of nodes, the /rosout topic.
//
// configure_log_output() installs the process's rcutils output handler; it writes each line
// to the console unless stdout logs are disabled and, unless rosout logs are disabled,
// publishes lines whose logger name is a registered node logger on that node's /rosout
// publisher (only an exact name matches, child loggers do not).
#ifndef RCLCPP__SHIM__ROSOUT_HPP_
#define RCLCPP__SHIM__ROSOUT_HPP_

#include <memory>
#include <string>

#include "rcl_interfaces/msg/log.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace shim
{

RCLCPP_PUBLIC
void
configure_log_output(bool stdout_enabled, bool rosout_enabled);

/// Whether nodes created now should get a /rosout publisher.
RCLCPP_PUBLIC
bool
rosout_enabled();

/// Routes the lines of `logger_name` to `publisher` while the returned handle lives.
/**
 * If another node already publishes that logger's lines, the first registration keeps
 * them (with a warning, as two nodes of one name share one logger) and the next one
 * takes over once it is gone.
 */
RCLCPP_PUBLIC
std::shared_ptr<void>
register_rosout_publisher(
  const std::string & logger_name,
  std::shared_ptr<rclcpp::Publisher<rcl_interfaces::msg::Log>> publisher);

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__ROSOUT_HPP_
