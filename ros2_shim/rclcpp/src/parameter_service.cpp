#include "rclcpp/parameter_service.hpp"

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/exceptions.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp
{

namespace
{

using rcl_interfaces::srv::DescribeParameters;
using rcl_interfaces::srv::GetParameterTypes;
using rcl_interfaces::srv::GetParameters;
using rcl_interfaces::srv::ListParameters;
using rcl_interfaces::srv::SetParameters;
using rcl_interfaces::srv::SetParametersAtomically;

template<typename ServiceT, typename CallbackT>
typename rclcpp::Service<ServiceT>::SharedPtr
add_service(
  node_interfaces::NodeBaseInterface & node_base,
  node_interfaces::NodeServicesInterface & node_services,
  const char * suffix, CallbackT && callback, const rmw_qos_profile_t & qos)
{
  rclcpp::AnyServiceCallback<ServiceT> any_callback;
  any_callback.set(std::forward<CallbackT>(callback));
  const std::string name = node_services.resolve_service_name(
    std::string(node_base.get_fully_qualified_name()) + "/" + suffix);
  auto service = std::make_shared<rclcpp::Service<ServiceT>>(
    &node_base, name, std::move(any_callback), qos);
  node_services.add_service(service, nullptr);
  return service;
}

rclcpp::Logger logger() {return rclcpp::get_logger("rclcpp");}

}  // namespace

ParameterService::ParameterService(
  const std::shared_ptr<node_interfaces::NodeBaseInterface> node_base,
  const std::shared_ptr<node_interfaces::NodeServicesInterface> node_services,
  rclcpp::node_interfaces::NodeParametersInterface * node_params,
  const rmw_qos_profile_t & qos_profile)
{
  auto & base = *node_base;
  auto & services = *node_services;

  // A request naming an undeclared parameter gets an empty answer, not a partial one.
  get_parameters_service_ = add_service<GetParameters>(
    base, services, "get_parameters",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetParameters::Request> request,
      std::shared_ptr<GetParameters::Response> response)
    {
      try {
        for (const auto & parameter : node_params->get_parameters(request->names)) {
          response->values.push_back(parameter.get_value_message());
        }
      } catch (const std::exception & e) {
        response->values.clear();
        RCLCPP_DEBUG(logger(), "Failed to get parameters: %s", e.what());
      }
    }, qos_profile);

  get_parameter_types_service_ = add_service<GetParameterTypes>(
    base, services, "get_parameter_types",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<GetParameterTypes::Request> request,
      std::shared_ptr<GetParameterTypes::Response> response)
    {
      try {
        response->types = node_params->get_parameter_types(request->names);
      } catch (const std::exception & e) {
        response->types.clear();
        RCLCPP_DEBUG(logger(), "Failed to get parameter types: %s", e.what());
      }
    }, qos_profile);

  // Each parameter on its own, so that one refusal does not hide the other results.
  set_parameters_service_ = add_service<SetParameters>(
    base, services, "set_parameters",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<SetParameters::Request> request,
      std::shared_ptr<SetParameters::Response> response)
    {
      for (const auto & message : request->parameters) {
        rcl_interfaces::msg::SetParametersResult result;
        try {
          result = node_params->set_parameters_atomically(
            {rclcpp::Parameter::from_parameter_msg(message)});
        } catch (const std::exception & e) {
          RCLCPP_DEBUG(logger(), "Failed to set parameter: %s", e.what());
          result.successful = false;
          result.reason = e.what();
        }
        response->results.push_back(std::move(result));
      }
    }, qos_profile);

  set_parameters_atomically_service_ = add_service<SetParametersAtomically>(
    base, services, "set_parameters_atomically",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<SetParametersAtomically::Request> request,
      std::shared_ptr<SetParametersAtomically::Response> response)
    {
      try {
        std::vector<rclcpp::Parameter> parameters;
        parameters.reserve(request->parameters.size());
        for (const auto & message : request->parameters) {
          parameters.push_back(rclcpp::Parameter::from_parameter_msg(message));
        }
        response->result = node_params->set_parameters_atomically(parameters);
      } catch (const rclcpp::exceptions::ParameterNotDeclaredException & e) {
        RCLCPP_DEBUG(logger(), "Failed to set parameters atomically: %s", e.what());
        response->result.successful = false;
        response->result.reason = "One or more parameters were not declared before setting";
      } catch (const std::exception & e) {
        RCLCPP_DEBUG(logger(), "Failed to set parameters atomically: %s", e.what());
        response->result.successful = false;
        response->result.reason = e.what();
      }
    }, qos_profile);

  describe_parameters_service_ = add_service<DescribeParameters>(
    base, services, "describe_parameters",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<DescribeParameters::Request> request,
      std::shared_ptr<DescribeParameters::Response> response)
    {
      try {
        response->descriptors = node_params->describe_parameters(request->names);
      } catch (const std::exception & e) {
        response->descriptors.clear();
        RCLCPP_DEBUG(logger(), "Failed to describe parameters: %s", e.what());
      }
    }, qos_profile);

  list_parameters_service_ = add_service<ListParameters>(
    base, services, "list_parameters",
    [node_params](
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<ListParameters::Request> request,
      std::shared_ptr<ListParameters::Response> response)
    {
      try {
        response->result = node_params->list_parameters(request->prefixes, request->depth);
      } catch (const std::exception & e) {
        RCLCPP_DEBUG(logger(), "Failed to list parameters: %s", e.what());
      }
    }, qos_profile);
}

}  // namespace rclcpp
