#include "rclcpp/logger.hpp"

#include <string>

#include "rcutils/error_handling.h"
#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp
{

Logger
get_logger(const std::string & name)
{
  return rclcpp::Logger(name);
}

void
Logger::set_level(Level level)
{
  if (!g_rcutils_logging_initialized) {
    if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
      rcutils_reset_error();
    }
  }
  rcutils_ret_t ret = rcutils_logging_set_logger_level(get_name(), static_cast<int>(level));
  if (ret != RCUTILS_RET_OK) {
    const rcutils_error_state_t state = *rcutils_get_error_state();
    rcutils_reset_error();
    if (ret == RCUTILS_RET_INVALID_ARGUMENT) {
      throw exceptions::RCLInvalidArgument(ret, &state, "Invalid parameter");
    }
    throw exceptions::RCLError(ret, &state, "Couldn't set logger level");
  }
}

}  // namespace rclcpp
