// Copyright 2026 The twist_arbiter authors.
//
// Helpers shared by the controller's in-process tests: a complete parameter set, a capture of
// every log line through rcutils' output handler, and a probe node that drives the controller's
// inputs and services and records its outputs, all on one executor.

#ifndef TWIST_ARBITER__TEST__ARBITER_TEST_SUPPORT_HPP_
#define TWIST_ARBITER__TEST__ARBITER_TEST_SUPPORT_HPP_

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <corvan_msgs/msg/control_mode.hpp>
#include <corvan_msgs/srv/return_control_mode.hpp>
#include <corvan_msgs/srv/set_control_mode.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <rclcpp/rclcpp.hpp>
#include <rcutils/logging.h>

namespace arbiter_test
{

using Clock = std::chrono::steady_clock;
using geometry_msgs::msg::Twist;

// ---------------------------------------------------------------------------------------------
// Parameters

/// A complete, valid configuration with absolute topics under /in and /out.
/// teleops may go to manual and manual_mapping only, so a switch teleops -> autopilot is refused.
inline std::map<std::string, rclcpp::ParameterValue> DefaultParameters()
{
  using V = rclcpp::ParameterValue;
  using Names = std::vector<std::string>;
  return {
    {"states.manual.topic", V("/in/manual")},
    {"states.manual.transitions_to", V(Names{"teleops", "manual_mapping", "autopilot"})},
    {"states.teleops.topic", V("/in/teleops")},
    {"states.teleops.transitions_to", V(Names{"manual", "manual_mapping"})},
    {"states.manual_mapping.topic", V("/in/manual_mapping")},
    {"states.manual_mapping.transitions_to", V(Names{"manual", "teleops"})},
    {"states.manual_mapping.limiter.velocity.max_linear", V(1.0)},
    {"states.manual_mapping.limiter.velocity.max_angular", V(1.0)},
    {"states.manual_mapping.limiter.acceleration.max_linear", V(1.0)},
    {"states.manual_mapping.limiter.acceleration.max_angular", V(1.0)},
    {"states.manual_mapping.limiter.interpolation_rate", V(10.0)},
    {"states.autopilot.topic", V("/in/autopilot")},
    {"states.autopilot.transitions_to", V(Names{"manual", "docking"})},
    {"states.docking.topic", V("/in/docking")},
    {"states.docking.transitions_to", V(Names{"autopilot"})},
    {"states.user.topic", V("/in/user")},
    {"states.user.transitions_to", V(Names{})},
    {"topics.out.twist", V("/out/cmd_vel")},
    {"topics.out.control_mode", V("/out/control_mode")},
    {"timeout_threshold", V(0.3)},
  };
}

inline std::vector<rclcpp::Parameter> ToOverrides(
  const std::map<std::string, rclcpp::ParameterValue> & values)
{
  std::vector<rclcpp::Parameter> out;
  for (const auto & entry : values) {
    out.emplace_back(entry.first, entry.second);
  }
  return out;
}

inline rclcpp::NodeOptions OptionsWith(
  const std::map<std::string, rclcpp::ParameterValue> & values)
{
  rclcpp::NodeOptions options;
  options.parameter_overrides(ToOverrides(values));
  return options;
}

// ---------------------------------------------------------------------------------------------
// Log capture

struct LogLine
{
  int severity;
  std::string logger;
  std::string text;
  Clock::time_point when;
};

class LogCapture
{
public:
  static LogCapture & Instance()
  {
    static LogCapture capture;
    return capture;
  }

  /// Routes every rcutils log call through the capture (and on to the console).
  /// Call after rclcpp::init, which installs its own handler.
  void Install()
  {
    console_ = rcutils_logging_get_output_handler();
    rcutils_logging_set_output_handler(&LogCapture::Handler);
  }

  void Clear()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

  /// Lines of @p logger (all loggers when empty) at @p min_severity or above.
  std::vector<LogLine> Lines(const std::string & logger = "", int min_severity = 0) const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LogLine> out;
    for (const auto & line : lines_) {
      if ((logger.empty() || line.logger == logger) && line.severity >= min_severity) {
        out.push_back(line);
      }
    }
    return out;
  }

