// GetParameter: reading mandatory parameters and reporting failures.

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"

#include "rclcpp_tarvek/helper_parameter"

namespace
{

struct LogLine
{
  int severity;
  std::string logger;
  std::string function;
  std::string message;
};

std::mutex g_lines_mutex;
std::vector<LogLine> g_lines;

void CaptureOutput(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t /*timestamp*/, const char * format, va_list * args)
{
  va_list length_args;
  va_copy(length_args, *args);
  const int length = std::vsnprintf(nullptr, 0, format, length_args);
  va_end(length_args);
  std::string message(length > 0 ? static_cast<size_t>(length) : 0u, '\0');
  if (length > 0) {
    va_list text_args;
    va_copy(text_args, *args);
    std::vsnprintf(&message[0], message.size() + 1, format, text_args);
    va_end(text_args);
  }
  std::lock_guard<std::mutex> lock(g_lines_mutex);
  g_lines.push_back(
    {severity, name ? name : "", location && location->function_name ? location->function_name : "",
      message});
}

/// Routes rcutils log output into g_lines while alive.
class LogCapture
{
public:
  LogCapture()
  : previous_(rcutils_logging_get_output_handler())
  {
    Take();
    rcutils_logging_set_output_handler(&CaptureOutput);
  }

  ~LogCapture()
  {
    rcutils_logging_set_output_handler(previous_);
  }

  std::vector<LogLine> Take()
  {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    std::vector<LogLine> out;
    out.swap(g_lines);
    return out;
  }

private:
  rcutils_logging_output_handler_t previous_;
};

std::string Prefix(const std::string & name)
{
  return "Something went wrong during parameter \"" + name + "\" configuration: ";
}

class GetParameterTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
  }

  void TearDown() override
  {
    rclcpp::shutdown();
  }

  static std::shared_ptr<rclcpp::Node> MakeNode(const std::vector<rclcpp::Parameter> & overrides)
  {
    return std::make_shared<rclcpp::Node>(
      "param_probe", rclcpp::NodeOptions().parameter_overrides(overrides));
  }

  /// Calls GetParameter<T>, expecting the plain std::exception, and returns the log lines.
  template<typename T>
  std::vector<LogLine> ExpectFailure(rclcpp::Node * node, const std::string & name)
  {
    LogCapture capture;
    try {
      rclcpp_tarvek::GetParameter<T>(node, name);
      ADD_FAILURE() << "no exception for " << name;
    } catch (const std::exception & e) {
      EXPECT_TRUE(typeid(e) == typeid(std::exception)) << typeid(e).name();
      EXPECT_EQ(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    return capture.Take();
  }

  void ExpectOneErrorLine(
    const std::vector<LogLine> & lines, const rclcpp::Node & node, const std::string & text)
  {
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].severity, RCUTILS_LOG_SEVERITY_ERROR);
    EXPECT_EQ(lines[0].logger, node.get_logger().get_name());
    EXPECT_EQ(lines[0].function, "GetParameter");
    EXPECT_EQ(lines[0].message, text);
  }
};

TEST_F(GetParameterTest, ReadsOverridesOfEachTypeAndDeclaresThem)
{
  auto node = MakeNode({
    rclcpp::Parameter("topics.out.twist", "cmd_vel"),
    rclcpp::Parameter("states.manual.transitions_to", std::vector<std::string>{"teleops", "user"}),
    rclcpp::Parameter("states.user.transitions_to", std::vector<std::string>{}),
    rclcpp::Parameter("states.user.topic", ""),
    rclcpp::Parameter("timeout_threshold", 0.5),
  });
  LogCapture capture;

  EXPECT_FALSE(node->has_parameter("topics.out.twist"));
  EXPECT_EQ(rclcpp_tarvek::GetParameter<std::string>(node.get(), "topics.out.twist"), "cmd_vel");
  EXPECT_TRUE(node->has_parameter("topics.out.twist"));
  EXPECT_EQ(
    rclcpp_tarvek::GetParameter<std::vector<std::string>>(
      node.get(), "states.manual.transitions_to"),
    (std::vector<std::string>{"teleops", "user"}));
  EXPECT_TRUE(
    rclcpp_tarvek::GetParameter<std::vector<std::string>>(
      node.get(), "states.user.transitions_to").empty());
  EXPECT_EQ(rclcpp_tarvek::GetParameter<std::string>(node.get(), "states.user.topic"), "");
  EXPECT_DOUBLE_EQ(rclcpp_tarvek::GetParameter<double>(node.get(), "timeout_threshold"), 0.5);

  // The declaration is the statically typed one: another type cannot be set later.
  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("timeout_threshold", 3)).successful);
  EXPECT_TRUE(capture.Take().empty());
}

