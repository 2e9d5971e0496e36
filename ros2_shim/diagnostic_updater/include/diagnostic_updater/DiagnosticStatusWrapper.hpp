// A diagnostic_msgs/msg/DiagnosticStatus with helpers to set its summary and add key/values,
// as the diagnostic tasks of an Updater fill it.
#ifndef DIAGNOSTIC_UPDATER__DIAGNOSTICSTATUSWRAPPER_HPP_
#define DIAGNOSTIC_UPDATER__DIAGNOSTICSTATUSWRAPPER_HPP_

#include <cstdarg>
#include <cstdio>
#include <sstream>
#include <string>

#include "diagnostic_msgs/msg/diagnostic_status.hpp"
#include "diagnostic_msgs/msg/key_value.hpp"

namespace diagnostic_updater
{

/// DiagnosticStatus plus summary/merge/add helpers.
/**
 * Not copyable: a task receives the wrapper by reference and the updater copies the plain
 * DiagnosticStatus part when it publishes. Levels are the inherited message constants (OK,
 * WARN, ERROR, STALE).
 */
class DiagnosticStatusWrapper : public diagnostic_msgs::msg::DiagnosticStatus
{
public:
  DiagnosticStatusWrapper() = default;
  DiagnosticStatusWrapper(const DiagnosticStatusWrapper &) = delete;
  DiagnosticStatusWrapper & operator=(const DiagnosticStatusWrapper &) = delete;

  /// Sets level and message.
  void summary(unsigned char lvl, const std::string s)
  {
    level = lvl;
    message = s;
  }

  /// Copies level and message of another status.
  void summary(const diagnostic_msgs::msg::DiagnosticStatus & src)
  {
    summary(src.level, src.message);
  }

  /// Merges a new summary into the current one.
  /**
   * When both the current and the new level are non-OK the messages are joined with "; "
   * (the separator only when there already is a message); otherwise the message of the higher
   * level wins. The level becomes the maximum of both.
   */
  void mergeSummary(unsigned char lvl, const std::string s)
  {
    if ((lvl > 0) && (level > 0)) {
      if (!message.empty()) {
        message += "; ";
      }
      message += s;
    } else if (lvl > level) {
      message = s;
    }
    if (lvl > level) {
      level = lvl;
    }
  }

  void mergeSummary(const diagnostic_msgs::msg::DiagnosticStatus & src)
  {
    mergeSummary(src.level, src.message);
  }

  /// mergeSummary with a printf-style message (truncated to 999 characters).
  void mergeSummaryf(unsigned char lvl, const char * format, ...)
  {
    va_list va;
    va_start(va, format);
    const std::string text = vformat(format, va);
    va_end(va);
    mergeSummary(lvl, text);
  }

  /// summary with a printf-style message (truncated to 999 characters).
  void summaryf(unsigned char lvl, const char * format, ...)
  {
    va_list va;
    va_start(va, format);
    const std::string text = vformat(format, va);
    va_end(va);
    summary(lvl, text);
  }

  /// Resets to level OK with an empty message.
  void clearSummary()
  {
    summary(0, "");
  }

  /// Adds a key/value pair; the value is written with operator<< (doubles: 6 significant digits).
  template<class T>
  void add(const std::string & key, const T & val)
  {
    std::stringstream ss;
    ss << val;
    push_value(key, ss.str());
  }

  /// Adds a key/value pair with a printf-style value (truncated to 999 characters).
  void addf(const std::string & key, const char * format, ...)
  {
    va_list va;
    va_start(va, format);
    const std::string text = vformat(format, va);
    va_end(va);
    push_value(key, text);
  }

  /// Removes all key/value pairs.
  void clear()
  {
    values.clear();
  }

private:
  void push_value(const std::string & key, const std::string & value)
  {
    diagnostic_msgs::msg::KeyValue kv;
    kv.key = key;
    kv.value = value;
    values.push_back(kv);
  }

  static std::string vformat(const char * format, va_list va)
  {
    constexpr int kBufferSize = 1000;
    char buff[kBufferSize];
    if (std::vsnprintf(buff, kBufferSize, format, va) < 0) {
      buff[0] = '\0';
    }
    return std::string(buff);
  }
};

/// Strings are stored as they are.
template<>
inline void DiagnosticStatusWrapper::add<std::string>(const std::string & key, const std::string & s)
{
  push_value(key, s);
}

/// Booleans are written "True" / "False".
template<>
inline void DiagnosticStatusWrapper::add<bool>(const std::string & key, const bool & b)
{
  push_value(key, b ? "True" : "False");
}

}  // namespace diagnostic_updater

#endif  // DIAGNOSTIC_UPDATER__DIAGNOSTICSTATUSWRAPPER_HPP_
