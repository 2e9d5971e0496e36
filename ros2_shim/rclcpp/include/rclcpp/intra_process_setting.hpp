#ifndef RCLCPP__INTRA_PROCESS_SETTING_HPP_
#define RCLCPP__INTRA_PROCESS_SETTING_HPP_

namespace rclcpp
{

/// Accepted for API compatibility; samples between nodes of one process always go through
/// the middleware's local delivery, as with intra-process communication disabled.
enum class IntraProcessSetting
{
  Enable,
  Disable,
  NodeDefault
};

}  // namespace rclcpp

#endif  // RCLCPP__INTRA_PROCESS_SETTING_HPP_
