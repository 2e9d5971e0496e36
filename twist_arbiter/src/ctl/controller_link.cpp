// Copyright 2026 The twist_arbiter authors.

#include "ctl/controller_link.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <rcl_interfaces/msg/parameter_type.hpp>
#include <rclcpp/expand_topic_or_service_name.hpp>

#include "twist_arbiter/control_mode.hpp"
#include "twist_arbiter/ctl/mode_catalogue.hpp"
#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_ctl
{

namespace
{

using Clock = std::chrono::steady_clock;

double Seconds(std::chrono::nanoseconds d)
{
  return std::chrono::duration<double>(d).count();
}

}  // namespace

ControllerLink::ControllerLink(rclcpp::Node::SharedPtr node, const Command & command)
: node_(std::move(node)),
  name_(command.node_name),
  namespace_(command.node_namespace),
  fqn_(FullyQualifiedName(command)),
  timeout_(std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(command.timeout_s)))
{
  executor_.add_node(node_);
  const std::string set_name = ServiceName(twist_arbiter::interface::kSetControlModeService);
  set_client_ = OpenEndpoint(
    set_name, [&] {return node_->create_client<SetControlMode>(set_name);});
}

std::string ControllerLink::ServiceName(const std::string & service) const
{
  return fqn_ + "/" + service;
}

void ControllerLink::Reach(const std::vector<std::string> & others)
{
  for (const auto & service : others) {
    const std::string name = ServiceName(service);
    clients_[service] = OpenEndpoint(
      name, [&]() -> rclcpp::ClientBase::SharedPtr {
        if (service == "get_parameters") {
          return node_->create_client<rcl_interfaces::srv::GetParameters>(name);
        }
        return node_->create_client<ReturnControlMode>(name);
      });
  }
  std::vector<rclcpp::ClientBase::SharedPtr> all = {set_client_};
  std::vector<std::string> names = {set_client_->get_service_name()};
  for (const auto & entry : clients_) {
    all.push_back(entry.second);
    names.push_back(entry.second->get_service_name());
  }
  const auto deadline = Clock::now() + timeout_;
  for (const auto & client : all) {
    const auto left = std::max(std::chrono::nanoseconds(0), deadline - Clock::now());
    if (!client->wait_for_service(left)) {
      if (!rclcpp::ok()) {
        throw CtlError(kExitUnreachable, "interrupted while looking for the controller");
      }
      std::string list;
      for (const auto & n : names) {
        list += (list.empty() ? "" : ", ") + n;
      }
      throw CtlError(
              kExitUnreachable,
              fmt::format(
                "no controller {} found within {:g} s: service {} not available (looked for {})",
                fqn_, Seconds(timeout_), client->get_service_name(), list));
    }
  }
}

template<typename ServiceT>
typename ServiceT::Response::SharedPtr ControllerLink::Call(
  typename rclcpp::Client<ServiceT>::SharedPtr client,
  typename ServiceT::Request::SharedPtr request, const std::string & what)
{
  auto pending = client->async_send_request(request);
  const auto code = executor_.spin_until_future_complete(pending, timeout_);
  if (code == rclcpp::FutureReturnCode::SUCCESS) {
    return pending.get();
  }
  client->remove_pending_request(pending);
  if (code == rclcpp::FutureReturnCode::INTERRUPTED) {
    throw CtlError(kExitUnreachable, fmt::format("interrupted while waiting for {}", what));
  }
  throw CtlError(
          kExitUnreachable,
          fmt::format(
            "controller {} did not answer {} within {:g} s", fqn_, what, Seconds(timeout_)));
}

std::vector<std::optional<rcl_interfaces::msg::ParameterValue>> ControllerLink::GetParameters(
  const std::vector<std::string> & names)
{
  using rcl_interfaces::srv::GetParameters;
  const auto client =
    std::static_pointer_cast<rclcpp::Client<GetParameters>>(clients_.at("get_parameters"));
  auto request = std::make_shared<GetParameters::Request>();
  request->names = names;
  const auto response = Call<GetParameters>(client, request, client->get_service_name());
  std::vector<std::optional<ParameterValue>> values(names.size());
  if (response->values.size() == names.size()) {
    std::copy(response->values.begin(), response->values.end(), values.begin());
    return values;
  }
  // An rclcpp node answers with no values at all when one of the names is not declared; only
  // one at a time tells which are.
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto single = std::make_shared<GetParameters::Request>();
    single->names = {names[i]};
    const auto answer = Call<GetParameters>(client, single, client->get_service_name());
    if (answer->values.size() == 1) {
      values[i] = answer->values.front();
    }
  }
  return values;
}

std::string ControllerLink::Resolve(const std::string & parameter, const std::string & value) const
{
  try {
    return rclcpp::expand_topic_or_service_name(value, name_, namespace_);
  } catch (const std::exception & e) {
    throw CtlError(
            kExitUnreachable,
            fmt::format(
              "controller parameter {} = '{}' does not resolve to a topic name: {}", parameter,
              value, e.what()));
  }
}

