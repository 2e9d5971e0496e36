// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/control_mode_config.hpp"

#include <string>
#include <vector>

#include "rclcpp_tarvek/helper_parameter.hpp"
#include "twist_arbiter/config_checks.hpp"
#include "twist_arbiter/control_mode.hpp"
#include "twist_arbiter/interface.hpp"
#include "twist_arbiter/optional_parameter.hpp"
#include "twist_arbiter/twist_arbiter_node.hpp"

namespace
{

using twist_arbiter::interface::ModeParameter;

// Reads one limiter setting and refuses it on the spot if @p check rejects it.
template<typename CheckT>
double ReadChecked(TwistArbiter * node, const std::string & name, CheckT check)
{
  const double value = rclcpp_tarvek::GetParameter<double>(node, name);
  RefuseInvalidValue(node->get_logger(), check(name, value));
  return value;
}

}  // namespace

void ControlModeConfig::Configure(TwistArbiter * node, const uint8_t & mode)
{
  const std::string name = ControlModeToString(mode);

  const std::string topic_parameter = ModeParameter(name, "topic");
  topic_ = rclcpp_tarvek::GetParameter<std::string>(node, topic_parameter);
  RefuseInvalidValue(
    node->get_logger(),
    CheckTopicName(topic_parameter, topic_, node->get_name(), node->get_namespace()));

  const auto transitions = rclcpp_tarvek::GetParameter<std::vector<std::string>>(
    node, ModeParameter(name, "transitions_to"));
  for (const auto & target : transitions) {
    transitions_.push_back(StringToControlMode(target));
  }

  const std::string stamped_parameter = ModeParameter(name, "stamped");
  stamped_ = GetOptionalParameter<bool>(node, stamped_parameter, false);
  const std::string max_age_parameter = ModeParameter(name, "max_age");
  max_age_ = GetOptionalParameter<double>(node, max_age_parameter, 0.0);
  RefuseInvalidValue(
    node->get_logger(), CheckMaxAge(max_age_parameter, max_age_, stamped_parameter, stamped_));
}

void ControlModeConfigLimited::Configure(TwistArbiter * node, const uint8_t & mode)
{
  ControlModeConfig::Configure(node, mode);
  const std::string name = ControlModeToString(mode);

  max_linear_velocity_ = ReadChecked(
    node, ModeParameter(name, "limiter.velocity.max_linear"), CheckLimiterBound);
  max_angular_velocity_ = ReadChecked(
    node, ModeParameter(name, "limiter.velocity.max_angular"), CheckLimiterBound);
  max_linear_acceleration_ = ReadChecked(
    node, ModeParameter(name, "limiter.acceleration.max_linear"), CheckLimiterBound);
  max_angular_acceleration_ = ReadChecked(
    node, ModeParameter(name, "limiter.acceleration.max_angular"), CheckLimiterBound);
  interpolation_rate_ = ReadChecked(
    node, ModeParameter(name, "limiter.interpolation_rate"), CheckInterpolationRate);
}
