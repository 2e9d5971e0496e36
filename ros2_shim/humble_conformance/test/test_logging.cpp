// RCLCPP_* logging macros as seen by an rcutils output handler, and the console format.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"

namespace
{

struct Record
{
  int severity;
  std::string name;
  std::string message;
};

std::vector<Record> g_records;

void capture(
  const rcutils_log_location_t *, int severity, const char * name,
  rcutils_time_point_value_t, const char * format, va_list * args)
{
  char buffer[1024];
  va_list copy;
  va_copy(copy, *args);
  std::vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  g_records.push_back({severity, name ? name : "", buffer});
}

class LoggingTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr);
  }

  static void TearDownTestSuite()
  {
    rclcpp::shutdown();
  }

  void SetUp() override
  {
    previous_ = rcutils_logging_get_output_handler();
    rcutils_logging_set_output_handler(capture);
    g_records.clear();
  }

  void TearDown() override
  {
    rcutils_logging_set_output_handler(previous_);
  }

  static std::vector<std::string> messages()
  {
    std::vector<std::string> out;
    for (const auto & r : g_records) {
      out.push_back(r.message);
    }
    return out;
  }

  rcutils_logging_output_handler_t previous_{nullptr};
};

bool always()
{
  return true;
}

bool never()
{
  return false;
}

TEST_F(LoggingTest, severities_names_and_threshold)
{
  auto logger = rclcpp::get_logger("conformance.sev");
  RCLCPP_DEBUG(logger, "hidden %d", 0);
  RCLCPP_INFO(logger, "info %d", 1);
  RCLCPP_WARN(logger, "warn %s", "two");
  RCLCPP_ERROR(logger, "error %.1f", 3.0);
  RCLCPP_FATAL(logger, "fatal");
  ASSERT_EQ(g_records.size(), 4u);
  EXPECT_EQ(g_records[0].severity, RCUTILS_LOG_SEVERITY_INFO);
  EXPECT_EQ(g_records[1].severity, RCUTILS_LOG_SEVERITY_WARN);
  EXPECT_EQ(g_records[2].severity, RCUTILS_LOG_SEVERITY_ERROR);
  EXPECT_EQ(g_records[3].severity, RCUTILS_LOG_SEVERITY_FATAL);
  EXPECT_EQ(messages(), (std::vector<std::string>{"info 1", "warn two", "error 3.0", "fatal"}));
  EXPECT_EQ(g_records[0].name, "conformance.sev");

  logger.set_level(rclcpp::Logger::Level::Debug);
  RCLCPP_DEBUG(logger, "shown %d", 0);
  auto child = logger.get_child("kid");
  EXPECT_STREQ(child.get_name(), "conformance.sev.kid");
  RCLCPP_DEBUG(child, "inherited");
  logger.set_level(rclcpp::Logger::Level::Error);
  RCLCPP_WARN(logger, "filtered");
  RCLCPP_WARN(child, "filtered too");
  ASSERT_EQ(g_records.size(), 6u);
  EXPECT_EQ(g_records[4].message, "shown 0");
  EXPECT_EQ(g_records[4].severity, RCUTILS_LOG_SEVERITY_DEBUG);
  EXPECT_EQ(g_records[5].name, "conformance.sev.kid");
  logger.set_level(rclcpp::Logger::Level::Info);
}

TEST_F(LoggingTest, stream_and_conditional_variants)
{
  auto logger = rclcpp::get_logger("conformance.cond");
  RCLCPP_INFO_STREAM(logger, "stream " << 1 << ' ' << 2.5);
  for (int i = 0; i < 3; ++i) {
    RCLCPP_INFO_ONCE(logger, "once %d", i);
    RCLCPP_WARN_SKIPFIRST(logger, "skipfirst %d", i);
    RCLCPP_ERROR_EXPRESSION(logger, i == 1, "expression %d", i);
    RCLCPP_INFO_STREAM_ONCE(logger, "stream once " << i);
  }
  RCLCPP_INFO_FUNCTION(logger, &always, "function yes");
  RCLCPP_INFO_FUNCTION(logger, &never, "function no");
  EXPECT_EQ(
    messages(),
    (std::vector<std::string>{
    "stream 1 2.5", "once 0", "stream once 0", "skipfirst 1", "expression 1", "skipfirst 2",
    "function yes"}));
}

TEST_F(LoggingTest, throttle_uses_the_given_clock)
{
  auto logger = rclcpp::get_logger("conformance.throttle");
  rclcpp::Clock steady(RCL_STEADY_TIME);
  for (int i = 0; i < 5; ++i) {
    RCLCPP_WARN_THROTTLE(logger, steady, 60000, "throttled %d", i);
    RCLCPP_INFO_STREAM_THROTTLE(logger, steady, 60000, "stream throttled " << i);
  }
  EXPECT_EQ(messages(), (std::vector<std::string>{"throttled 0", "stream throttled 0"}));

  // A zero period never throttles.
  g_records.clear();
  rclcpp::Clock system;
  for (int i = 0; i < 3; ++i) {
    RCLCPP_INFO_THROTTLE(logger, system, 0, "every %d", i);
  }
  EXPECT_EQ(g_records.size(), 3u);
}

#ifdef LOG_FORMAT_PROBE_PATH
/// Runs the probe with a clean logging environment and returns its stderr lines.
std::vector<std::string> probe_lines(const std::string & arguments)
{
  const std::string command =
    std::string("env -u RCUTILS_CONSOLE_OUTPUT_FORMAT -u RCUTILS_LOGGING_USE_STDOUT "
    "RCUTILS_COLORIZED_OUTPUT=0 ") + LOG_FORMAT_PROBE_PATH + " " + arguments +
    " 2>&1 1>/dev/null";
  std::vector<std::string> lines;
  FILE * pipe = popen(command.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return lines;
  }
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof(buffer), pipe)) {
    output += buffer;
  }
  EXPECT_EQ(pclose(pipe), 0) << output;
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line); ) {
    lines.push_back(line);
  }
  return lines;
}

TEST(LogFormat, console_lines_have_the_default_format)
{
  const auto lines = probe_lines("");
  ASSERT_EQ(lines.size(), 4u);
  const char * expected[][2] = {
    {"INFO", "info 1"}, {"WARN", "warn 2"}, {"ERROR", "error 3"}, {"FATAL", "fatal 4"}};
  for (size_t i = 0; i < 4; ++i) {
    const std::regex pattern(
      std::string("^\\[") + expected[i][0] + "\\] \\[[0-9]{10,}\\.[0-9]{9}\\] "
      "\\[robot\\.probe_log\\]: " + expected[i][1] + "$");
    EXPECT_TRUE(std::regex_match(lines[i], pattern)) << lines[i];
  }
}

/// The probe's own lines; a global debug level also lets the middleware's lines through.
std::vector<std::string> probe_logger_lines(const std::string & arguments)
{
  std::vector<std::string> lines;
  for (auto & line : probe_lines(arguments)) {
    if (line.find("] [robot.probe_log]: ") != std::string::npos) {
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

TEST(LogFormat, command_line_sets_levels_and_sinks)
{
  auto lines = probe_logger_lines("--ros-args --log-level debug");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("[DEBUG] [", 0), 0u) << lines[0];
  lines = probe_logger_lines("--ros-args --log-level robot.probe_log:=ERROR");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("[ERROR] [", 0), 0u) << lines[0];
  EXPECT_TRUE(probe_lines("--ros-args --disable-stdout-logs").empty());
}
#endif

}  // namespace
