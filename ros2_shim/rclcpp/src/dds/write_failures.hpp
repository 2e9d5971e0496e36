// The writes Cyclone refused on one writer: counted, and reported at most once a second so
// that a writer failing at its full rate cannot flood the log (or /rosout, which is itself
// written this way).
#ifndef RCLCPP__SHIM__DDS__WRITE_FAILURES_HPP_
#define RCLCPP__SHIM__DDS__WRITE_FAILURES_HPP_

#include <atomic>
#include <cstdint>
#include <string>

#include "dds/dds.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

class WriteFailures
{
public:
  /// `what` names the writer in the report ("publisher on '/chatter'").
  explicit WriteFailures(std::string what);

  /// The result of a dds_write: a failure is counted and, unless one was reported less than a
  /// second ago, logged with the count so far. Returns rc >= 0.
  bool check(dds_return_t rc);

  uint64_t count() const {return count_.load();}

private:
  std::string what_;
  std::atomic<uint64_t> count_{0};
  std::atomic<int64_t> last_report_ns_;
};

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__WRITE_FAILURES_HPP_
