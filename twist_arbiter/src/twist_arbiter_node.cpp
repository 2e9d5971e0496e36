// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/twist_arbiter_node.hpp"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <rclcpp_components/register_node_macro.hpp>
#include <rclcpp_tarvek/helper_parameter.hpp>

#include "twist_arbiter/age_gate.hpp"
#include "twist_arbiter/config_checks.hpp"
#include "twist_arbiter/control_mode.hpp"
#include "twist_arbiter/interface.hpp"
#include "twist_arbiter/optional_parameter.hpp"

namespace
{

namespace interface = twist_arbiter::interface;
using interface::ControlModeQoS;
using interface::StopInputQoS;
using interface::StoppedQoS;
using interface::TwistQoS;

constexpr uint8_t kModeNone = 0;
constexpr uint8_t kModeManualMapping = 12;

bool IsFiniteTwist(const geometry_msgs::msg::Twist & t)
{
  return std::isfinite(t.linear.x) && std::isfinite(t.linear.y) && std::isfinite(t.linear.z) &&
         std::isfinite(t.angular.x) && std::isfinite(t.angular.y) && std::isfinite(t.angular.z);
}

/// Whether @p t may go on to the output or the limiter. A command that is not finite never
/// does, and it does not count as a sign of life for the watchdog either. It is reported with
/// one warning at most once per second per mode: @p last_warning is that mode's entry, kept by
/// the node across visits of the mode.
bool AcceptCommand(
  const rclcpp::Node & node, const std::string & topic, const geometry_msgs::msg::Twist & t,
  std::optional<std::chrono::steady_clock::time_point> & last_warning)
{
  if (IsFiniteTwist(t)) {
    return true;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!last_warning || now - *last_warning >= std::chrono::seconds(1)) {
    last_warning = now;
    const std::string text = fmt::format(
      "Ignoring a Twist with a non-finite component received on `{}`.", topic);
    RCLCPP_WARN(node.get_logger(), "%s", text.c_str());
  }
  return false;
}

/// Runs a mode-service handler; a std::invalid_argument becomes a refusal carrying its text.
/// The outcome is logged verbatim: INFO for success, WARN for a refusal.
template<typename HandlerT, typename RequestT, typename ResponseT>
void RunModeService(
  const rclcpp::Node & node, HandlerT && handler, RequestT request, ResponseT response)
{
  try {
    handler(request, response);
  } catch (const std::invalid_argument & e) {
    response->success = false;
    response->message = e.what();
  }
  if (response->success) {
    RCLCPP_INFO(node.get_logger(), "%s", response->message.c_str());
  } else {
    RCLCPP_WARN(node.get_logger(), "%s", response->message.c_str());
  }
}

}  // namespace

