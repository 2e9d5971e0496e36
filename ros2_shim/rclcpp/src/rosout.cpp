#include "rclcpp/shim/rosout.hpp"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rcutils/logging.h"
#include "rcutils/logging_macros.h"

namespace rclcpp
{
namespace shim
{

namespace
{

using LogPublisher = rclcpp::Publisher<rcl_interfaces::msg::Log>;

struct Registry
{
  std::mutex mutex;
  uint64_t next_id{0};
  /// Per logger name, publishers in registration order; the first one carries the lines.
  std::map<std::string, std::vector<std::pair<uint64_t, std::shared_ptr<LogPublisher>>>> routes;
  /// Lets the handler skip the lock entirely while no node publishes (the common case
  /// for library code logging before any node exists).
  std::atomic<size_t> size{0};
};

// Never destroyed: log lines can arrive from static destructors and other threads at exit.
Registry & registry()
{
  static Registry * instance = new Registry();
  return *instance;
}

std::atomic<bool> g_stdout_enabled{true};
std::atomic<bool> g_rosout_enabled{false};

// Set while this thread publishes a line, so that anything the publishing path logs
// reaches the console only instead of recursing into /rosout.
thread_local bool t_publishing = false;

class Registration
{
public:
  Registration(std::string name, uint64_t id)
  : name_(std::move(name)), id_(id) {}

  ~Registration()
  {
    Registry & r = registry();
    std::shared_ptr<LogPublisher> released;  // dropped outside the lock
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.routes.find(name_);
    if (it == r.routes.end()) {
      return;
    }
    auto & entries = it->second;
    for (auto e = entries.begin(); e != entries.end(); ++e) {
      if (e->first == id_) {
        released = std::move(e->second);
        entries.erase(e);
        r.size.fetch_sub(1);
        break;
      }
    }
    if (entries.empty()) {
      r.routes.erase(it);
    }
  }

private:
  std::string name_;
  uint64_t id_;
};

std::string format_message(const char * format, va_list * args)
{
  if (!format) {
    return std::string();
  }
  char small[512];
  va_list copy;
  va_copy(copy, *args);
  const int needed = std::vsnprintf(small, sizeof(small), format, copy);
  va_end(copy);
  if (needed < 0) {
    return std::string();
  }
  if (static_cast<size_t>(needed) < sizeof(small)) {
    return std::string(small, static_cast<size_t>(needed));
  }
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_copy(copy, *args);
  std::vsnprintf(&text[0], text.size(), format, copy);
  va_end(copy);
  text.resize(static_cast<size_t>(needed));
  return text;
}

void publish_to_rosout(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args)
{
  if (!name || t_publishing) {
    return;
  }
  Registry & r = registry();
  if (r.size.load() == 0) {
    return;
  }
  std::shared_ptr<LogPublisher> publisher;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.routes.find(name);
    if (it == r.routes.end() || it->second.empty()) {
      return;
    }
    publisher = it->second.front().second;
  }
  // The publisher is held by this thread now: a node destroyed meanwhile cannot pull it away.
  t_publishing = true;
  try {
    rcl_interfaces::msg::Log line;
    constexpr rcutils_time_point_value_t second = 1000000000;
    line.stamp.sec = static_cast<int32_t>(timestamp / second);
    line.stamp.nanosec = static_cast<uint32_t>(timestamp % second);
    line.level = static_cast<uint8_t>(severity);
    line.name = name;
    line.msg = format_message(format, args);
    if (location) {
      line.file = location->file_name ? location->file_name : "";
      line.function = location->function_name ? location->function_name : "";
      line.line = static_cast<uint32_t>(location->line_number);
    }
    publisher->publish(line);
  } catch (const std::exception & e) {
    std::fprintf(stderr, "failed to publish log message to rosout: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "failed to publish log message to rosout\n");
  }
  t_publishing = false;
}

void output_handler(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args)
{
  if (g_stdout_enabled.load()) {
    va_list copy;
    va_copy(copy, *args);
    rcutils_logging_console_output_handler(location, severity, name, timestamp, format, &copy);
    va_end(copy);
  }
  if (g_rosout_enabled.load()) {
    publish_to_rosout(location, severity, name, timestamp, format, args);
  }
}

}  // namespace

void
configure_log_output(bool stdout_enabled, bool rosout_enabled)
{
  g_stdout_enabled.store(stdout_enabled);
  g_rosout_enabled.store(rosout_enabled);
  rcutils_logging_set_output_handler(output_handler);
}

bool
rosout_enabled()
{
  return g_rosout_enabled.load();
}

std::shared_ptr<void>
register_rosout_publisher(
  const std::string & logger_name, std::shared_ptr<LogPublisher> publisher)
{
  Registry & r = registry();
  bool shared = false;
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    id = ++r.next_id;
    auto & entries = r.routes[logger_name];
    shared = !entries.empty();
    entries.emplace_back(id, std::move(publisher));
    r.size.fetch_add(1);
  }
  if (shared) {
    RCUTILS_LOG_WARN_NAMED(
      "rcl.logging_rosout",
      "Publisher already registered for provided node name. If this is due to multiple nodes "
      "with the same name then all logs for that logger name will go out over the existing "
      "publisher.");
  }
  return std::make_shared<Registration>(logger_name, id);
}

}  // namespace shim
}  // namespace rclcpp