TEST_F(GetParameterTest, RereadsDeclaredParameterWithItsCurrentValue)
{
  auto node = MakeNode({rclcpp::Parameter("timeout_threshold", 0.5)});
  LogCapture capture;

  EXPECT_DOUBLE_EQ(rclcpp_tarvek::GetParameter<double>(node.get(), "timeout_threshold"), 0.5);
  EXPECT_DOUBLE_EQ(rclcpp_tarvek::GetParameter<double>(node.get(), "timeout_threshold"), 0.5);
  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("timeout_threshold", 0.75)).successful);
  EXPECT_DOUBLE_EQ(rclcpp_tarvek::GetParameter<double>(node.get(), "timeout_threshold"), 0.75);

  // Declared by someone else (with a default): read, not declared again.
  node->declare_parameter<std::string>("declared.elsewhere", "abc");
  EXPECT_EQ(rclcpp_tarvek::GetParameter<std::string>(node.get(), "declared.elsewhere"), "abc");
  EXPECT_TRUE(capture.Take().empty());
}

TEST_F(GetParameterTest, MissingParameterLogsOneErrorAndThrowsPlainException)
{
  auto node = MakeNode({});
  const std::string expected = Prefix("timeout_threshold") +
    "Statically typed parameter 'timeout_threshold' must be initialized.";

  ExpectOneErrorLine(ExpectFailure<double>(node.get(), "timeout_threshold"), *node, expected);
  // A second attempt fails the same way instead of handing out a made-up 0.0.
  ExpectOneErrorLine(ExpectFailure<double>(node.get(), "timeout_threshold"), *node, expected);

  // Declared elsewhere with a type but without a value: equally missing.
  node->declare_parameter("declared.empty", rclcpp::PARAMETER_STRING);
  ExpectOneErrorLine(
    ExpectFailure<std::string>(node.get(), "declared.empty"), *node,
    Prefix("declared.empty") + "Statically typed parameter 'declared.empty' must be initialized.");
}

TEST_F(GetParameterTest, TypeMismatchLogsRclcppTextAndThrowsPlainException)
{
  const std::string name = "topics.out.twist";
  auto node = MakeNode({rclcpp::Parameter(name, 5)});

  // The text after the colon is whatever rclcpp says about the clash.
  std::string rclcpp_text;
  {
    auto reference = std::make_shared<rclcpp::Node>(
      "param_reference", rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter(name, 5)}));
    try {
      reference->declare_parameter<std::string>(name, rcl_interfaces::msg::ParameterDescriptor());
    } catch (const std::exception & e) {
      rclcpp_text = e.what();
    }
  }
  EXPECT_EQ(
    rclcpp_text,
    "parameter 'topics.out.twist' has invalid type: Wrong parameter type, parameter "
    "{topics.out.twist} is of type {string}, setting it to {integer} is not allowed.");

  ExpectOneErrorLine(ExpectFailure<std::string>(node.get(), name), *node, Prefix(name) + rclcpp_text);

  // A parameter declared elsewhere with another type fails when read.
  node->declare_parameter("threshold.integer", 3);
  ExpectOneErrorLine(
    ExpectFailure<double>(node.get(), "threshold.integer"), *node,
    Prefix("threshold.integer") +
    "parameter 'threshold.integer' has invalid type: expected [double] got [integer]");
}

TEST_F(GetParameterTest, OnlyStandardExceptionsAreLogged)
{
  auto node = MakeNode({
    rclcpp::Parameter("vetoed.standard", 1.0),
    rclcpp::Parameter("vetoed.other", 1.0),
  });
  auto handle = node->add_on_set_parameters_callback(
    [](const std::vector<rclcpp::Parameter> & parameters) {
      for (const auto & parameter : parameters) {
        if (parameter.get_name() == "vetoed.standard") {
          throw std::runtime_error("rejected by the callback");
        }
        if (parameter.get_name() == "vetoed.other") {
          throw 7;
        }
      }
      rcl_interfaces::msg::SetParametersResult result;
      result.successful = true;
      return result;
    });

  ExpectOneErrorLine(
    ExpectFailure<double>(node.get(), "vetoed.standard"), *node,
    Prefix("vetoed.standard") + "rejected by the callback");

  LogCapture capture;
  EXPECT_THROW(rclcpp_tarvek::GetParameter<double>(node.get(), "vetoed.other"), int);
  EXPECT_TRUE(capture.Take().empty());
}

}  // namespace
