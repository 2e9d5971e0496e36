// Copyright 2026 The twist_arbiter authors.
//
// Reading an optional parameter: declared with its default, so that it is listed and answers
// `ros2 param get` and the get_parameters service even when nobody set it.

#ifndef TWIST_ARBITER__OPTIONAL_PARAMETER_HPP_
#define TWIST_ARBITER__OPTIONAL_PARAMETER_HPP_

#include <exception>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <rclcpp/rclcpp.hpp>

/// The value of @p name, declaring it with @p default_value (statically typed, type of T) on
/// first use; a value supplied as an override replaces the default.
///
/// An override of another type (1 for a double, "yes" for a bool) fails the way a mandatory
/// parameter does, with one ERROR line `Something went wrong during parameter "<name>"
/// configuration: <reason>`, and throws std::invalid_argument with that same text, so the
/// program's FATAL line and a container's load error say which parameter was wrong.
template<typename T>
T GetOptionalParameter(rclcpp::Node * node, const std::string & name, const T & default_value)
{
  try {
    if (!node->has_parameter(name)) {
      return node->declare_parameter<T>(name, default_value);
    }
    return node->get_parameter(name).template get_value<T>();
  } catch (const std::exception & e) {
    const std::string text = fmt::format(
      "Something went wrong during parameter \"{}\" configuration: {}", name, e.what());
    RCLCPP_ERROR(node->get_logger(), "%s", text.c_str());
    throw std::invalid_argument(text);
  }
}

#endif  // TWIST_ARBITER__OPTIONAL_PARAMETER_HPP_