TwistArbiter::TwistArbiter(rclcpp::NodeOptions options)
: rclcpp_tarvek::Node(interface::kNodeName, options)
{
  control_mode_configs_ = {
    {10, std::make_shared<ControlModeConfig>()},
    {11, std::make_shared<ControlModeConfig>()},
    {20, std::make_shared<ControlModeConfig>()},
    {21, std::make_shared<ControlModeConfig>()},
    {30, std::make_shared<ControlModeConfig>()},
    {12, std::make_shared<ControlModeConfigLimited>()},
  };
  for (auto & entry : control_mode_configs_) {
    entry.second->Configure(this, entry.first);
  }

  const auto twist_topic =
    rclcpp_tarvek::GetParameter<std::string>(this, interface::kOutputTwistTopicParameter);
  RefuseInvalidValue(
    get_logger(),
    CheckTopicName(
      interface::kOutputTwistTopicParameter, twist_topic, get_name(), get_namespace()));
  const auto control_mode_topic =
    rclcpp_tarvek::GetParameter<std::string>(this, interface::kControlModeTopicParameter);
  RefuseInvalidValue(
    get_logger(),
    CheckTopicName(
      interface::kControlModeTopicParameter, control_mode_topic, get_name(), get_namespace()));
  const auto timeout_threshold =
    rclcpp_tarvek::GetParameter<double>(this, interface::kTimeoutThresholdParameter);
  RefuseInvalidValue(
    get_logger(), CheckTimeoutThreshold(interface::kTimeoutThresholdParameter, timeout_threshold));

  timeout_threshold_ms_ = std::chrono::milliseconds(
    static_cast<int32_t>(timeout_threshold * 1000.0));

  const bool output_stamped =
    GetOptionalParameter<bool>(this, interface::kOutputStampedParameter, false);
  const auto frame_id = GetOptionalParameter<std::string>(
    this, interface::kOutputFrameIdParameter, interface::kDefaultOutputFrameId);
  RefuseInvalidValue(get_logger(), CheckFrameId(interface::kOutputFrameIdParameter, frame_id));
  const auto stop_topic =
    GetOptionalParameter<std::string>(this, interface::kStopTopicParameter, "");
  if (!stop_topic.empty()) {
    RefuseInvalidValue(
      get_logger(),
      CheckTopicName(interface::kStopTopicParameter, stop_topic, get_name(), get_namespace()));
  }
  const double stop_heartbeat =
    GetOptionalParameter<double>(this, interface::kStopHeartbeatParameter, 0.0);
  RefuseInvalidValue(
    get_logger(),
    CheckHeartbeat(
      interface::kStopHeartbeatParameter, stop_heartbeat, interface::kStopTopicParameter,
      stop_topic));

  // One output type only: a Twist and a TwistStamped publisher on one topic would clash.
  if (output_stamped) {
    stamped_output_.header.frame_id = frame_id;
    twist_stamped_publisher_ = create_publisher<TwistStamped>(twist_topic, TwistQoS());
  } else {
    twist_publisher_ = create_publisher<Twist>(twist_topic, TwistQoS());
  }
  control_mode_publisher_ = create_publisher<ControlMode>(control_mode_topic, ControlModeQoS());

  set_control_mode_service_ = create_service<SetControlModeSrv>(
    std::string("~/") + interface::kSetControlModeService,
    [this](std::shared_ptr<SetControlModeSrv::Request> request,
    std::shared_ptr<SetControlModeSrv::Response> response) {
      RunModeService(
        *this,
        [this](auto req, auto res) {SetControlModeRequest(req, res);}, request, response);
    },
    rmw_qos_profile_services_default);
  previous_control_mode_service_ = create_service<ReturnControlModeSrv>(
    std::string("~/") + interface::kPreviousControlModeService,
    [this](std::shared_ptr<ReturnControlModeSrv::Request> request,
    std::shared_ptr<ReturnControlModeSrv::Response> response) {
      RunModeService(
        *this,
        [this](auto req, auto res) {PreviousControlModeRequest(req, res);}, request, response);
    },
    rmw_qos_profile_services_default);
  reset_control_mode_service_ = create_service<ReturnControlModeSrv>(
    std::string("~/") + interface::kResetControlModeService,
    [this](std::shared_ptr<ReturnControlModeSrv::Request> request,
    std::shared_ptr<ReturnControlModeSrv::Response> response) {
      RunModeService(
        *this,
        [this](auto req, auto res) {ResetControlModeRequest(req, res);}, request, response);
    },
    rmw_qos_profile_services_default);

  control_mode_publisher_->publish(current_mode_);

  if (!stop_topic.empty()) {
    stopped_publisher_ =
      create_publisher<Bool>(std::string("~/") + interface::kStoppedTopic, StoppedQoS());
    stop_subscription_ = create_subscription<Bool>(
      stop_topic, StopInputQoS(),
      [this](std::unique_ptr<Bool> msg) {StopCallback(msg->data);});
    stop_latch_ = std::make_unique<twist_arbiter::StopLatch>(
      stop_subscription_->get_topic_name(), stop_heartbeat);
    PublishStopped();
    if (stop_heartbeat > 0.0) {
      RCLCPP_WARN(get_logger(), "%s", stop_latch_->EngagedText().c_str());
      stop_heartbeat_timer_ = create_wall_timer(
        std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::duration<double>(stop_heartbeat)),
        [this]() {StopHeartbeatExpired();});
    }
  }
}

void TwistArbiter::SetControlMode(corvan_msgs::msg::ControlMode control_mode)
{
  previous_mode_ = current_mode_;
  current_mode_ = control_mode;
  control_mode_publisher_->publish(current_mode_);
  twist_limiter_.reset();

  const uint8_t mode = current_mode_.mode;
  if (mode == kModeNone) {
    PublishOutput(Twist());
    twist_subscription_.reset();
    twist_stamped_subscription_.reset();
    stale_timer_.reset();
    return;
  }

  if (mode == kModeManualMapping) {
    twist_subscription_.reset();
    twist_stamped_subscription_.reset();
    const auto config = std::static_pointer_cast<ControlModeConfigLimited>(
      control_mode_configs_.at(mode));
    std::function<void(std::shared_ptr<Twist>)> output =
      std::bind(&TwistArbiter::TwistCallback, this, std::placeholders::_1);
    twist_limiter_ = std::make_unique<TwistLimiter>(
      this, output,
      config->max_linear_velocity_, config->max_angular_velocity_,
      config->max_linear_acceleration_, config->max_angular_acceleration_,
      config->interpolation_rate_);
    SubscribeInput(mode, *config);
    return;
  }

  twist_subscription_.reset();
  twist_stamped_subscription_.reset();
  const auto config = control_mode_configs_.at(mode);
  SubscribeInput(mode, *config);
  ResetStaleTimer();
}