  /// Texts of @p logger's lines, each prefixed with its severity name ("INFO: ...").
  std::vector<std::string> Texts(const std::string & logger, int min_severity = 0) const
  {
    std::vector<std::string> out;
    for (const auto & line : Lines(logger, min_severity)) {
      out.push_back(SeverityName(line.severity) + ": " + line.text);
    }
    return out;
  }

  size_t Count(const std::string & logger, int severity, const std::string & text) const
  {
    size_t n = 0;
    for (const auto & line : Lines(logger)) {
      if (line.severity == severity && line.text == text) {
        ++n;
      }
    }
    return n;
  }

  static std::string SeverityName(int severity)
  {
    switch (severity) {
      case RCUTILS_LOG_SEVERITY_DEBUG: return "DEBUG";
      case RCUTILS_LOG_SEVERITY_INFO: return "INFO";
      case RCUTILS_LOG_SEVERITY_WARN: return "WARN";
      case RCUTILS_LOG_SEVERITY_ERROR: return "ERROR";
      case RCUTILS_LOG_SEVERITY_FATAL: return "FATAL";
      default: return std::to_string(severity);
    }
  }

private:
  static void Handler(
    const rcutils_log_location_t * location, int severity, const char * name,
    rcutils_time_point_value_t timestamp, const char * format, va_list * args)
  {
    va_list copy;
    va_copy(copy, *args);
    char buffer[4096];
    std::vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    auto & self = Instance();
    {
      std::lock_guard<std::mutex> lock(self.mutex_);
      self.lines_.push_back({severity, name ? name : "", buffer, Clock::now()});
    }
    if (self.console_ != nullptr) {
      self.console_(location, severity, name, timestamp, format, args);
    }
  }

  mutable std::mutex mutex_;
  std::vector<LogLine> lines_;
  rcutils_logging_output_handler_t console_{nullptr};
};

// ---------------------------------------------------------------------------------------------
// Probe node

inline Twist MakeTwist(
  double lx, double ly = 0.0, double lz = 0.0, double ax = 0.0, double ay = 0.0, double az = 0.0)
{
  Twist t;
  t.linear.x = lx;
  t.linear.y = ly;
  t.linear.z = lz;
  t.angular.x = ax;
  t.angular.y = ay;
  t.angular.z = az;
  return t;
}

inline bool IsZero(const Twist & t)
{
  return t.linear.x == 0.0 && t.linear.y == 0.0 && t.linear.z == 0.0 &&
         t.angular.x == 0.0 && t.angular.y == 0.0 && t.angular.z == 0.0;
}

struct Received
{
  Twist twist;
  Clock::time_point when;
};

struct Answer
{
  bool success;
  std::string message;
};

/// Talks to one controller: publishes on its input topics, calls its services, records its
/// output Twist and control-mode messages. The controller and the probe share one executor
/// that only the test thread spins.
class Probe
{
public:
  using SetSrv = corvan_msgs::srv::SetControlMode;
  using ReturnSrv = corvan_msgs::srv::ReturnControlMode;

  explicit Probe(
    std::shared_ptr<rclcpp::Node> arbiter,
    const std::string & service_prefix = "/twist_arbiter",
    const std::string & twist_out = "/out/cmd_vel",
    const std::string & mode_out = "/out/control_mode")
  : arbiter_(std::move(arbiter)),
    node_(std::make_shared<rclcpp::Node>("arbiter_probe"))
  {
    SubscribeTwists(twist_out);
    SubscribeModes(mode_out);
    set_client_ = node_->create_client<SetSrv>(service_prefix + "/set_control_mode");
    previous_client_ = node_->create_client<ReturnSrv>(service_prefix + "/previous_control_mode");
    reset_client_ = node_->create_client<ReturnSrv>(service_prefix + "/reset_control_mode");
    executor_.add_node(arbiter_);
    executor_.add_node(node_);
    // The controller's output publisher and this probe's subscription must have met.
    SpinUntil([this, twist_out]() {return node_->count_publishers(twist_out) > 0;});
  }

  ~Probe()
  {
    executor_.remove_node(node_);
    executor_.remove_node(arbiter_);
  }

