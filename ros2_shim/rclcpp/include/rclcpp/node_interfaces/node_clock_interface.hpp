#ifndef RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_

#include "rclcpp/clock.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// The node clock: RCL_ROS_TIME, which follows system time (simulated time is not offered).
class NodeClockInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeClockInterface)

  RCLCPP_PUBLIC
  NodeClockInterface();

  RCLCPP_PUBLIC
  virtual ~NodeClockInterface();

  RCLCPP_PUBLIC
  virtual rclcpp::Clock::SharedPtr get_clock();

  RCLCPP_PUBLIC
  virtual rclcpp::Clock::ConstSharedPtr get_clock() const;

private:
  rclcpp::Clock::SharedPtr clock_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_
