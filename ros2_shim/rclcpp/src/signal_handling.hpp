// Process-wide SIGINT/SIGTERM handling behind rclcpp::install_signal_handlers().
//
// The handler itself only writes the signal number into a pipe (async-signal-safe)
// and chains to a handler that was installed before; a helper thread reads the pipe,
// logs "signal_handler(signum=N)" on the "rclcpp" logger and shuts down every context
// whose InitOptions::shutdown_on_signal is set.
#ifndef SIGNAL_HANDLING_HPP_
#define SIGNAL_HANDLING_HPP_

#include "rclcpp/utilities.hpp"

namespace rclcpp
{
namespace detail
{

bool install_signal_handling(SignalHandlerOptions options);
bool uninstall_signal_handling();
bool signal_handling_installed();
SignalHandlerOptions current_signal_handler_options();

/// Registration of valid contexts, so that the helper thread can find them.
void register_context(const std::shared_ptr<Context> & context);
void unregister_context(const Context * context);

/// Construct the process-wide registry now, so that objects created afterwards
/// (the default context) are destroyed before it.
void keep_process_state_alive();

}  // namespace detail
}  // namespace rclcpp

#endif  // SIGNAL_HANDLING_HPP_
