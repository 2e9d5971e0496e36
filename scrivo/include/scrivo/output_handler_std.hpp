#ifndef SCRIVO__OUTPUT_HANDLER_STD_HPP_
#define SCRIVO__OUTPUT_HANDLER_STD_HPP_

/// @file
/// The console sink.

#include <string>

#include "scrivo/log_level.hpp"
#include "scrivo/output_handler.hpp"

namespace scrivo
{

/// Writes messages to the console, split by severity.
///
/// Debug and Info go to standard output as one line, so normal chatter can be
/// piped or discarded apart from problems. Warning and Error go to standard
/// error followed by a location line ("         at line N in FILE") that
/// points at the logging call. Every message is flushed at once, so nothing is
/// lost when the process dies right after logging.
///
/// The library owns one instance, which is the current handler until another
/// one is installed; applications rarely need to create their own.
class OutputHandlerSTD : public OutputHandler
{
public:
  ~OutputHandlerSTD() override;

  /// Writes "<prefix><text>" and, for Warning and Error, the location line.
  /// A level outside the four is treated as the nearest one.
  void log(const std::string & text, LogLevel level, const char * filename, int line) override;
};

}  // namespace scrivo

#endif  // SCRIVO__OUTPUT_HANDLER_STD_HPP_
