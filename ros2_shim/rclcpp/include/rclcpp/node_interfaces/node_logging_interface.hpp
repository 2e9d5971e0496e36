#ifndef RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_

#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

class NodeLoggingInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeLoggingInterface)

  RCLCPP_PUBLIC
  explicit NodeLoggingInterface(rclcpp::Logger logger);

  RCLCPP_PUBLIC
  virtual ~NodeLoggingInterface();

  RCLCPP_PUBLIC
  virtual rclcpp::Logger get_logger() const;

  RCLCPP_PUBLIC
  virtual const char * get_logger_name() const;

private:
  rclcpp::Logger logger_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_
