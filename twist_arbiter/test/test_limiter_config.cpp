// Copyright 2026 The twist_arbiter authors.
//
// Mode configurations read from a real node's parameters: what they store, and how they refuse
// values that could only fail later.

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "twist_arbiter/control_mode_config.hpp"
#include "twist_arbiter/twist_arbiter_node.hpp"

namespace
{

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct LogRecord
{
  int severity;
  std::string message;
};
std::vector<LogRecord> g_log;

void CaptureLog(
  const rcutils_log_location_t *, int severity, const char *, rcutils_time_point_value_t,
  const char * format, va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char buffer[4096];
  vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  g_log.push_back({severity, buffer});
}

std::vector<std::string> Errors()
{
  std::vector<std::string> errors;
  for (const auto & record : g_log) {
    if (record.severity == RCUTILS_LOG_SEVERITY_ERROR) {
      errors.push_back(record.message);
    }
  }
  return errors;
}

const char * const kModes[] = {"manual", "teleops", "manual_mapping", "autopilot", "docking",
  "user"};
const std::string kLimiter = "states.manual_mapping.limiter.";

// A complete configuration; @p changes replace or add parameters by name.
std::vector<rclcpp::Parameter> Configuration(const std::vector<rclcpp::Parameter> & changes = {})
{
  std::vector<rclcpp::Parameter> parameters = {
    rclcpp::Parameter("topics.out.twist", "cmd_vel"),
    rclcpp::Parameter("topics.out.control_mode", "control_mode"),
    rclcpp::Parameter("timeout_threshold", 0.5),
    rclcpp::Parameter(kLimiter + "velocity.max_linear", 0.5),
    rclcpp::Parameter(kLimiter + "velocity.max_angular", 1.0),
    rclcpp::Parameter(kLimiter + "acceleration.max_linear", 0.25),
    rclcpp::Parameter(kLimiter + "acceleration.max_angular", 2.0),
    rclcpp::Parameter(kLimiter + "interpolation_rate", 20.0),
  };
  for (const char * mode : kModes) {
    parameters.emplace_back(
      std::string("states.") + mode + ".topic", std::string("in/") + mode);
    parameters.emplace_back(
      std::string("states.") + mode + ".transitions_to", std::vector<std::string>{"teleops"});
  }
  for (const auto & change : changes) {
    bool replaced = false;
    for (auto & p : parameters) {
      if (p.get_name() == change.get_name()) {
        p = change;
        replaced = true;
      }
    }
    if (!replaced) {
      parameters.push_back(change);
    }
  }
  return parameters;
}

class LimiterConfig : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void SetUp() override
  {
    previous_handler_ = rcutils_logging_get_output_handler();
    rcutils_logging_set_output_handler(CaptureLog);
    g_log.clear();
  }
  void TearDown() override {rcutils_logging_set_output_handler(previous_handler_);}

  // Constructs the node and returns the text of the std::invalid_argument it fails with.
  static std::string ConstructionFailure(const std::vector<rclcpp::Parameter> & changes)
  {
    try {
      auto node = std::make_shared<TwistArbiter>(
        rclcpp::NodeOptions().parameter_overrides(Configuration(changes)));
    } catch (const std::invalid_argument & e) {
      return e.what();
    }
    return "";
  }

  rcutils_logging_output_handler_t previous_handler_ = nullptr;
};

}  // namespace

