#include "write_failures.hpp"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "rcutils/logging_macros.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{
constexpr int64_t kReportIntervalNs = 1000000000LL;
}  // namespace

WriteFailures::WriteFailures(std::string what)
: what_(std::move(what)), last_report_ns_(INT64_MIN / 2)
{}

bool WriteFailures::check(dds_return_t rc)
{
  if (rc >= 0) {
    return true;
  }
  const uint64_t failed = ++count_;
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::steady_clock::now().time_since_epoch()).count();
  int64_t last = last_report_ns_.load();
  // Claimed before logging: a report that itself fails to be written is not reported again.
  if (now - last < kReportIntervalNs || !last_report_ns_.compare_exchange_strong(last, now)) {
    return false;
  }
  RCUTILS_LOG_WARN_NAMED(
    "rclcpp", "%s: a write failed (%s); %llu writes failed so far", what_.c_str(),
    dds_strretcode(rc), static_cast<unsigned long long>(failed));  // NOLINT(runtime/int)
  return false;
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