void TwistArbiter::SubscribeInput(uint8_t mode, const ControlModeConfig & config)
{
  if (!config.stamped_) {
    twist_subscription_ = create_subscription<Twist>(
      config.topic_, TwistQoS(),
      [this, topic = config.topic_, mode](std::unique_ptr<Twist> msg) {
        if (AcceptCommand(*this, topic, *msg, non_finite_warnings_[mode])) {
          HandleCommand(mode, std::shared_ptr<Twist>(std::move(msg)));
        }
      });
    return;
  }
  const int64_t max_age_ns =
    config.max_age_ > 0.0 ? twist_arbiter::MaxAgeNanoseconds(config.max_age_) : 0;
  twist_stamped_subscription_ = create_subscription<TwistStamped>(
    config.topic_, TwistQoS(),
    [this, topic = config.topic_, mode, max_age_ns](std::unique_ptr<TwistStamped> msg) {
      if (!AcceptCommand(*this, topic, msg->twist, non_finite_warnings_[mode])) {
        return;
      }
      if (max_age_ns > 0 && !AcceptStamp(mode, msg->header.stamp, max_age_ns)) {
        return;
      }
      // The twist part, sharing ownership with the whole message: no copy.
      std::shared_ptr<TwistStamped> stamped(std::move(msg));
      HandleCommand(mode, std::shared_ptr<Twist>(stamped, &stamped->twist));
    });
}

void TwistArbiter::HandleCommand(uint8_t mode, std::shared_ptr<Twist> twist)
{
  // Engaging the stop leaves every driving mode, so this only guards against a future path
  // that keeps an input alive while stopped.
  if (StopEngaged()) {
    return;
  }
  if (mode == kModeManualMapping) {
    twist_limiter_->SetTwistReference(std::move(twist));
  } else {
    TwistCallback(std::move(twist));
  }
}

bool TwistArbiter::AcceptStamp(
  uint8_t mode, const builtin_interfaces::msg::Time & stamp, int64_t max_age_ns)
{
  const auto check =
    twist_arbiter::CheckStamp(stamp.sec, stamp.nanosec, now().nanoseconds(), max_age_ns);
  if (check.verdict == twist_arbiter::StampVerdict::kFresh) {
    return true;
  }
  auto & drops = stale_drops_[mode];
  ++drops.count;
  const auto steady_now = std::chrono::steady_clock::now();
  if (!drops.last_warning || steady_now - *drops.last_warning >= std::chrono::seconds(1)) {
    drops.last_warning = steady_now;
    const auto & config = *control_mode_configs_.at(mode);
    const std::string text = fmt::format(
      "Dropped a command on `{}` {} (max_age {} s); {} dropped on this input so far.",
      twist_stamped_subscription_->get_topic_name(), twist_arbiter::DescribeStamp(check),
      config.max_age_, drops.count);
    RCLCPP_WARN(get_logger(), "%s", text.c_str());
  }
  return false;
}

bool TwistArbiter::IsValidTransition(uint8_t target)
{
  if (current_mode_.mode == kModeNone) {
    return true;
  }
  const auto & transitions = control_mode_configs_.at(current_mode_.mode)->transitions_;
  for (const uint8_t allowed : transitions) {
    if (allowed == target) {
      return true;
    }
  }
  return false;
}

void TwistArbiter::SetControlModeRequest(
  std::shared_ptr<SetControlModeSrv::Request> request,
  std::shared_ptr<SetControlModeSrv::Response> response)
{
  const uint8_t target = request->mode.mode;
  const std::string current_name = ControlModeToString(current_mode_.mode);
  const std::string target_name = ControlModeToString(target);
  const std::string received = fmt::format(
    "Request received to change current mode `{}` to `{}`", current_name, target_name);
  RCLCPP_INFO(get_logger(), "%s", received.c_str());

  // Setting none asks for what the stop enforces anyway and is answered as usual.
  if (target != kModeNone && StopEngaged()) {
    response->success = false;
    response->message = stop_latch_->RefusalText();
    return;
  }
  if (target == current_mode_.mode) {
    response->success = true;
    response->message = fmt::format("Target control mode `{}` is already active.", current_name);
  } else if (target == kModeNone) {
    SetControlMode(request->mode);
    response->success = true;
    response->message = "Control mode reset, no current mode active.";
  } else if (IsValidTransition(target)) {
    SetControlMode(request->mode);
    response->success = true;
    response->message = fmt::format(
      "Control mode set to {}.", ControlModeToString(current_mode_.mode));
  } else {
    response->message = fmt::format(
      "Something went wrong. Requested control mode with id `{}` is not one of the accepted "
      "control modes for mode {}.",
      static_cast<unsigned>(target), static_cast<unsigned>(current_mode_.mode));
    response->success = false;
  }
}

