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
#include <geometry_msgs/msg/twist_stamped.hpp>
#include <rclcpp/rclcpp.hpp>
#include <rclcpp_tarvek/node.hpp>
#include <std_msgs/msg/bool.hpp>

#include "twist_arbiter/control_mode_config.hpp"
#include "twist_arbiter/stop_latch.hpp"
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
/// Optionally (each off by default) the output and any mode's input carry TwistStamped, a stamped
/// input drops commands older than its `max_age`, and a std_msgs/msg/Bool stop input
/// (`stop.topic`, with an optional `stop.heartbeat`) resets the mode to none and refuses to
/// leave it while engaged; its state is announced on `~/stopped`.
///
/// Everything runs in the node's default (mutually exclusive) callback group, so the node holds
/// no locks. All configuration is read once, at construction; a value that could only fail
/// later (negative or huge threshold, invalid topic name, bad limiter setting, an age gate on an
/// unstamped input, ...) is refused there with std::invalid_argument after one ERROR line.
class TwistArbiter : public rclcpp_tarvek::Node
{
public:
  /// Builds the node in mode "none": reads all parameters, creates both publishers and the three
  /// services and publishes the mode "none" once. Without a stop input it subscribes to nothing
  /// and arms no timer; with one it also publishes the stop state once on `~/stopped`,
  /// subscribes to the stop topic and, with a heartbeat, arms the heartbeat timer (and logs the
  /// engaged stop at WARN).
  ///
  /// @throws std::exception (plain) when a mandatory parameter is missing or mistyped (logged
  ///         at ERROR).
  /// @throws std::invalid_argument for an unknown mode name, a refused value or a mistyped
  ///         optional parameter (logged at ERROR).
  explicit TwistArbiter(rclcpp::NodeOptions options);

private:
  using Twist = geometry_msgs::msg::Twist;
  using TwistStamped = geometry_msgs::msg::TwistStamped;
  using Bool = std_msgs::msg::Bool;
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
  /// Publishes @p twist on the output topic as it is configured: as a Twist, or as a
  /// TwistStamped stamped with the node clock's now and the configured frame_id.
  void PublishOutput(const Twist & twist);
  /// Subscribes the input of @p mode (Twist or TwistStamped, as configured); every accepted
  /// command goes to HandleCommand.
  void SubscribeInput(uint8_t mode, const ControlModeConfig & config);
  /// An accepted command of @p mode: to the limiter in manual_mapping, else relayed. Dropped
  /// while the stop is engaged.
  void HandleCommand(uint8_t mode, std::shared_ptr<Twist> twist);
  /// Age gate of a stamped input: whether @p stamp is within @p max_age_ns of now; a drop is
  /// counted and reported at WARN at most once a second per mode.
  bool AcceptStamp(
    uint8_t mode, const builtin_interfaces::msg::Time & stamp, int64_t max_age_ns);

  /// One message on the stop topic: restarts the heartbeat and feeds the latch.
  void StopCallback(bool stop);
  /// Heartbeat expiry: no stop message for one heartbeat.
  void StopHeartbeatExpired();
  /// The latch has just engaged: leave the current mode for none, log, announce.
  void OnStopEngaged();
  /// Publishes the latch's state on `~/stopped`.
  void PublishStopped();
  /// Whether a stop input exists and is engaged.
  bool StopEngaged() const {return stop_latch_ && stop_latch_->engaged();}
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

  // Stamped output (topics.out.stamped): this publisher instead of twist_publisher_, which then
  // stays empty. The message keeps the frame_id; twist and stamp are filled per publication.
  rclcpp::Publisher<TwistStamped>::SharedPtr twist_stamped_publisher_;
  TwistStamped stamped_output_;
  // Input of the current mode when it is stamped (twist_subscription_ is then empty).
  rclcpp::Subscription<TwistStamped>::SharedPtr twist_stamped_subscription_;
  // Age-gate drops per mode: the total, and when the last WARN went out (throttled per mode).
  struct StaleDrops
  {
    uint64_t count{0};
    std::optional<std::chrono::steady_clock::time_point> last_warning;
  };
  std::map<uint8_t, StaleDrops> stale_drops_;

  // Stop input (stop.topic); all empty without one.
  std::unique_ptr<twist_arbiter::StopLatch> stop_latch_;
  rclcpp::Publisher<Bool>::SharedPtr stopped_publisher_;
  rclcpp::Subscription<Bool>::SharedPtr stop_subscription_;
  // One-shot in effect: cancelled at its expiry, reset() by every stop message.
  rclcpp::TimerBase::SharedPtr stop_heartbeat_timer_;
};

#endif  // TWIST_ARBITER__TWIST_ARBITER_NODE_HPP_
