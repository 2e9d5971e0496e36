#include "scrivo/logging.hpp"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "default_output_handler.hpp"
#include "level_prefix.hpp"

namespace scrivo
{

namespace
{
// Longest message is one less, the last byte is always the terminator.
constexpr std::size_t kBufferSize = 1024;
}  // namespace

void log(const char * file, int line, LogLevel level, const char * format, ...)
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  level = detail::clampLevel(level);

  std::lock_guard<std::mutex> lock(state.mutex_);
  if (state.current_handler_ == nullptr || level < state.log_level_) {
    return;
  }

  char buffer[kBufferSize];
  buffer[0] = '\0';  // stays empty if formatting fails or there is no format
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
  }
  buffer[sizeof(buffer) - 1] = '\0';

  state.current_handler_->log(std::string(buffer), level, file, line);
}

void setLogLevel(LogLevel level)
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  state.log_level_ = detail::clampLevel(level);
}

LogLevel getLogLevel()
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  return state.log_level_;
}

void useOutputHandler(OutputHandler * handler)
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  state.previous_handler_ = state.current_handler_;
  state.current_handler_ = handler;
}

void noOutputHandler()
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  state.previous_handler_ = state.current_handler_;
  state.current_handler_ = nullptr;
}

void restorePreviousOutputHandler()
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  std::swap(state.current_handler_, state.previous_handler_);
}

OutputHandler * getOutputHandler()
{
  detail::DefaultOutputHandler & state = detail::DefaultOutputHandler::instance();
  std::lock_guard<std::mutex> lock(state.mutex_);
  return state.current_handler_;
}

}  // namespace scrivo
