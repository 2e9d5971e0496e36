// Cyclone's log lines through rcutils logging: one line per call site and second, Cyclone's
// own header removed, severities kept. (A peer's flood: shim_wire_tests.)
#include <gtest/gtest.h>

#include <dds/dds.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cyclone_log.hpp"
#include "rcutils/logging.h"

namespace dds = rclcpp::shim::dds;

namespace
{

std::mutex g_mutex;
std::vector<std::pair<int, std::string>> g_lines;

void capture(
  const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
  const char * format, va_list * args)
{
  if (std::string(name) != dds::kCycloneLoggerName) {
    return;
  }
  char text[512];
  va_list copy;
  va_copy(copy, *args);
  std::vsnprintf(text, sizeof(text), format, copy);
  va_end(copy);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_lines.emplace_back(severity, text);
}

TEST(CycloneLog, LinesReachRcutilsThrottledAndWithoutCycloneHeader)
{
  ASSERT_EQ(rcutils_logging_initialize(), RCUTILS_RET_OK);
  rcutils_logging_set_output_handler(capture);
  dds::route_cyclone_log();

  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) {
    dds_log(DDS_LC_WARNING, __FILE__, __LINE__, "t", "deserialization of sample %d failed\n", i);
  }
  dds_log(DDS_LC_ERROR, __FILE__, __LINE__, "test", "an error from another place\n");
  const double seconds =
    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::lock_guard<std::mutex> lock(g_mutex);
  ASSERT_GE(g_lines.size(), 2u);
  EXPECT_LE(g_lines.size(), 2u + static_cast<size_t>(seconds));
  EXPECT_EQ(RCUTILS_LOG_SEVERITY_WARN, g_lines.front().first);
  EXPECT_EQ("deserialization of sample 0 failed", g_lines.front().second);
  EXPECT_EQ(RCUTILS_LOG_SEVERITY_ERROR, g_lines.back().first);
  EXPECT_EQ("an error from another place", g_lines.back().second);
}

}  // namespace
