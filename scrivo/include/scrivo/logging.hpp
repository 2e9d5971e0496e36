#ifndef SCRIVO__LOGGING_HPP_
#define SCRIVO__LOGGING_HPP_

/// @file
/// The logging entry point and the process-wide settings.
///
/// The library keeps one process-wide state: a threshold (initially Warning),
/// the current output handler (initially the built-in console handler) and
/// one slot remembering the previous handler. One mutex guards that state and
/// every message from formatting to output, so messages of different threads
/// never interleave and handlers need no locking of their own.

#include "scrivo/log_level.hpp"
#include "scrivo/output_handler.hpp"

/// Lets GCC and Clang check the format string against its arguments.
#if defined(__GNUC__) || defined(__clang__)
#define SCRIVO_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define SCRIVO_PRINTF_FORMAT(format_index, first_arg)
#endif

namespace scrivo
{

/// Formats a printf-style message and hands it to the current handler.
///
/// A message below the threshold, or with no handler installed, costs one lock
/// and one comparison: its arguments are not formatted at all, so debug calls
/// may stay in hot paths. Messages are cut to 1023 characters, the size of the
/// fixed stack buffer, so logging never allocates for formatting.
/// A level outside the four is treated as the nearest one.
///
/// Usually called through SCRIVO_DEBUG and friends (scrivo/macros.hpp),
/// which pass the caller's file and line.
/// @param file   source file of the call, printed in the location line
/// @param line   source line of the call
/// @param level  severity of the message
/// @param format printf format, followed by its arguments
/// @throws std::system_error if the mutex cannot be locked
void log(const char * file, int line, LogLevel level, const char * format, ...)
SCRIVO_PRINTF_FORMAT(4, 5);

/// Sets the threshold: messages below @p level are dropped.
/// A level outside the four is treated as the nearest one.
void setLogLevel(LogLevel level);

/// Returns the current threshold.
LogLevel getLogLevel();

/// Makes @p handler the current handler and remembers the one it replaces,
/// so that restorePreviousOutputHandler can undo a temporary redirection.
/// The library does not take ownership. Passing null turns logging off.
void useOutputHandler(OutputHandler * handler);

/// Turns logging off, remembering the current handler as the previous one.
void noOutputHandler();

/// Swaps the current and the previous handler. The previous handler is one
/// slot, not a stack: calling this twice returns to where it started.
void restorePreviousOutputHandler();

/// Returns the current handler, or null when logging is off. Another thread
/// may replace it as soon as this returns.
OutputHandler * getOutputHandler();

}  // namespace scrivo

#endif  // SCRIVO__LOGGING_HPP_
