// Cyclone DDS's own log lines (errors, warnings, notices) through rcutils logging, throttled.
//
// Cyclone writes one line per event to stderr. Some events are triggered by what peers send
// (a malformed sample, a bad handshake), so a broken or hostile peer could flood the log;
// each of Cyclone's call sites therefore gets at most one line per period, and the next line
// it gets says how many were held back.
#ifndef RCLCPP__SHIM__DDS__CYCLONE_LOG_HPP_
#define RCLCPP__SHIM__DDS__CYCLONE_LOG_HPP_

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace rclcpp
{
namespace shim
{
namespace dds
{

/// Decides which lines of each call site pass; free of Cyclone and of clocks.
class LogThrottle
{
public:
  explicit LogThrottle(std::chrono::nanoseconds period)
  : period_(period) {}

  /// True when a line from `site` at `now` may be written; `suppressed` is then the number
  /// of lines from that site held back since the last one written.
  bool admit(const std::string & site, std::chrono::nanoseconds now, uint64_t & suppressed);

private:
  struct Site
  {
    std::chrono::nanoseconds last{};
    uint64_t suppressed{0};
  };
  std::chrono::nanoseconds period_;
  std::mutex mutex_;
  std::map<std::string, Site> sites_;
};

/// Installs the sink for Cyclone's log (once per process; later calls do nothing). Lines go
/// to the "rmw_cyclonedds_cpp" logger at the severity Cyclone gave them.
void route_cyclone_log();

/// The logger name Cyclone's lines are written under.
constexpr const char * kCycloneLoggerName = "rmw_cyclonedds_cpp";

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__CYCLONE_LOG_HPP_
