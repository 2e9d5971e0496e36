#include "cyclone_log.hpp"

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <mutex>
#include <string>

#include "dds/dds.h"
#include "rcutils/logging.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

bool LogThrottle::admit(
  const std::string & site, std::chrono::nanoseconds now, uint64_t & suppressed)
{
  std::lock_guard<std::mutex> lock(mutex_);
  auto inserted = sites_.emplace(site, Site{});
  Site & s = inserted.first->second;
  if (!inserted.second && now - s.last < period_) {
    ++s.suppressed;
    return false;
  }
  suppressed = s.suppressed;
  s.suppressed = 0;
  s.last = now;
  return true;
}

namespace
{

int severity_of(uint32_t priority)
{
  if (priority & DDS_LC_FATAL) {
    return RCUTILS_LOG_SEVERITY_FATAL;
  }
  if (priority & DDS_LC_ERROR) {
    return RCUTILS_LOG_SEVERITY_ERROR;
  }
  if (priority & DDS_LC_WARNING) {
    return RCUTILS_LOG_SEVERITY_WARN;
  }
  if (priority & DDS_LC_INFO) {
    return RCUTILS_LOG_SEVERITY_INFO;
  }
  return RCUTILS_LOG_SEVERITY_DEBUG;
}

// Never destroyed: Cyclone's threads may log while static destructors run.
LogThrottle & throttle()
{
  static auto * instance = new LogThrottle(std::chrono::seconds(1));
  return *instance;
}

void sink(void *, const dds_log_data_t * data)
{
  if (!data || !data->message) {
    return;
  }
  // The sink gets the text without Cyclone's header (time, thread; hdrsize is its length in
  // Cyclone's own files) and `size` without the final newline.
  const size_t begin = 0;
  size_t end = data->size;
  while (end > begin && (data->message[end - 1] == '\n' || data->message[end - 1] == '\r')) {
    --end;
  }
  if (end == begin) {
    return;
  }
  const int severity = severity_of(data->priority);
  RCUTILS_LOGGING_AUTOINIT;
  if (!rcutils_logging_logger_is_enabled_for(kCycloneLoggerName, severity)) {
    return;
  }
  std::string site = data->file ? data->file : "?";
  site += ":" + std::to_string(data->line);
  uint64_t suppressed = 0;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  if (!throttle().admit(site, now, suppressed)) {
    return;
  }
  rcutils_log_location_t location{
    data->function ? data->function : "", data->file ? data->file : "", data->line};
  const int length = static_cast<int>(end - begin);
  if (suppressed > 0) {
    rcutils_log(
      &location, severity, kCycloneLoggerName, "%.*s (%" PRIu64 " more like it held back)",
      length, data->message + begin, suppressed);
  } else {
    rcutils_log(&location, severity, kCycloneLoggerName, "%.*s", length, data->message + begin);
  }
}

}  // namespace

void route_cyclone_log()
{
  static std::once_flag once;
  std::call_once(
    once, []() {
      // Lines of the log categories reach this sink; trace categories stay with Cyclone's
      // own tracing (off unless configured).
      dds_set_log_sink(&sink, nullptr);
    });
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
