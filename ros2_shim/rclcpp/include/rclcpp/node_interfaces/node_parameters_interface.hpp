// Parameters of a node (declaration, overrides, typing, callbacks).
#ifndef RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/shim/parameter_store.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// Forwards to the node's parameter store (see rclcpp/shim/parameter_store.hpp).
class NodeParametersInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeParametersInterface)

  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;
  using OnSetParametersCallbackType = OnSetParametersCallbackHandle::OnSetParametersCallbackType;

  RCLCPP_PUBLIC
  explicit NodeParametersInterface(std::unique_ptr<shim::ParameterStore> store);

  RCLCPP_PUBLIC
  virtual ~NodeParametersInterface();

  RCLCPP_PUBLIC
  virtual const rclcpp::ParameterValue & declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  RCLCPP_PUBLIC
  virtual const rclcpp::ParameterValue & declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  RCLCPP_PUBLIC
  virtual void undeclare_parameter(const std::string & name);

  RCLCPP_PUBLIC
  virtual bool has_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  virtual std::vector<rcl_interfaces::msg::SetParametersResult>
  set_parameters(const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  virtual rcl_interfaces::msg::SetParametersResult
  set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  virtual std::vector<rclcpp::Parameter>
  get_parameters(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  virtual rclcpp::Parameter get_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  virtual bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  RCLCPP_PUBLIC
  virtual bool get_parameters_by_prefix(
    const std::string & prefix,
    std::map<std::string, rclcpp::Parameter> & parameters) const;

  RCLCPP_PUBLIC
  virtual std::vector<rcl_interfaces::msg::ParameterDescriptor>
  describe_parameters(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  virtual std::vector<uint8_t> get_parameter_types(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  virtual rcl_interfaces::msg::ListParametersResult
  list_parameters(const std::vector<std::string> & prefixes, uint64_t depth) const;

  RCLCPP_PUBLIC
  virtual OnSetParametersCallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback);

  RCLCPP_PUBLIC
  virtual void remove_on_set_parameters_callback(
    const OnSetParametersCallbackHandle * const handler);

  RCLCPP_PUBLIC
  virtual const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const;

  /// Internal: the store itself.
  RCLCPP_PUBLIC
  shim::ParameterStore & shim_store() {return *store_;}

private:
  std::unique_ptr<shim::ParameterStore> store_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