ControllerParameters ControllerLink::FetchParameters()
{
  using rcl_interfaces::msg::ParameterType;
  using rcl_interfaces::srv::GetParameters;
  auto request = std::make_shared<GetParameters::Request>();
  namespace interface = twist_arbiter::interface;
  request->names = {
    interface::kOutputTwistTopicParameter, interface::kControlModeTopicParameter,
    interface::kTimeoutThresholdParameter};
  std::vector<uint8_t> modes;
  for (const uint8_t id : AllModeIds()) {
    if (id != 0) {
      modes.push_back(id);
      request->names.push_back(interface::ModeParameter(ControlModeToString(id), "topic"));
    }
  }
  const auto client =
    std::static_pointer_cast<rclcpp::Client<GetParameters>>(clients_.at("get_parameters"));
  const auto response = Call<GetParameters>(client, request, client->get_service_name());

  // An rclcpp node answers with no values at all when one of the names is not declared.
  if (response->values.size() != request->names.size()) {
    throw CtlError(
            kExitUnreachable,
            fmt::format(
              "node {} does not have the parameters of a twist_arbiter controller "
              "(it reported {} of {})", fqn_, response->values.size(), request->names.size()));
  }
  const auto text = [&](std::size_t i) {
      const auto & value = response->values[i];
      if (value.type != ParameterType::PARAMETER_STRING) {
        throw CtlError(
                kExitUnreachable,
                fmt::format("controller parameter {} is not a string", request->names[i]));
      }
      return Resolve(request->names[i], value.string_value);
    };
  ControllerParameters parameters;
  parameters.output_topic = text(0);
  parameters.control_mode_topic = text(1);
  if (response->values[2].type != ParameterType::PARAMETER_DOUBLE) {
    throw CtlError(kExitUnreachable, "controller parameter timeout_threshold is not a double");
  }
  parameters.threshold_s = response->values[2].double_value;
  for (std::size_t i = 0; i < modes.size(); ++i) {
    parameters.inputs[modes[i]].topic = text(3 + i);
  }
  parameters.stopped_topic = fqn_ + "/" + interface::kStoppedTopic;
  FetchOptionalParameters(modes, parameters);
  return parameters;
}

void ControllerLink::FetchOptionalParameters(
  const std::vector<uint8_t> & modes, ControllerParameters & parameters)
{
  using rcl_interfaces::msg::ParameterType;
  namespace interface = twist_arbiter::interface;
  // Asked apart from the required ones: a controller without stamped commands or a stop input
  // declares none of them, and one undeclared name would empty the whole answer.
  std::vector<std::string> names = {
    interface::kOutputStampedParameter, interface::kOutputFrameIdParameter,
    interface::kStopTopicParameter, interface::kStopHeartbeatParameter};
  for (const uint8_t id : modes) {
    names.push_back(interface::ModeParameter(ControlModeToString(id), "stamped"));
    names.push_back(interface::ModeParameter(ControlModeToString(id), "max_age"));
  }
  const auto values = GetParameters(names);
  const auto wrong_type = [&](std::size_t i, const char * type) {
      return CtlError(
        kExitUnreachable, fmt::format("controller parameter {} is not a {}", names[i], type));
    };
  const auto flag = [&](std::size_t i, bool fallback) {
      if (!values[i]) {
        return fallback;
      }
      if (values[i]->type != ParameterType::PARAMETER_BOOL) {
        throw wrong_type(i, "bool");
      }
      return values[i]->bool_value;
    };
  const auto seconds = [&](std::size_t i) {
      if (!values[i]) {
        return 0.0;
      }
      if (values[i]->type == ParameterType::PARAMETER_INTEGER) {
        return static_cast<double>(values[i]->integer_value);
      }
      if (values[i]->type != ParameterType::PARAMETER_DOUBLE) {
        throw wrong_type(i, "double");
      }
      return values[i]->double_value;
    };
  const auto text = [&](std::size_t i, const std::string & fallback) {
      if (!values[i]) {
        return fallback;
      }
      if (values[i]->type != ParameterType::PARAMETER_STRING) {
        throw wrong_type(i, "string");
      }
      return values[i]->string_value;
    };
  parameters.output_stamped = flag(0, false);
  parameters.output_frame_id = text(1, interface::kDefaultOutputFrameId);
  const std::string stop = text(2, "");
  parameters.stop_topic = stop.empty() ? "" : Resolve(names[2], stop);
  parameters.stop_heartbeat_s = seconds(3);
  for (std::size_t m = 0; m < modes.size(); ++m) {
    ModeInput & input = parameters.inputs[modes[m]];
    input.stamped = flag(4 + 2 * m, false);
    input.max_age_s = seconds(5 + 2 * m);
  }
}

ControllerLink::SetControlMode::Response::SharedPtr ControllerLink::CallSet(uint8_t mode)
{
  auto request = std::make_shared<SetControlMode::Request>();
  request->mode.mode = mode;
  return Call<SetControlMode>(set_client_, request, set_client_->get_service_name());
}

ControllerLink::ReturnControlMode::Response::SharedPtr ControllerLink::CallReturn(
  const std::string & service, uint8_t mode)
{
  auto request = std::make_shared<ReturnControlMode::Request>();
  request->mode.mode = mode;
  const auto client =
    std::static_pointer_cast<rclcpp::Client<ReturnControlMode>>(clients_.at(service));
  return Call<ReturnControlMode>(client, request, client->get_service_name());
}

bool ControllerLink::SpinUntil(Clock::time_point deadline)
{
  while (rclcpp::ok()) {
    const auto now = Clock::now();
    if (now >= deadline) {
      return true;
    }
    executor_.spin_once(
      std::min<std::chrono::nanoseconds>(deadline - now, std::chrono::milliseconds(50)));
  }
  return false;
}

}  // namespace twist_arbiter_ctl
