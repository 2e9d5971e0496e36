#ifndef RCLCPP_TARVEK__HELPER_PARAMETER_HPP_
#define RCLCPP_TARVEK__HELPER_PARAMETER_HPP_

#include <exception>
#include <string>

#include "fmt/format.h"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/rclcpp.hpp"

namespace rclcpp_tarvek
{

/// Read a mandatory, statically typed parameter, declaring it on first use.
/**
 * Every parameter read this way must come from the node's parameter overrides (launch file,
 * YAML file or command line): there is no default value on purpose, so that a forgotten
 * setting stops the node at construction instead of running it with a guess.
 *
 * The parameter is declared with the typed declaration without default only if the node does
 * not have it yet, so repeated calls (or a parameter declared elsewhere) read the current
 * value without declaring again.
 *
 * On any std::exception from declaring or reading, one ERROR line
 * `Something went wrong during parameter "<name>" configuration: <what()>` goes to the
 * node's logger and a plain std::exception is thrown: the log tells which parameter failed
 * and why, the caller only learns that configuration failed. Nothing is cached; a later call
 * tries again. A parameter that is declared but has no value (left so by rclcpp after a
 * failed call, or declared elsewhere without default) fails in the same way as a missing
 * one instead of reading as a value-initialised T. Exceptions not derived from
 * std::exception pass through unlogged.
 *
 * \tparam T any type accepted by rclcpp's typed declare_parameter / get_parameter.
 * \param node the node owning the parameter; must not be null.
 * \param name the full parameter name.
 * \return the parameter's value.
 */
template<typename T>
T GetParameter(rclcpp::Node * node, const std::string & name)
{
  try {
    if (!node->has_parameter(name)) {
      node->declare_parameter<T>(name, rcl_interfaces::msg::ParameterDescriptor(), false);
    }
    T value{};
    if (!node->get_parameter(name, value)) {
      // Declared but without a value: a failed earlier call (rclcpp leaves the parameter
      // declared) or a declaration elsewhere without default. A mandatory parameter must
      // not silently read as a value-initialised T, so report it as uninitialised.
      throw rclcpp::exceptions::UninitializedStaticallyTypedParameterException(name);
    }
    return value;
  } catch (const std::exception & e) {
    const std::string text = fmt::format(
      "Something went wrong during parameter \"{}\" configuration: {}", name, e.what());
    RCLCPP_ERROR(node->get_logger(), "%s", text.c_str());
    throw std::exception();
  }
}

}  // namespace rclcpp_tarvek

#endif  // RCLCPP_TARVEK__HELPER_PARAMETER_HPP_
