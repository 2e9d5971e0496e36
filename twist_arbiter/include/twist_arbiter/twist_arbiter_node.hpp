// Copyright 2026 The twist_arbiter authors.
//
// The controller node: one current control mode, one output Twist topic.

#ifndef TWIST_ARBITER__TWIST_ARBITER_NODE_HPP_
#define TWIST_ARBITER__TWIST_ARBITER_NODE_HPP_

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include <corvan_msgs/msg/control_mode.hpp>
#include <corvan_msgs/srv/return_control_mode.hpp>
#include <corvan_msgs/srv/set_control_mode.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <rclcpp/rclcpp.hpp>
#include <rclcpp_tarvek/node.hpp>

#include "twist_arbiter/control_mode_config.hpp"
#include "twist_arbiter/twist_limiter.hpp"

/// Velocity-command gate of the robot.
///
/// Of the sources that want to drive the robot (one input Twist topic per control mode), only
/// the one that belongs to the current mode reaches the output topic. Other nodes change the mode
/// through three services (`~/set_control_mode`, `~/previous_control_mode`,
/// `~/reset_control_mode`); every change is announced on a transient-local control-mode topic.
/// A source that falls silent for longer than `timeout_threshold` gets one zero Twist so that the
/// robot does not keep driving on a stale command, and in "manual_mapping" the commands pass
/// through a velocity and acceleration limiter.
///
/// Everything runs in the node's default (mutually exclusive) callback group, so the node holds
/// no locks. All configuration is read once, at construction, from mandatory parameters; a value
/// that could only fail later (negative or huge threshold, invalid topic name, bad limiter
/// setting) is refused there with std::invalid_argument after one ERROR line.
class TwistArbiter : public rclcpp_tarvek::Node
{
public:
  /// Builds the node in mode "none": reads all parameters, creates both publishers and the three
  /// services and publishes the mode "none" once. Subscribes to nothing and arms no timer.
  ///
  /// @throws std::exception (plain) when a parameter is missing or mistyped (logged at ERROR).
  /// @throws std::invalid_argument for an unknown mode name or a refused value (logged at ERROR).
  explicit TwistArbiter(rclcpp::NodeOptions options);

private:
  using Twist = geometry_msgs::msg::Twist;
  using ControlMode = corvan_msgs::msg::ControlMode;
  using SetControlModeSrv = corvan_msgs::srv::SetControlMode;
  using ReturnControlModeSrv = corvan_msgs::srv::ReturnControlMode;

  /// Switches to `control_mode.mode`, checking nothing: the service handlers decide whether a
  /// switch happens, this decides what it does (record previous mode, announce the new one,
  /// tear down the old input side and build the new one).
  void SetControlMode(corvan_msgs::msg::ControlMode control_mode);

  /// Whether the current mode may be left for @p target (always true while in "none").
  bool IsValidTransition(uint8_t target);

  void SetControlModeRequest(
    std::shared_ptr<SetControlModeSrv::Request> request,
    std::shared_ptr<SetControlModeSrv::Response> response);
  void PreviousControlModeRequest(
    std::shared_ptr<ReturnControlModeSrv::Request> request,
    std::shared_ptr<ReturnControlModeSrv::Response> response);
  void ResetControlModeRequest(
    std::shared_ptr<ReturnControlModeSrv::Request> request,
    std::shared_ptr<ReturnControlModeSrv::Response> response);

  /// Publishes one command on the output topic and restarts the staleness countdown.
  void TwistCallback(std::shared_ptr<geometry_msgs::msg::Twist> msg);
  /// (Re)arms the staleness watchdog: it runs out one threshold from now.
  void ResetStaleTimer();
  /// Watchdog expiry: warn, reset the limiter, publish one zero Twist, disarm.
  void SetStale();

  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr twist_publisher_;
  rclcpp::Publisher<corvan_msgs::msg::ControlMode>::SharedPtr control_mode_publisher_;
  rclcpp::Subscription<geometry_msgs::msg::Twist>::SharedPtr twist_subscription_;
  rclcpp::Service<corvan_msgs::srv::SetControlMode>::SharedPtr set_control_mode_service_;
  rclcpp::Service<corvan_msgs::srv::ReturnControlMode>::SharedPtr previous_control_mode_service_;
  rclcpp::Service<corvan_msgs::srv::ReturnControlMode>::SharedPtr reset_control_mode_service_;
  rclcpp::TimerBase::SharedPtr stale_timer_;
  std::chrono::milliseconds timeout_threshold_ms_{0};
  std::map<uint8_t, std::shared_ptr<ControlModeConfig>> control_mode_configs_;
  corvan_msgs::msg::ControlMode current_mode_;
  corvan_msgs::msg::ControlMode previous_mode_;
  std::unique_ptr<TwistLimiter> twist_limiter_;
  // When a non-finite command was last reported, per mode: the warning is throttled per mode,
  // not per subscription, so switching back and forth does not multiply it.
  std::map<uint8_t, std::optional<std::chrono::steady_clock::time_point>> non_finite_warnings_;
};

#endif  // TWIST_ARBITER__TWIST_ARBITER_NODE_HPP_
