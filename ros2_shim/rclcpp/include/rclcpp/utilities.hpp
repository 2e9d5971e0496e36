// Process-level entry points: init/shutdown of the default context, signal
// handling, removal of ROS arguments from argv, and overflow helpers.
#ifndef RCLCPP__UTILITIES_HPP_
#define RCLCPP__UTILITIES_HPP_

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/init_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// Which signals rclcpp::init installs handlers for.
enum class SignalHandlerOptions
{
  /// SIGINT and SIGTERM.
  All,
  SigInt,
  SigTerm,
  /// Leave the process's signal dispositions alone.
  None,
};

/// Initialize the global default context, then install the requested signal handlers.
/**
 * \throws ContextAlreadyInitialized if the default context is valid already
 * \throws exceptions::RCLInvalidROSArgsError / exceptions::UnknownROSArgsError for bad arguments
 */
RCLCPP_PUBLIC
void
init(
  int argc,
  char const * const argv[],
  const InitOptions & init_options = InitOptions(),
  SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// Install SIGINT/SIGTERM handlers that shut down contexts; false if already installed.
RCLCPP_PUBLIC
bool
install_signal_handlers(SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

RCLCPP_PUBLIC
bool
signal_handlers_installed();

RCLCPP_PUBLIC
SignalHandlerOptions
get_current_signal_handler_options();

/// Restore the previous handlers; false if none were installed.
RCLCPP_PUBLIC
bool
uninstall_signal_handlers();

/// init() and return argv without the ROS arguments.
RCLCPP_PUBLIC
std::vector<std::string>
init_and_remove_ros_arguments(
  int argc,
  char const * const argv[],
  const InitOptions & init_options = InitOptions());

/// argv without everything inside --ros-args sections (and their "--" terminators).
/**
 * \throws exceptions::RCLInvalidROSArgsError if the arguments are malformed
 */
RCLCPP_PUBLIC
std::vector<std::string>
remove_ros_arguments(int argc, char const * const argv[]);

/// True while the context (default: the global one) is valid.
RCLCPP_PUBLIC
bool
ok(rclcpp::Context::SharedPtr context = nullptr);

/// Same as ok(); kept for old callers.
RCLCPP_PUBLIC
bool
is_initialized(rclcpp::Context::SharedPtr context = nullptr);

/// Shut the context (default: the global one) down; false if it was not valid.
/**
 * Shutting down the global default context also uninstalls the signal handlers.
 */
RCLCPP_PUBLIC
bool
shutdown(
  rclcpp::Context::SharedPtr context = nullptr,
  const std::string & reason = "user called rclcpp::shutdown()");

RCLCPP_PUBLIC
void
on_shutdown(std::function<void()> callback, rclcpp::Context::SharedPtr context = nullptr);

/// Sleep, waking early on shutdown of the context; true if the full time elapsed.
RCLCPP_PUBLIC
bool
sleep_for(
  const std::chrono::nanoseconds & nanoseconds,
  rclcpp::Context::SharedPtr context = nullptr);

template<typename T>
bool
add_will_overflow(const T x, const T y)
{
  return (y > 0) && (x > (std::numeric_limits<T>::max() - y));
}

template<typename T>
bool
add_will_underflow(const T x, const T y)
{
  return (y < 0) && (x < (std::numeric_limits<T>::min() - y));
}

template<typename T>
bool
sub_will_overflow(const T x, const T y)
{
  return (y < 0) && (x > (std::numeric_limits<T>::max() + y));
}

template<typename T>
bool
sub_will_underflow(const T x, const T y)
{
  return (y > 0) && (x < (std::numeric_limits<T>::min() + y));
}

RCLCPP_PUBLIC
const char *
get_c_string(const char * string_in);

RCLCPP_PUBLIC
const char *
get_c_string(const std::string & string_in);

RCLCPP_PUBLIC
std::vector<const char *>
get_c_vector_string(const std::vector<std::string> & strings_in);

}  // namespace rclcpp

#endif  // RCLCPP__UTILITIES_HPP_