  /// (Re)subscribes to the output Twist topic; forgets what was received.
  void SubscribeTwists(const std::string & twist_out)
  {
    twists.clear();
    twist_sub_ = node_->create_subscription<Twist>(
      twist_out, rclcpp::QoS(100).best_effort(),
      [this](std::shared_ptr<const Twist> msg) {twists.push_back({*msg, Clock::now()});});
  }

  /// (Re)subscribes to the control-mode topic with the transient-local profile of a late joiner.
  void SubscribeModes(const std::string & mode_out)
  {
    modes.clear();
    mode_sub_ = node_->create_subscription<corvan_msgs::msg::ControlMode>(
      mode_out, rclcpp::QoS(10).reliable().transient_local(),
      [this](std::shared_ptr<const corvan_msgs::msg::ControlMode> msg) {
        modes.push_back(msg->mode);
      });
  }

  /// Publishes on an input topic. With @p listener_expected, first waits until the controller's
  /// subscription is matched, so that no command is lost to discovery (with a networked
  /// middleware matching takes a moment); pass false where nobody is meant to listen.
  void Publish(const std::string & topic, const Twist & twist, bool listener_expected = true)
  {
    auto & pub = publishers_[topic];
    if (!pub) {
      pub = node_->create_publisher<Twist>(topic, rclcpp::QoS(10));
    }
    if (listener_expected) {
      SpinUntil([&pub]() {return pub->get_subscription_count() > 0;});
    }
    pub->publish(twist);
  }

  /// Spins until @p done holds or @p timeout passes; returns whether it holds.
  bool SpinUntil(
    const std::function<bool()> & done,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(8000))
  {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() >= deadline) {
        return done();
      }
      executor_.spin_once(std::chrono::milliseconds(5));
    }
    return true;
  }

  /// Spins for @p duration: only for asserting that nothing happens within a window.
  void SpinFor(std::chrono::milliseconds duration)
  {
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline) {
      executor_.spin_once(std::chrono::milliseconds(5));
    }
  }

  Answer Set(uint8_t mode)
  {
    auto request = std::make_shared<SetSrv::Request>();
    request->mode.mode = mode;
    return Call<SetSrv>(set_client_, request);
  }

  Answer Previous(uint8_t mode)
  {
    auto request = std::make_shared<ReturnSrv::Request>();
    request->mode.mode = mode;
    return Call<ReturnSrv>(previous_client_, request);
  }

  Answer Reset(uint8_t mode)
  {
    auto request = std::make_shared<ReturnSrv::Request>();
    request->mode.mode = mode;
    return Call<ReturnSrv>(reset_client_, request);
  }

  rclcpp::Node::SharedPtr node() const {return node_;}
  rclcpp::Executor & executor() {return executor_;}

  std::vector<Received> twists;
  std::vector<uint8_t> modes;

private:
  template<typename ServiceT>
  Answer Call(
    const typename rclcpp::Client<ServiceT>::SharedPtr & client,
    const typename ServiceT::Request::SharedPtr & request)
  {
    if (!SpinUntil([&client]() {return client->service_is_ready();})) {
      return {false, "<service not available>"};
    }
    auto future = client->async_send_request(request).future.share();
    if (executor_.spin_until_future_complete(future, std::chrono::seconds(8)) !=
      rclcpp::FutureReturnCode::SUCCESS)
    {
      return {false, "<no answer>"};
    }
    const auto response = future.get();
    return {response->success, response->message};
  }

  std::shared_ptr<rclcpp::Node> arbiter_;
  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::Subscription<Twist>::SharedPtr twist_sub_;
  rclcpp::Subscription<corvan_msgs::msg::ControlMode>::SharedPtr mode_sub_;
  std::map<std::string, rclcpp::Publisher<Twist>::SharedPtr> publishers_;
  rclcpp::Client<SetSrv>::SharedPtr set_client_;
  rclcpp::Client<ReturnSrv>::SharedPtr previous_client_;
  rclcpp::Client<ReturnSrv>::SharedPtr reset_client_;
};

}  // namespace arbiter_test

#endif  // TWIST_ARBITER__TEST__ARBITER_TEST_SUPPORT_HPP_