void TwistArbiter::PreviousControlModeRequest(
  std::shared_ptr<ReturnControlModeSrv::Request> request,
  std::shared_ptr<ReturnControlModeSrv::Response> response)
{
  const uint8_t given = request->mode.mode;
  const std::string previous_name = ControlModeToString(previous_mode_.mode);
  const std::string given_name = ControlModeToString(given);
  const std::string received = fmt::format(
    "Request received to return to previous control mode `{}` from `{}`",
    previous_name, given_name);
  RCLCPP_INFO(get_logger(), "%s", received.c_str());

  if (StopEngaged()) {
    response->success = false;
    response->message = stop_latch_->RefusalText();
    return;
  }
  if (given == current_mode_.mode) {
    SetControlMode(previous_mode_);
    response->success = true;
    response->message = fmt::format(
      "Control mode set to previous mode {}.", ControlModeToString(current_mode_.mode));
  } else {
    response->success = false;
    response->message = fmt::format(
      "Current mode '{}' does not match '{}' in previous mode request.",
      ControlModeToString(current_mode_.mode), given_name);
  }
}

void TwistArbiter::ResetControlModeRequest(
  std::shared_ptr<ReturnControlModeSrv::Request> request,
  std::shared_ptr<ReturnControlModeSrv::Response> response)
{
  const uint8_t given = request->mode.mode;
  const std::string given_name = ControlModeToString(given);
  const std::string received = fmt::format(
    "Request received to return to reset control mode from `{}`", given_name);
  RCLCPP_INFO(get_logger(), "%s", received.c_str());

  if (given == current_mode_.mode) {
    ControlMode none;
    none.mode = kModeNone;
    SetControlMode(none);
    response->success = true;
    response->message = "Control mode reset.";
  } else {
    response->success = false;
    response->message = fmt::format(
      "Current mode '{}' does not match '{}' in reset mode request.",
      ControlModeToString(current_mode_.mode), given_name);
  }
}

void TwistArbiter::TwistCallback(std::shared_ptr<geometry_msgs::msg::Twist> msg)
{
  PublishOutput(*msg);
  ResetStaleTimer();
}

void TwistArbiter::PublishOutput(const Twist & twist)
{
  if (twist_stamped_publisher_) {
    stamped_output_.header.stamp = now();
    stamped_output_.twist = twist;
    twist_stamped_publisher_->publish(stamped_output_);
  } else {
    twist_publisher_->publish(twist);
  }
}

void TwistArbiter::ResetStaleTimer()
{
  stale_timer_ = create_wall_timer(
    std::chrono::milliseconds(timeout_threshold_ms_), [this]() {SetStale();});
}

void TwistArbiter::SetStale()
{
  RCLCPP_WARN(
    get_logger(),
    "Last message exceeds time threshold. Sending empty message to reset target command.");
  if (twist_limiter_) {
    twist_limiter_->Reset();
  }
  PublishOutput(Twist());
  stale_timer_.reset();
}

void TwistArbiter::StopCallback(bool stop)
{
  if (stop_heartbeat_timer_) {
    stop_heartbeat_timer_->reset();
  }
  if (!stop_latch_->Receive(stop)) {
    return;
  }
  if (stop_latch_->engaged()) {
    OnStopEngaged();
  } else {
    RCLCPP_INFO(get_logger(), "%s", stop_latch_->ReleasedText().c_str());
    PublishStopped();
  }
}

void TwistArbiter::StopHeartbeatExpired()
{
  // No wake-ups while silent: the next stop message restarts the timer.
  stop_heartbeat_timer_->cancel();
  if (stop_latch_->HeartbeatExpired()) {
    OnStopEngaged();
  }
}

void TwistArbiter::OnStopEngaged()
{
  std::string ended_mode;
  if (current_mode_.mode != kModeNone) {
    ended_mode = ControlModeToString(current_mode_.mode);
    ControlMode none;
    none.mode = kModeNone;
    SetControlMode(none);
  }
  RCLCPP_WARN(get_logger(), "%s", stop_latch_->EngagedText(ended_mode).c_str());
  PublishStopped();
}

void TwistArbiter::PublishStopped()
{
  Bool state;
  state.data = stop_latch_->engaged();
  stopped_publisher_->publish(state);
}

RCLCPP_COMPONENTS_REGISTER_NODE(TwistArbiter)
