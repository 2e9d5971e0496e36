#ifndef RCLCPP__ANY_EXECUTABLE_HPP_
#define RCLCPP__ANY_EXECUTABLE_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/client.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos_event.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/shim/incompatible_qos_event.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// One unit of work chosen by an executor. It holds strong references, so the entity
/// outlives its callback even if the user drops it from inside the callback.
struct AnyExecutable
{
  RCLCPP_PUBLIC
  AnyExecutable();

  RCLCPP_PUBLIC
  virtual ~AnyExecutable();

  rclcpp::SubscriptionBase::SharedPtr subscription;
  rclcpp::TimerBase::SharedPtr timer;
  rclcpp::ServiceBase::SharedPtr service;
  rclcpp::ClientBase::SharedPtr client;
  rclcpp::CallbackGroup::SharedPtr callback_group;
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base;

  /// Internal: the sample, request or response taken for this execution.
  shim::Sample shim_sample;
  rmw_request_id_t shim_header{};
  std::shared_ptr<const void> shim_request;
  std::shared_ptr<void> shim_response;
  /// Internal: an incompatible-QoS report taken for this execution.
  std::shared_ptr<shim::IncompatibleQosEvent> shim_qos_event;
  QOSIncompatibleQoSStatus shim_qos_status{0, 0, RMW_QOS_POLICY_INVALID};
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_EXECUTABLE_HPP_
