// Metadata delivered with a message (timestamps, publisher identity).
#ifndef RCLCPP__MESSAGE_INFO_HPP_
#define RCLCPP__MESSAGE_INFO_HPP_

#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp
{

class RCLCPP_PUBLIC MessageInfo
{
public:
  MessageInfo() = default;

  // cppcheck-suppress noExplicitConstructor
  MessageInfo(const rmw_message_info_t & rmw_message_info)  // NOLINT(runtime/explicit)
  : rmw_message_info_(rmw_message_info) {}

  const rmw_message_info_t & get_rmw_message_info() const {return rmw_message_info_;}
  rmw_message_info_t & get_rmw_message_info() {return rmw_message_info_;}

private:
  rmw_message_info_t rmw_message_info_{};
};

}  // namespace rclcpp

#endif  // RCLCPP__MESSAGE_INFO_HPP_
