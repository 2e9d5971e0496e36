// Copyright 2026 The twist_arbiter authors.
//
// The controller's public interface as names and QoS profiles: parameter names, service names
// and the profiles of its topics. The node and every tool that talks to it include this one
// header, so a renamed parameter or a changed profile cannot leave a client behind.

#ifndef TWIST_ARBITER__INTERFACE_HPP_
#define TWIST_ARBITER__INTERFACE_HPP_

#include <string>

#include <rclcpp/qos.hpp>

namespace twist_arbiter
{
namespace interface
{

/// The node's name unless remapped.
inline constexpr const char * kNodeName = "twist_arbiter";

/// Services, relative to the node (`~/<name>`).
inline constexpr const char * kSetControlModeService = "set_control_mode";
inline constexpr const char * kPreviousControlModeService = "previous_control_mode";
inline constexpr const char * kResetControlModeService = "reset_control_mode";

/// Parameters of the node as a whole.
inline constexpr const char * kOutputTwistTopicParameter = "topics.out.twist";
inline constexpr const char * kControlModeTopicParameter = "topics.out.control_mode";
inline constexpr const char * kTimeoutThresholdParameter = "timeout_threshold";

/// Optional parameters (each has a default that keeps the plain Twist gate without a stop).
/// Output as geometry_msgs/msg/TwistStamped instead of Twist, and the frame it names.
inline constexpr const char * kOutputStampedParameter = "topics.out.stamped";
inline constexpr const char * kOutputFrameIdParameter = "topics.out.frame_id";
inline constexpr const char * kDefaultOutputFrameId = "base_link";
/// The stop input (std_msgs/msg/Bool; empty = no stop input) and its heartbeat (s; 0 = none).
inline constexpr const char * kStopTopicParameter = "stop.topic";
inline constexpr const char * kStopHeartbeatParameter = "stop.heartbeat";

/// Topic on which the node announces whether the stop is engaged, relative to the node.
inline constexpr const char * kStoppedTopic = "stopped";

/// Parameters of one mode, e.g. ModeParameter("teleops", "topic") is "states.teleops.topic".
inline std::string ModeParameter(const std::string & mode_name, const std::string & key)
{
  return "states." + mode_name + "." + key;
}

/// Per-mode keys: "topic", "transitions_to", "stamped" (optional, default false) and
/// "max_age" (optional, seconds, 0 = no age gate; stamped inputs only).

/// Output and input Twist profile: only the newest command matters, and a lost one is replaced
/// by the next, so best effort with depth 1 and nothing kept for late joiners.
inline rclcpp::QoS TwistQoS()
{
  return rclcpp::SystemDefaultsQoS()
         .keep_last(1)
         .reliability(rclcpp::ReliabilityPolicy::BestEffort)
         .durability(rclcpp::DurabilityPolicy::Volatile);
}

/// Depth of the control-mode history kept for late joiners.
inline constexpr std::size_t kControlModeHistoryDepth = 10;

/// Control-mode profile: every change must arrive, and a node that starts later still learns
/// the current mode (and the last few before it) from the transient-local history.
inline rclcpp::QoS ControlModeQoS()
{
  return rclcpp::SystemDefaultsQoS()
         .keep_last(kControlModeHistoryDepth)
         .reliability(rclcpp::ReliabilityPolicy::Reliable)
         .durability(rclcpp::DurabilityPolicy::TransientLocal);
}

/// Stop input profile: best effort, depth 1, so that a publisher of any reliability matches.
inline rclcpp::QoS StopInputQoS()
{
  return rclcpp::SystemDefaultsQoS()
         .keep_last(1)
         .reliability(rclcpp::ReliabilityPolicy::BestEffort)
         .durability(rclcpp::DurabilityPolicy::Volatile);
}

/// Stop state profile: the newest state is all that matters, and a late joiner must learn it.
inline rclcpp::QoS StoppedQoS()
{
  return rclcpp::SystemDefaultsQoS()
         .keep_last(1)
         .reliability(rclcpp::ReliabilityPolicy::Reliable)
         .durability(rclcpp::DurabilityPolicy::TransientLocal);
}

}  // namespace interface
}  // namespace twist_arbiter

#endif  // TWIST_ARBITER__INTERFACE_HPP_
