// Copyright 2026 The twist_arbiter authors.
//
// The console's side of the ROS graph: finds the controller the way twist_arbiter_ctl does
// (node name and namespace, its parameters through the parameter service, names resolved in its
// namespace), follows its mode, output, active input, stop state and log, calls its mode
// services, and drives the pad's publisher. Everything the page sees leaves as JSON frames.

#ifndef CONTROLLER_WATCH_HPP_
#define CONTROLLER_WATCH_HPP_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <corvan_msgs/msg/control_mode.hpp>
#include <corvan_msgs/srv/return_control_mode.hpp>
#include <corvan_msgs/srv/set_control_mode.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <geometry_msgs/msg/twist_stamped.hpp>
#include <nlohmann/json.hpp>
#include <rcl_interfaces/msg/log.hpp>
#include <rcl_interfaces/srv/get_parameters.hpp>
#include <rclcpp/rclcpp.hpp>
#include <std_msgs/msg/bool.hpp>

#include "twist_arbiter_console/console_options.hpp"
#include "twist_arbiter_console/dead_man.hpp"
#include "twist_arbiter_console/live_history.hpp"

namespace twist_arbiter_console
{

/// Frames for the live streams: the newest one and its sequence number.
class FrameHub
{
public:
  void Publish(std::string frame);
  /// Waits up to @p timeout for a frame after @p seq; nullopt on timeout or close. Sets
  /// @p skipped when frames after @p seq were missed (the caller then resends everything).
  std::optional<std::string> WaitAfter(
    uint64_t & seq, std::chrono::milliseconds timeout, bool & skipped);
  uint64_t seq() const;
  void Close();
  bool closed() const;

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t seq_{0};
  std::string frame_;
  bool closed_{false};
};

/// An answer for the page: HTTP status, and the controller's own outcome where there is one.
struct Answer
{
  int status{200};
  bool success{false};
  std::string message;
};

class ControllerWatch
{
public:
  ControllerWatch(rclcpp::Node::SharedPtr node, const ConsoleOptions & options);

  /// Mode services, called from the web server's threads; block up to --timeout.
  Answer SetMode(uint8_t mode);
  Answer Previous(std::optional<uint8_t> from);
  Answer Reset();
  /// The pad; refused unless driving is on and its mode is current.
  Answer Pad(const PadCommand & command);
  void PadRelease();

  /// The whole state and history, as the first frame of a stream and for GET /api/state;
  /// @p seq is the number of the newest frame it includes.
  std::string FullFrame(uint64_t * seq = nullptr);
  FrameHub & hub() {return hub_;}

  /// True once the controller's parameters were read.
  bool configured() const;

private:
  using ControlMode = corvan_msgs::msg::ControlMode;
  using SetControlMode = corvan_msgs::srv::SetControlMode;
  using ReturnControlMode = corvan_msgs::srv::ReturnControlMode;
  using GetParameters = rcl_interfaces::srv::GetParameters;
  using Clock = std::chrono::steady_clock;

  struct ModeConfig
  {
    std::string input_topic;
    std::vector<std::string> transitions_to;
    bool stamped{false};
  };
  struct Config
  {
    std::string output_topic;
    std::string control_mode_topic;
    double threshold_s{0.0};
    bool output_stamped{false};
    std::string stop_topic;
    std::map<uint8_t, ModeConfig> modes;
  };

  void Tick();
  void CheckReachable();
  /// Asks the controller something cheap; an answer overdue marks it as not answering.
  void Ping();
  void StartFetch();
  void OnRequired(const GetParameters::Response & response, const std::vector<std::string> & names);
  void OnOptional(const std::string & name, const GetParameters::Response & response);
  void Configure();
  void OnMode(uint8_t mode);
  void OnOutput(double linear, double angular, bool zero);
  void OnInput(double linear, double angular);
  void SubscribeInput(uint8_t mode);
  void DrivePad();
  nlohmann::json StateJson(double now) const;  // with mutex_ held
  Answer CallReturn(
    const rclcpp::Client<ReturnControlMode>::SharedPtr & client, std::optional<uint8_t> from);
  template<typename ServiceT>
  Answer Call(
    const typename rclcpp::Client<ServiceT>::SharedPtr & client,
    typename ServiceT::Request::SharedPtr request);
  std::string Resolve(const std::string & name) const;

  rclcpp::Node::SharedPtr node_;
  ConsoleOptions options_;
  std::string fqn_;
  std::string logger_name_;
  std::chrono::nanoseconds timeout_;

  rclcpp::Client<SetControlMode>::SharedPtr set_client_;
  rclcpp::Client<ReturnControlMode>::SharedPtr previous_client_;
  rclcpp::Client<ReturnControlMode>::SharedPtr reset_client_;
  rclcpp::Client<GetParameters>::SharedPtr parameters_client_;
  rclcpp::Client<GetParameters>::SharedPtr ping_client_;
  rclcpp::TimerBase::SharedPtr tick_timer_;
  rclcpp::Subscription<rcl_interfaces::msg::Log>::SharedPtr rosout_subscription_;
  rclcpp::Subscription<std_msgs::msg::Bool>::SharedPtr stopped_subscription_;
  rclcpp::SubscriptionBase::SharedPtr mode_subscription_;
  rclcpp::SubscriptionBase::SharedPtr output_subscription_;
  rclcpp::SubscriptionBase::SharedPtr input_subscription_;
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr pad_publisher_;
  rclcpp::Publisher<geometry_msgs::msg::TwistStamped>::SharedPtr pad_stamped_publisher_;

  // Owned by the executor's thread only.
  unsigned tick_count_{0};
  bool fetch_pending_{false};
  Clock::time_point fetch_started_;
  Clock::time_point retry_after_;
  std::size_t optional_pending_{0};
  Config pending_config_;
  Clock::time_point mode_subscribed_at_;
  Clock::time_point last_input_;
  Clock::time_point last_frame_;
  Clock::time_point started_{Clock::now()};
  bool warned_unreachable_{false};
  bool ping_pending_{false};
  Clock::time_point ping_sent_;

  // Shared with the web server's threads.
  mutable std::mutex mutex_;
  bool reachable_{false};
  bool answering_{true};
  bool configured_{false};
  std::string problem_;
  Config config_;
  std::optional<uint8_t> mode_;
  std::optional<double> mode_since_;  // wall-clock seconds; unknown for the history's mode
  std::optional<double> last_output_;
  std::optional<bool> stopped_;
  bool stop_publisher_{false};
  std::optional<std::string> last_answer_;
  bool dirty_{true};

  // Held from taking an increment to publishing it, and while a full frame is made, so a new
  // stream neither misses an increment nor gets one twice.
  std::mutex frame_mutex_;
  LiveHistory history_;
  std::unique_ptr<DeadMan> dead_man_;
  FrameHub hub_;
};

}  // namespace twist_arbiter_console

#endif  // CONTROLLER_WATCH_HPP_
