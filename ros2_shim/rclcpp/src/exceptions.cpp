#include "rclcpp/exceptions/exceptions.hpp"

#include <string>

namespace rclcpp
{
namespace exceptions
{

std::string
NameValidationError::format_error(
  const char * name_type,
  const char * name,
  const char * error_msg,
  size_t invalid_index)
{
  std::string msg;
  msg += std::string("Invalid ") + name_type + ": " + error_msg + ":\n";
  msg += std::string("  '") + name + "'\n";
  msg += std::string("   ") + std::string(invalid_index, ' ') + "^\n";
  return msg;
}

RCLErrorBase::RCLErrorBase(rcutils_ret_t ret_, const rcutils_error_state_t * error_state)
: ret(ret_), message(error_state ? error_state->message : "error not set"),
  file(error_state ? error_state->file : ""),
  line(error_state ? static_cast<size_t>(error_state->line_number) : 0u),
  formatted_message(message)
{
  if (error_state) {
    formatted_message += ", at " + file + ":" + std::to_string(line);
  }
}

namespace
{
std::string with_prefix(const std::string & prefix, const std::string & message)
{
  return prefix.empty() ? message : prefix + ": " + message;
}
}  // namespace

RCLError::RCLError(
  rcutils_ret_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
: RCLError(RCLErrorBase(ret, error_state), prefix)
{}

RCLError::RCLError(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(with_prefix(prefix, base_exc.formatted_message))
{}

RCLBadAlloc::RCLBadAlloc(rcutils_ret_t ret, const rcutils_error_state_t * error_state)
: RCLBadAlloc(RCLErrorBase(ret, error_state))
{}

RCLBadAlloc::RCLBadAlloc(const RCLErrorBase & base_exc)
: RCLErrorBase(base_exc), std::bad_alloc()
{}

RCLInvalidArgument::RCLInvalidArgument(
  rcutils_ret_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
: RCLInvalidArgument(RCLErrorBase(ret, error_state), prefix)
{}

RCLInvalidArgument::RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc),
  std::invalid_argument(with_prefix(prefix, base_exc.formatted_message))
{}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
  rcutils_ret_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
: RCLInvalidROSArgsError(RCLErrorBase(ret, error_state), prefix)
{}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
  const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(with_prefix(prefix, base_exc.formatted_message))
{}

}  // namespace exceptions
}  // namespace rclcpp
