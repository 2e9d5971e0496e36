// Copyright 2026 The twist_arbiter authors.
//
// The tool's connection to one running controller, through its public interface only: the mode
// services, the parameter service every rclcpp node offers, and its topics.

#ifndef CTL__CONTROLLER_LINK_HPP_
#define CTL__CONTROLLER_LINK_HPP_

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <corvan_msgs/msg/control_mode.hpp>
#include <corvan_msgs/srv/return_control_mode.hpp>
#include <corvan_msgs/srv/set_control_mode.hpp>
#include <rcl_interfaces/msg/parameter_value.hpp>
#include <rcl_interfaces/srv/get_parameters.hpp>
#include <rclcpp/rclcpp.hpp>

#include "twist_arbiter/ctl/command.hpp"
#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_ctl
{

/// Ends the run with a one-line message and an exit status.
class CtlError : public std::runtime_error
{
public:
  CtlError(int status, const std::string & message)
  : std::runtime_error(message), status_(status) {}
  int status() const {return status_;}

private:
  int status_;
};

/// One mode's input as the controller configures it.
struct ModeInput
{
  std::string topic;
  bool stamped{false};    // geometry_msgs/msg/TwistStamped instead of Twist
  double max_age_s{0.0};  // 0: no age gate
};

/// Creates one endpoint through @p make. An endpoint can be refused (DDS Security refuses
/// those that the process's permissions do not grant); for this tool that puts the controller
/// out of reach, which is what the exit status says, rather than an internal error.
template<typename MakeT>
auto OpenEndpoint(const std::string & name, MakeT && make) -> decltype(make())
{
  try {
    return make();
  } catch (const std::exception & e) {
    throw CtlError(kExitUnreachable, "cannot open " + name + ": " + e.what());
  }
}

/// What the tool needs of the controller's configuration, names already resolved in the
/// controller's namespace (parameters hold relative names). The optional parameters keep their
/// defaults against a controller that does not declare them.
struct ControllerParameters
{
  std::string output_topic;
  std::string control_mode_topic;
  double threshold_s{0.0};
  std::map<uint8_t, ModeInput> inputs;  // every mode but "none"
  bool output_stamped{false};
  std::string output_frame_id{twist_arbiter::interface::kDefaultOutputFrameId};
  std::string stop_topic;  // empty: no stop input
  double stop_heartbeat_s{0.0};
  std::string stopped_topic;  // where the controller announces the stop state
};

using twist_arbiter::interface::ControlModeQoS;
using twist_arbiter::interface::TwistQoS;

class ControllerLink
{
public:
  using SetControlMode = corvan_msgs::srv::SetControlMode;
  using ReturnControlMode = corvan_msgs::srv::ReturnControlMode;

  ControllerLink(rclcpp::Node::SharedPtr node, const Command & command);

  const std::string & fqn() const {return fqn_;}
  std::chrono::nanoseconds timeout() const {return timeout_;}
  rclcpp::Node & node() {return *node_;}
  rclcpp::executors::SingleThreadedExecutor & executor() {return executor_;}

  /// Waits, within the timeout, until the controller's set_control_mode service and every
  /// service in @p others ("get_parameters", "reset_control_mode", ...) are ready.
  /// @throws CtlError (unreachable) naming the services that were looked for.
  void Reach(const std::vector<std::string> & others);

  /// @throws CtlError (unreachable) when there is no answer or it is not a controller's.
  ControllerParameters FetchParameters();

  /// Calls a mode service. @throws CtlError (unreachable) when no answer comes in time.
  SetControlMode::Response::SharedPtr CallSet(uint8_t mode);
  ReturnControlMode::Response::SharedPtr CallReturn(const std::string & service, uint8_t mode);

  /// Spins until @p deadline or shutdown; false on shutdown.
  bool SpinUntil(std::chrono::steady_clock::time_point deadline);

private:
  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr Call(
    typename rclcpp::Client<ServiceT>::SharedPtr client,
    typename ServiceT::Request::SharedPtr request, const std::string & what);

  std::string ServiceName(const std::string & service) const;

  using ParameterValue = rcl_interfaces::msg::ParameterValue;
  /// The values of @p names, in order, each nullopt when the node does not declare it.
  std::vector<std::optional<ParameterValue>> GetParameters(const std::vector<std::string> & names);
  void FetchOptionalParameters(
    const std::vector<uint8_t> & modes, ControllerParameters & parameters);
  /// A name in the controller's namespace. @throws CtlError naming @p parameter.
  std::string Resolve(const std::string & parameter, const std::string & value) const;

  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::string name_;
  std::string namespace_;
  std::string fqn_;
  std::chrono::nanoseconds timeout_;
  rclcpp::Client<SetControlMode>::SharedPtr set_client_;
  std::map<std::string, rclcpp::ClientBase::SharedPtr> clients_;
};

}  // namespace twist_arbiter_ctl

#endif  // CTL__CONTROLLER_LINK_HPP_
