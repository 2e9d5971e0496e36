#ifndef SCRIVO__OUTPUT_HANDLER_FILE_HPP_
#define SCRIVO__OUTPUT_HANDLER_FILE_HPP_

/// @file
/// The file sink.

#include <cstdio>
#include <string>

#include "scrivo/log_level.hpp"
#include "scrivo/output_handler.hpp"

namespace scrivo
{

/// Appends messages to a file, in the same layout as the console sink.
///
/// The file is opened for appending so that restarts and several handlers on
/// one file add to the log and never truncate what earlier runs wrote. Every
/// message is flushed, so the file is complete even if the process crashes.
///
/// A file that cannot be opened is reported once on standard error; the
/// handler then stays usable and drops every message, because a logging
/// problem should not stop the program that logs.
class OutputHandlerFile : public OutputHandler
{
public:
  /// Opens @p filename in append mode, creating it if it is missing.
  /// On failure writes "Unable to open log file: '<filename>'" to standard
  /// error and leaves the handler silent. Nothing is thrown.
  explicit OutputHandlerFile(const char * filename);

  /// Closes the file; a failing close is reported on standard error.
  ~OutputHandlerFile() override;

  /// The handler owns its file handle; a copy would close it twice.
  OutputHandlerFile(const OutputHandlerFile &) = delete;
  OutputHandlerFile & operator=(const OutputHandlerFile &) = delete;

  /// Writes "<prefix><text>" and, for Warning and Error, the location line,
  /// then flushes. Does nothing when the file could not be opened.
  /// A level outside the four is treated as the nearest one.
  void log(const std::string & text, LogLevel level, const char * filename, int line) override;

private:
  /// The open log file, or null when opening failed.
  std::FILE * file_;
};

}  // namespace scrivo

#endif  // SCRIVO__OUTPUT_HANDLER_FILE_HPP_
