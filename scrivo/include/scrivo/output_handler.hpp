#ifndef SCRIVO__OUTPUT_HANDLER_HPP_
#define SCRIVO__OUTPUT_HANDLER_HPP_

/// @file
/// The interface every scrivo sink implements.

#include <string>

#include "scrivo/log_level.hpp"

namespace scrivo
{

/// Receives the messages that pass the threshold.
///
/// Sinks are polymorphic so that an application can send its messages to the
/// console, to a file or to a place of its own without changing any call site.
/// The library never takes ownership: whoever creates a handler destroys it,
/// and must not do so while it is the current or the previous handler.
///
/// scrivo::log calls a handler with the library's mutex held, so a handler is
/// never entered by two threads at once and needs no locking of its own. For
/// the same reason it must not call back into the library, which would
/// deadlock on the non-recursive mutex.
class OutputHandler
{
public:
  /// Virtual so that a handler can be destroyed through a base pointer.
  virtual ~OutputHandler();

  /// Writes one message.
  /// @param text     the formatted message, at most 1023 characters when it
  ///                 comes from scrivo::log
  /// @param level    its severity; scrivo::log passes only the four levels
  /// @param filename the caller's source file, passed on unchanged
  /// @param line     the caller's source line, passed on unchanged
  virtual void log(const std::string & text, LogLevel level, const char * filename, int line) = 0;
};

}  // namespace scrivo

#endif  // SCRIVO__OUTPUT_HANDLER_HPP_
