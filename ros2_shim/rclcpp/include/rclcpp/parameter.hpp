// A named parameter value with typed accessors.
#ifndef RCLCPP__PARAMETER_HPP_
#define RCLCPP__PARAMETER_HPP_

#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class Parameter;

namespace node_interfaces
{
struct ParameterInfo;
}  // namespace node_interfaces

namespace detail
{

// Class methods cannot be specialised, so Parameter::get_value<T>() dispatches here.
template<typename T>
auto
get_value_helper(const rclcpp::Parameter * parameter);

}  // namespace detail

/// Name plus value; what nodes exchange when parameters are read, set or overridden.
class Parameter
{
public:
  /// Empty name, PARAMETER_NOT_SET value.
  RCLCPP_PUBLIC
  Parameter();

  RCLCPP_PUBLIC
  explicit Parameter(const std::string & name);

  RCLCPP_PUBLIC
  Parameter(const std::string & name, const ParameterValue & value);

  template<typename ValueTypeT>
  Parameter(const std::string & name, ValueTypeT value)
  : Parameter(name, ParameterValue(value))
  {}

  RCLCPP_PUBLIC
  explicit Parameter(const rclcpp::node_interfaces::ParameterInfo & parameter_info);

  RCLCPP_PUBLIC
  bool
  operator==(const Parameter & rhs) const;

  RCLCPP_PUBLIC
  bool
  operator!=(const Parameter & rhs) const;

  RCLCPP_PUBLIC
  ParameterType
  get_type() const;

  RCLCPP_PUBLIC
  std::string
  get_type_name() const;

  RCLCPP_PUBLIC
  const std::string &
  get_name() const;

  RCLCPP_PUBLIC
  rcl_interfaces::msg::ParameterValue
  get_value_message() const;

  RCLCPP_PUBLIC
  const rclcpp::ParameterValue &
  get_parameter_value() const;

  /// Value by ParameterType; a mismatch throws InvalidParameterTypeException naming the parameter.
  template<ParameterType ParamT>
  decltype(auto)
  get_value() const
  {
    try {
      return value_.get<ParamT>();
    } catch (const ParameterTypeException & ex) {
      throw exceptions::InvalidParameterTypeException(this->name_, ex.what());
    }
  }

  /// Value by C++ type; a mismatch throws InvalidParameterTypeException naming the parameter.
  template<typename T>
  decltype(auto)
  get_value() const;

  // The as_*() accessors throw the bare rclcpp::ParameterTypeException on a mismatch.

  RCLCPP_PUBLIC
  bool
  as_bool() const;

  RCLCPP_PUBLIC
  int64_t
  as_int() const;

  RCLCPP_PUBLIC
  double
  as_double() const;

  RCLCPP_PUBLIC
  const std::string &
  as_string() const;

  RCLCPP_PUBLIC
  const std::vector<uint8_t> &
  as_byte_array() const;

  RCLCPP_PUBLIC
  const std::vector<bool> &
  as_bool_array() const;

  RCLCPP_PUBLIC
  const std::vector<int64_t> &
  as_integer_array() const;

  RCLCPP_PUBLIC
  const std::vector<double> &
  as_double_array() const;

  RCLCPP_PUBLIC
  const std::vector<std::string> &
  as_string_array() const;

  RCLCPP_PUBLIC
  static Parameter
  from_parameter_msg(const rcl_interfaces::msg::Parameter & parameter);

  RCLCPP_PUBLIC
  rcl_interfaces::msg::Parameter
  to_parameter_msg() const;

  RCLCPP_PUBLIC
  std::string
  value_to_string() const;

private:
  std::string name_;
  ParameterValue value_;
};

/// JSON dict entry: "name": {"type": "...", "value": "..."}.
RCLCPP_PUBLIC
std::string
_to_json_dict_entry(const Parameter & param);

RCLCPP_PUBLIC
std::ostream &
operator<<(std::ostream & os, const rclcpp::Parameter & pv);

RCLCPP_PUBLIC
std::ostream &
operator<<(std::ostream & os, const std::vector<Parameter> & parameters);

namespace detail
{

template<typename T>
auto
get_value_helper(const rclcpp::Parameter * parameter)
{
  try {
    return parameter->get_parameter_value().get<T>();
  } catch (const ParameterTypeException & ex) {
    throw exceptions::InvalidParameterTypeException(parameter->get_name(), ex.what());
  }
}

template<>
inline
auto
get_value_helper<rclcpp::ParameterValue>(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value();
}

template<>
inline
auto
get_value_helper<rclcpp::Parameter>(const rclcpp::Parameter * parameter)
{
  auto type_enforcing_lambda =
    [&parameter]() -> const rclcpp::Parameter & {
      return *parameter;
    };
  return type_enforcing_lambda();
}

}  // namespace detail

template<typename T>
decltype(auto)
Parameter::get_value() const
{
  return detail::get_value_helper<T>(this);
}

}  // namespace rclcpp

namespace std
{

/// JSON list entry of one parameter.
RCLCPP_PUBLIC
std::string
to_string(const rclcpp::Parameter & param);

/// JSON object of several parameters.
RCLCPP_PUBLIC
std::string
to_string(const std::vector<rclcpp::Parameter> & parameters);

}  // namespace std

#endif  // RCLCPP__PARAMETER_HPP_
