#ifndef SCRIVO__DEFAULT_OUTPUT_HANDLER_HPP_
#define SCRIVO__DEFAULT_OUTPUT_HANDLER_HPP_

// Internal: the library's process-wide state.

#include <mutex>

#include "scrivo/log_level.hpp"
#include "scrivo/output_handler.hpp"
#include "scrivo/output_handler_std.hpp"

namespace scrivo
{
namespace detail
{

/// The one process-wide logging state, created on first use.
///
/// All fields except console_handler_ are guarded by mutex_, which the free
/// functions take for every access and scrivo::log holds from formatting to
/// the end of the handler's output.
class DefaultOutputHandler
{
public:
  /// The state, created thread-safely on first use. It is never destroyed,
  /// so that code running during static destruction (other libraries'
  /// destructors, atexit handlers) can still log safely.
  static DefaultOutputHandler & instance();

  DefaultOutputHandler(const DefaultOutputHandler &) = delete;
  DefaultOutputHandler & operator=(const DefaultOutputHandler &) = delete;

  /// The built-in console sink.
  OutputHandlerSTD console_handler_;
  /// Receives messages; null means logging is off.
  OutputHandler * current_handler_;
  /// The handler current before the last change; one slot, not a stack.
  OutputHandler * previous_handler_;
  /// Messages below this level are dropped.
  LogLevel log_level_;
  /// Guards the three fields above and every message; not recursive.
  std::mutex mutex_;

private:
  DefaultOutputHandler();
  ~DefaultOutputHandler() = default;
};

}  // namespace detail
}  // namespace scrivo

#endif  // SCRIVO__DEFAULT_OUTPUT_HANDLER_HPP_
