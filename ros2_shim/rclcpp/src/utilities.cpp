#include "rclcpp/utilities.hpp"

#include <string>
#include <vector>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/shim/arguments.hpp"
#include "signal_handling.hpp"

namespace rclcpp
{

namespace
{
Context::SharedPtr or_default(Context::SharedPtr context)
{
  if (!context) {
    return contexts::get_global_default_context();
  }
  return context;
}
}  // namespace

void
init(
  int argc, char const * const argv[], const InitOptions & init_options,
  SignalHandlerOptions signal_handler_options)
{
  contexts::get_global_default_context()->init(argc, argv, init_options);
  install_signal_handlers(signal_handler_options);
}

bool
install_signal_handlers(SignalHandlerOptions signal_handler_options)
{
  return detail::install_signal_handling(signal_handler_options);
}

bool
signal_handlers_installed()
{
  return detail::signal_handling_installed();
}

SignalHandlerOptions
get_current_signal_handler_options()
{
  return detail::current_signal_handler_options();
}

bool
uninstall_signal_handlers()
{
  return detail::uninstall_signal_handling();
}

std::vector<std::string>
init_and_remove_ros_arguments(
  int argc, char const * const argv[], const InitOptions & init_options)
{
  init(argc, argv, init_options);
  return remove_ros_arguments(argc, argv);
}

std::vector<std::string>
remove_ros_arguments(int argc, char const * const argv[])
{
  std::vector<std::string> args;
  if (argv) {
    for (int i = 0; i < argc; ++i) {
      args.emplace_back(argv[i] ? argv[i] : "");
    }
  }
  return shim::parse_arguments(args, "failed to parse arguments").non_ros_arguments;
}

bool
ok(Context::SharedPtr context)
{
  return or_default(context)->is_valid();
}

bool
is_initialized(Context::SharedPtr context)
{
  return ok(context);
}

bool
shutdown(Context::SharedPtr context, const std::string & reason)
{
  auto default_context = contexts::get_global_default_context();
  if (!context) {
    context = default_context;
  }
  const bool ret = context->shutdown(reason);
  if (context == default_context) {
    uninstall_signal_handlers();
  }
  return ret;
}

void
on_shutdown(std::function<void()> callback, Context::SharedPtr context)
{
  or_default(context)->on_shutdown(callback);
}

bool
sleep_for(const std::chrono::nanoseconds & nanoseconds, Context::SharedPtr context)
{
  return or_default(context)->sleep_for(nanoseconds);
}

const char *
get_c_string(const char * string_in)
{
  return string_in;
}

const char *
get_c_string(const std::string & string_in)
{
  return string_in.c_str();
}

std::vector<const char *>
get_c_vector_string(const std::vector<std::string> & strings_in)
{
  std::vector<const char *> cstrings;
  cstrings.reserve(strings_in.size());
  for (const auto & s : strings_in) {
    cstrings.push_back(s.c_str());
  }
  return cstrings;
}

}  // namespace rclcpp