TEST_F(LimiterConfig, ConfigureStoresTopicTransitionsAndTheFiveLimits)
{
  auto node = std::make_shared<TwistArbiter>(
    rclcpp::NodeOptions().parameter_overrides(
      Configuration({
        rclcpp::Parameter(
          "states.manual.transitions_to",
          std::vector<std::string>{"teleops", "autopilot", "manual_mapping", "manual_mapping",
            "none", "manual"}),
        // Zero bounds are valid: they hold a group still.
        rclcpp::Parameter(kLimiter + "velocity.max_angular", 0.0),
        rclcpp::Parameter(kLimiter + "acceleration.max_linear", 0.0)})));
  EXPECT_TRUE(Errors().empty());

  // Reading again through the same node sees the same, already declared parameters.
  ControlModeConfig manual;
  manual.Configure(node.get(), 10);
  EXPECT_EQ(manual.topic_, "in/manual");
  EXPECT_EQ(manual.transitions_, (std::vector<uint8_t>{11, 20, 12, 12, 0, 10}));

  ControlModeConfigLimited mapping;
  mapping.Configure(node.get(), 12);
  EXPECT_EQ(mapping.topic_, "in/manual_mapping");
  EXPECT_EQ(mapping.transitions_, (std::vector<uint8_t>{11}));
  EXPECT_EQ(mapping.max_linear_velocity_, 0.5);
  EXPECT_EQ(mapping.max_angular_velocity_, 0.0);
  EXPECT_EQ(mapping.max_linear_acceleration_, 0.0);
  EXPECT_EQ(mapping.max_angular_acceleration_, 2.0);
  EXPECT_EQ(mapping.interpolation_rate_, 20.0);

  // Through the base class, the limited mode's own Configure runs.
  std::shared_ptr<ControlModeConfig> as_base = std::make_shared<ControlModeConfigLimited>();
  as_base->Configure(node.get(), 12);
  EXPECT_EQ(std::static_pointer_cast<ControlModeConfigLimited>(as_base)->interpolation_rate_, 20.0);

  // The limiter parameters of other modes are never read.
  EXPECT_FALSE(node->has_parameter("states.manual.limiter.interpolation_rate"));

  // A value changed later is refused when read again: one ERROR line, the same text thrown.
  node->set_parameter(rclcpp::Parameter(kLimiter + "interpolation_rate", -5.0));
  ControlModeConfigLimited again;
  try {
    again.Configure(node.get(), 12);
    ADD_FAILURE() << "rate -5 accepted";
  } catch (const std::invalid_argument & e) {
    const std::string expected = "Invalid value -5 for parameter "
      "\"states.manual_mapping.limiter.interpolation_rate\": allowed is a finite rate in Hz "
      "greater than 1000 / 2^31 (the period 1000 / rate must fit a 32-bit signed number of "
      "milliseconds).";
    EXPECT_EQ(e.what(), expected);
    EXPECT_EQ(Errors(), std::vector<std::string>{expected});
  }
}

TEST_F(LimiterConfig, EveryBadLimiterValueIsRefusedAtConstructionWithOneErrorLine)
{
  struct Case
  {
    std::string parameter;
    double value;
    std::string value_text;
  };
  std::vector<Case> cases;
  for (const char * bound : {"velocity.max_linear", "velocity.max_angular",
      "acceleration.max_linear", "acceleration.max_angular"})
  {
    cases.push_back({kLimiter + bound, -0.1, "-0.1"});
    cases.push_back({kLimiter + bound, kNaN, "nan"});
    cases.push_back({kLimiter + bound, kInf, "inf"});
  }
  for (const auto & [value, text] : std::vector<std::pair<double, std::string>>{
      {0.0, "0"}, {-1.0, "-1"}, {kNaN, "nan"}, {kInf, "inf"}, {-kInf, "-inf"}, {1e-9, "1e-09"}})
  {
    cases.push_back({kLimiter + "interpolation_rate", value, text});
  }

  for (const auto & c : cases) {
    g_log.clear();
    const std::string text = ConstructionFailure({rclcpp::Parameter(c.parameter, c.value)});
    EXPECT_EQ(text.rfind("Invalid value " + c.value_text + " for parameter \"" + c.parameter +
      "\": allowed is ", 0), 0u) << c.parameter << " = " << c.value_text << ": " << text;
    EXPECT_EQ(Errors(), std::vector<std::string>{text}) << c.parameter;
  }
}

TEST_F(LimiterConfig, TheFirstBadValueInReadingOrderIsReported)
{
  // Within the limited mode: velocity before acceleration before the rate.
  EXPECT_NE(
    ConstructionFailure({
      rclcpp::Parameter(kLimiter + "interpolation_rate", 0.0),
      rclcpp::Parameter(kLimiter + "acceleration.max_angular", -1.0)}).find(
      "acceleration.max_angular"),
    std::string::npos);
  // The topic is read and checked before the transitions and the limits.
  EXPECT_NE(
    ConstructionFailure({
      rclcpp::Parameter("states.manual_mapping.topic", "bad topic"),
      rclcpp::Parameter(kLimiter + "velocity.max_linear", -1.0)}).find(
      "\"states.manual_mapping.topic\""),
    std::string::npos);
  // Modes are configured in id order: manual_mapping (12) before autopilot (20).
  EXPECT_NE(
    ConstructionFailure({
      rclcpp::Parameter("states.autopilot.topic", ""),
      rclcpp::Parameter(kLimiter + "velocity.max_linear", -1.0)}).find(
      "velocity.max_linear"),
    std::string::npos);
}
