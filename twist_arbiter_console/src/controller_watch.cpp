// Copyright 2026 The twist_arbiter authors.

#include "controller_watch.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <rcl_interfaces/msg/parameter_type.hpp>
#include <rclcpp/expand_topic_or_service_name.hpp>

#include "twist_arbiter/control_mode.hpp"
#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_console
{

namespace interface = twist_arbiter::interface;
using nlohmann::json;
using namespace std::chrono_literals;

namespace
{

/// Frames go out at most this often (20 a second), and at least once a second when idle so
/// that the page can tell a quiet controller from a lost console.
constexpr auto kFramePeriod = 50ms;
constexpr auto kIdleFrame = 1s;
/// Reachability is polled every this many frame periods (200 ms): a controller that leaves
/// the graph shows as gone well within a second.
constexpr unsigned kReachEvery = 4;
/// The graph keeps a killed or hung controller for as long as its lease (seconds); a cheap
/// request on every reachability check that stays unanswered this long says it sooner.
constexpr auto kAnswerDeadline = 700ms;
/// A frozen page never keeps the robot moving longer than this.
constexpr auto kPadGrace = 250ms;
/// After a configuration that could not be read, try again this much later.
constexpr auto kRetry = 2s;
/// Samples of the transient-local history arrive right after subscribing; their mode changes
/// happened before the console watched, so they carry no "since" and get no mark.
constexpr auto kHistorySettle = 300ms;
/// A zero on the output counts as the watchdog's when the active input has been silent for at
/// least this share of the threshold (the controller's timer may fire a little early).
constexpr double kWatchdogShare = 0.8;

double WallNow()
{
  return std::chrono::duration<double>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
void FrameHub::Publish(std::string frame)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_ = std::move(frame);
    ++seq_;
  }
  changed_.notify_all();
}

std::optional<std::string> FrameHub::WaitAfter(
  uint64_t & seq, std::chrono::milliseconds timeout, bool & skipped)
{
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, timeout, [&] {return closed_ || seq_ > seq;});
  if (closed_ || seq_ <= seq) {
    return std::nullopt;
  }
  skipped = seq_ > seq + 1;
  seq = seq_;
  return frame_;
}

uint64_t FrameHub::seq() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return seq_;
}

void FrameHub::Close()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool FrameHub::closed() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

// ---------------------------------------------------------------------------------------------
ControllerWatch::ControllerWatch(rclcpp::Node::SharedPtr node, const ConsoleOptions & options)
: node_(std::move(node)), options_(options), fqn_(FullyQualifiedName(options)),
  timeout_(std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(options.timeout_s)))
{
  // The controller's log lines carry its logger name: the node name in its namespace, dotted.
  logger_name_ = fqn_.substr(1);
  std::replace(logger_name_.begin(), logger_name_.end(), '/', '.');

  set_client_ = node_->create_client<SetControlMode>(
    fqn_ + "/" + interface::kSetControlModeService);
  previous_client_ = node_->create_client<ReturnControlMode>(
    fqn_ + "/" + interface::kPreviousControlModeService);
  reset_client_ = node_->create_client<ReturnControlMode>(
    fqn_ + "/" + interface::kResetControlModeService);
  parameters_client_ = node_->create_client<GetParameters>(fqn_ + "/get_parameters");
  ping_client_ = node_->create_client<GetParameters>(fqn_ + "/get_parameters");

  if (options_.drive_mode) {
    dead_man_ = std::make_unique<DeadMan>(options_.max_linear, options_.max_angular, kPadGrace);
  }

  rosout_subscription_ = node_->create_subscription<rcl_interfaces::msg::Log>(
    "/rosout", rclcpp::RosoutQoS(),
    [this](const rcl_interfaces::msg::Log & msg) {
      const bool ours = msg.name == logger_name_ ||
      msg.name.rfind(logger_name_ + ".", 0) == 0;
      if (ours) {
        const double t = msg.stamp.sec + msg.stamp.nanosec * 1e-9;
        history_.AddLog(LogLine{t, msg.level, msg.msg});
      }
    });
  stopped_subscription_ = node_->create_subscription<std_msgs::msg::Bool>(
    fqn_ + "/" + interface::kStoppedTopic, interface::StoppedQoS(),
    [this](const std_msgs::msg::Bool & msg) {
      std::lock_guard<std::mutex> lock(mutex_);
      dirty_ = dirty_ || !stopped_ || *stopped_ != msg.data;
      stopped_ = msg.data;
    });

  tick_timer_ = node_->create_wall_timer(kFramePeriod, [this] {Tick();});
}

bool ControllerWatch::configured() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return configured_;
}

std::string ControllerWatch::Resolve(const std::string & name) const
{
  return rclcpp::expand_topic_or_service_name(
    name, options_.node_name, options_.node_namespace);
}

void ControllerWatch::Tick()
{
  if (tick_count_++ % kReachEvery == 0) {
    CheckReachable();
  }
  DrivePad();

  const double now = WallNow();
  std::lock_guard<std::mutex> frame_lock(frame_mutex_);
  json increment = history_.TakeIncrement(now);
  const auto steady = Clock::now();
  bool send = !increment["empty"].get<bool>() || steady - last_frame_ >= kIdleFrame;
  json frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    send = send || dirty_;
    if (!send) {
      return;
    }
    dirty_ = false;
    frame = StateJson(now);
  }
  increment.erase("empty");
  frame["data"] = std::move(increment);
  frame["full"] = false;
  last_frame_ = steady;
  hub_.Publish(frame.dump());
}

void ControllerWatch::CheckReachable()
{
  const bool ready = set_client_->service_is_ready() && parameters_client_->service_is_ready();
  bool refetch = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ready != reachable_) {
      dirty_ = true;
      reachable_ = ready;
      if (!ready) {
        // A controller that comes back may have been restarted with another configuration, and
        // until then its mode is not known.
        configured_ = false;
        stop_publisher_ = false;
        mode_.reset();
        mode_since_.reset();
        stopped_.reset();
      }
    }
    const bool stop_publisher = ready && node_->count_publishers(
      fqn_ + "/" + interface::kStoppedTopic) > 0;
    dirty_ = dirty_ || stop_publisher != stop_publisher_;
    stop_publisher_ = stop_publisher;
    refetch = ready && !configured_;
  }
  if (!ready) {
    fetch_pending_ = false;
    ping_client_->prune_pending_requests();
    ping_pending_ = false;
    if (!warned_unreachable_ && Clock::now() - started_ > timeout_) {
      // As twist_arbiter_ctl would fail here; a console keeps looking and says so on the page.
      warned_unreachable_ = true;
      RCLCPP_WARN(
        node_->get_logger(), "no controller %s found within %g s; still looking", fqn_.c_str(),
        options_.timeout_s);
    }
    return;
  }
  warned_unreachable_ = true;
  Ping();
  if (fetch_pending_ && Clock::now() - fetch_started_ > timeout_) {
    // The answer was lost (the controller left mid-way); ask again.
    parameters_client_->prune_pending_requests();
    fetch_pending_ = false;
  }
  if (refetch && !fetch_pending_ && Clock::now() >= retry_after_) {
    StartFetch();
  }
}

void ControllerWatch::Ping()
{
  const auto now = Clock::now();
  if (ping_pending_) {
    if (now - ping_sent_ <= kAnswerDeadline) {
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_ = dirty_ || answering_;
    answering_ = false;
  }
  // One request outstanding at a time; an overdue one is dropped and asked anew.
  ping_client_->prune_pending_requests();
  auto request = std::make_shared<GetParameters::Request>();
  request->names = {interface::kTimeoutThresholdParameter};
  ping_pending_ = true;
  ping_sent_ = now;
  ping_client_->async_send_request(
    request, [this](rclcpp::Client<GetParameters>::SharedFuture) {
      ping_pending_ = false;
      std::lock_guard<std::mutex> lock(mutex_);
      dirty_ = dirty_ || !answering_;
      answering_ = true;
    });
}

void ControllerWatch::StartFetch()
{
  auto request = std::make_shared<GetParameters::Request>();
  request->names = {
    interface::kOutputTwistTopicParameter, interface::kControlModeTopicParameter,
    interface::kTimeoutThresholdParameter};
  for (const uint8_t id : {10, 11, 12, 20, 21, 30}) {
    request->names.push_back(interface::ModeParameter(ControlModeToString(id), "topic"));
    request->names.push_back(interface::ModeParameter(ControlModeToString(id), "transitions_to"));
  }
  fetch_pending_ = true;
  fetch_started_ = Clock::now();
  parameters_client_->async_send_request(
    request, [this, names = request->names](rclcpp::Client<GetParameters>::SharedFuture f) {
      OnRequired(*f.get(), names);
    });
}

void ControllerWatch::OnRequired(
  const GetParameters::Response & response, const std::vector<std::string> & names)
{
  using rcl_interfaces::msg::ParameterType;
  auto fail = [this](const std::string & problem) {
      RCLCPP_ERROR(node_->get_logger(), "controller %s: %s", fqn_.c_str(), problem.c_str());
      std::lock_guard<std::mutex> lock(mutex_);
      problem_ = problem;
      dirty_ = true;
      fetch_pending_ = false;
      retry_after_ = Clock::now() + kRetry;
    };
  // An rclcpp node answers with no values at all when one of the names is not declared.
  if (response.values.size() != names.size()) {
    fail("node does not have the parameters of a twist_arbiter controller");
    return;
  }
  Config config;
  try {
    auto text = [&](std::size_t i) {
        if (response.values[i].type != ParameterType::PARAMETER_STRING) {
          throw std::runtime_error("parameter " + names[i] + " is not a string");
        }
        return Resolve(response.values[i].string_value);
      };
    config.output_topic = text(0);
    config.control_mode_topic = text(1);
    if (response.values[2].type != ParameterType::PARAMETER_DOUBLE) {
      throw std::runtime_error("parameter timeout_threshold is not a double");
    }
    config.threshold_s = response.values[2].double_value;
    std::size_t i = 3;
    for (const uint8_t id : {10, 11, 12, 20, 21, 30}) {
      ModeConfig mode;
      mode.input_topic = text(i++);
      const auto & transitions = response.values[i++];
      if (transitions.type != ParameterType::PARAMETER_STRING_ARRAY) {
        throw std::runtime_error("parameter " + names[i - 1] + " is not a string array");
      }
      mode.transitions_to = transitions.string_array_value;
      config.modes[id] = mode;
    }
  } catch (const std::exception & e) {
    fail(e.what());
    return;
  }
  pending_config_ = config;

  // Optional parameters, one request each: an older controller may lack any of them, and a
  // single undeclared name would empty the answer for all.
  std::vector<std::string> optional = {
    interface::kOutputStampedParameter, interface::kStopTopicParameter};
  for (const uint8_t id : {10, 11, 12, 20, 21, 30}) {
    optional.push_back(interface::ModeParameter(ControlModeToString(id), "stamped"));
  }
  optional_pending_ = optional.size();
  for (const auto & name : optional) {
    auto request = std::make_shared<GetParameters::Request>();
    request->names = {name};
    parameters_client_->async_send_request(
      request, [this, name](rclcpp::Client<GetParameters>::SharedFuture f) {
        OnOptional(name, *f.get());
      });
  }
}

void ControllerWatch::OnOptional(const std::string & name, const GetParameters::Response & response)
{
  using rcl_interfaces::msg::ParameterType;
  if (response.values.size() == 1) {
    const auto & value = response.values[0];
    if (name == interface::kOutputStampedParameter && value.type == ParameterType::PARAMETER_BOOL) {
      pending_config_.output_stamped = value.bool_value;
    } else if (name == interface::kStopTopicParameter &&  // NOLINT
      value.type == ParameterType::PARAMETER_STRING)
    {
      pending_config_.stop_topic = value.string_value;
    } else if (value.type == ParameterType::PARAMETER_BOOL) {
      for (auto & [id, mode] : pending_config_.modes) {
        if (name == interface::ModeParameter(ControlModeToString(id), "stamped")) {
          mode.stamped = value.bool_value;
        }
      }
    }
  }
  if (optional_pending_ > 0 && --optional_pending_ == 0) {
    Configure();
  }
}

void ControllerWatch::Configure()
{
  fetch_pending_ = false;
  const Config config = pending_config_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = config;
    configured_ = true;
    problem_.clear();
    dirty_ = true;
  }
  RCLCPP_INFO(
    node_->get_logger(), "watching controller %s: output %s%s, modes on %s", fqn_.c_str(),
    config.output_topic.c_str(), config.output_stamped ? " (stamped)" : "",
    config.control_mode_topic.c_str());

  mode_subscribed_at_ = Clock::now();
  mode_subscription_ = node_->create_subscription<ControlMode>(
    config.control_mode_topic, interface::ControlModeQoS(),
    [this](const ControlMode & msg) {OnMode(msg.mode);});

  auto is_zero = [](const geometry_msgs::msg::Twist & t) {
      return t.linear.x == 0.0 && t.linear.y == 0.0 && t.linear.z == 0.0 &&
             t.angular.x == 0.0 && t.angular.y == 0.0 && t.angular.z == 0.0;
    };
  if (config.output_stamped) {
    output_subscription_ = node_->create_subscription<geometry_msgs::msg::TwistStamped>(
      config.output_topic, interface::TwistQoS(),
      [this, is_zero](const geometry_msgs::msg::TwistStamped & msg) {
        OnOutput(msg.twist.linear.x, msg.twist.angular.z, is_zero(msg.twist));
      });
  } else {
    output_subscription_ = node_->create_subscription<geometry_msgs::msg::Twist>(
      config.output_topic, interface::TwistQoS(),
      [this, is_zero](const geometry_msgs::msg::Twist & msg) {
        OnOutput(msg.linear.x, msg.angular.z, is_zero(msg));
      });
  }

  pad_publisher_.reset();
  pad_stamped_publisher_.reset();
  if (options_.drive_mode) {
    const auto & drive = config.modes.at(*options_.drive_mode);
    if (drive.stamped) {
      pad_stamped_publisher_ = node_->create_publisher<geometry_msgs::msg::TwistStamped>(
        drive.input_topic, interface::TwistQoS());
    } else {
      pad_publisher_ = node_->create_publisher<geometry_msgs::msg::Twist>(
        drive.input_topic, interface::TwistQoS());
    }
  }
}

void ControllerWatch::OnMode(uint8_t mode)
{
  const bool from_history = Clock::now() - mode_subscribed_at_ < kHistorySettle;
  const double now = WallNow();
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changed = !mode_ || *mode_ != mode;
    if (changed) {
      mode_ = mode;
      mode_since_ = from_history ? std::optional<double>{} : std::optional<double>{now};
      dirty_ = true;
    }
  }
  if (!changed) {
    return;
  }
  std::string name;
  try {
    name = ControlModeToString(mode);
  } catch (const std::invalid_argument &) {
    name = "mode " + std::to_string(mode);
  }
  if (!from_history) {
    history_.AddMark(now, "mode", name);
  }
  last_input_ = Clock::now();
  SubscribeInput(mode);
}

void ControllerWatch::SubscribeInput(uint8_t mode)
{
  input_subscription_.reset();
  ModeConfig input;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = config_.modes.find(mode);
    if (found == config_.modes.end()) {
      return;  // "none" has no input
    }
    input = found->second;
  }
  if (input.stamped) {
    input_subscription_ = node_->create_subscription<geometry_msgs::msg::TwistStamped>(
      input.input_topic, interface::TwistQoS(),
      [this](const geometry_msgs::msg::TwistStamped & msg) {
        OnInput(msg.twist.linear.x, msg.twist.angular.z);
      });
  } else {
    input_subscription_ = node_->create_subscription<geometry_msgs::msg::Twist>(
      input.input_topic, interface::TwistQoS(),
      [this](const geometry_msgs::msg::Twist & msg) {OnInput(msg.linear.x, msg.angular.z);});
  }
}

void ControllerWatch::OnOutput(double linear, double angular, bool zero)
{
  const double now = WallNow();
  history_.AddOutput(now, linear, angular);
  bool watchdog = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_output_ = now;
    const auto silence = std::chrono::duration<double>(Clock::now() - last_input_).count();
    // In "none" a zero is the switch's own stop command, not the watchdog's.
    watchdog = zero && mode_ && *mode_ != 0 &&
      silence >= kWatchdogShare * config_.threshold_s;
  }
  if (watchdog) {
    history_.AddMark(now, "watchdog", "watchdog zero");
  }
}

void ControllerWatch::OnInput(double linear, double angular)
{
  last_input_ = Clock::now();
  history_.AddInput(WallNow(), linear, angular);
}

void ControllerWatch::DrivePad()
{
  if (!dead_man_ || (!pad_publisher_ && !pad_stamped_publisher_)) {
    return;
  }
  const auto now = Clock::now();
  std::optional<PadCommand> command = dead_man_->Current(now);
  // At the end of a hold one zero goes out, so the robot stops now rather than at the
  // controller's watchdog; after that nothing, and the watchdog's zero follows as usual.
  if (!command && dead_man_->TakeEnded(now)) {
    command = PadCommand{};
  }
  if (!command) {
    return;
  }
  geometry_msgs::msg::Twist twist;
  twist.linear.x = command->linear;
  twist.angular.z = command->angular;
  if (pad_stamped_publisher_) {
    geometry_msgs::msg::TwistStamped stamped;
    stamped.header.stamp = node_->now();
    stamped.twist = twist;
    pad_stamped_publisher_->publish(stamped);
  } else {
    pad_publisher_->publish(twist);
  }
}

json ControllerWatch::StateJson(double now) const
{
  json state;
  state["now"] = now;
  state["controller"] = fqn_;
  state["reachable"] = reachable_;
  state["answering"] = answering_;
  state["configured"] = configured_;
  state["problem"] = problem_;
  state["last_output"] = last_output_ ? json(*last_output_) : json(nullptr);
  if (mode_) {
    std::string name;
    try {
      name = ControlModeToString(*mode_);
    } catch (const std::invalid_argument &) {
      name = "unknown";
    }
    json transitions = json::array();
    if (*mode_ == 0) {
      for (const auto & entry : config_.modes) {
        transitions.push_back(ControlModeToString(entry.first));
      }
    } else if (config_.modes.count(*mode_) != 0) {
      for (const auto & target : config_.modes.at(*mode_).transitions_to) {
        transitions.push_back(target);
      }
    }
    state["mode"] = {
      {"id", *mode_}, {"name", name},
      {"since", mode_since_ ? json(*mode_since_) : json(nullptr)},
      {"transitions", transitions}};
  } else {
    state["mode"] = nullptr;
  }
  // The stop state is shown only where the controller has a stop input.
  if (!config_.stop_topic.empty() || stop_publisher_) {
    state["stop"] = {{"engaged", stopped_ ? json(*stopped_) : json(nullptr)}};
  } else {
    state["stop"] = nullptr;
  }
  if (options_.drive_mode) {
    state["drive"] = {
      {"mode", ControlModeToString(*options_.drive_mode)},
      {"max_linear", options_.max_linear}, {"max_angular", options_.max_angular}};
  } else {
    state["drive"] = nullptr;
  }
  return state;
}

std::string ControllerWatch::FullFrame(uint64_t * seq)
{
  std::lock_guard<std::mutex> frame_lock(frame_mutex_);
  if (seq) {
    *seq = hub_.seq();
  }
  const double now = WallNow();
  json frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame = StateJson(now);
  }
  frame["data"] = history_.Full();
  frame["data"].erase("empty");
  frame["full"] = true;
  return frame.dump();
}

template<typename ServiceT>
Answer ControllerWatch::Call(
  const typename rclcpp::Client<ServiceT>::SharedPtr & client,
  typename ServiceT::Request::SharedPtr request)
{
  if (!client->service_is_ready()) {
    return Answer{503, false, "controller " + fqn_ + " is not reachable"};
  }
  auto pending = client->async_send_request(request);
  if (pending.wait_for(timeout_) != std::future_status::ready) {
    client->remove_pending_request(pending);
    return Answer{504, false, "controller " + fqn_ + " did not answer in time"};
  }
  const auto response = pending.get();
  return Answer{200, response->success, response->message};
}

Answer ControllerWatch::SetMode(uint8_t mode)
{
  auto request = std::make_shared<SetControlMode::Request>();
  request->mode.mode = mode;
  return Call<SetControlMode>(set_client_, request);
}

Answer ControllerWatch::CallReturn(
  const rclcpp::Client<ReturnControlMode>::SharedPtr & client, std::optional<uint8_t> from)
{
  if (!from) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!mode_) {
      return Answer{503, false, "the current mode is not known yet"};
    }
    from = mode_;
  }
  auto request = std::make_shared<ReturnControlMode::Request>();
  request->mode.mode = *from;
  return Call<ReturnControlMode>(client, request);
}

Answer ControllerWatch::Previous(std::optional<uint8_t> from)
{
  return CallReturn(previous_client_, from);
}

Answer ControllerWatch::Reset()
{
  // Stop always states the console's latest view of the mode: an operator pressing Stop
  // means "none", whatever the page showed a moment ago.
  return CallReturn(reset_client_, std::nullopt);
}

Answer ControllerWatch::Pad(const PadCommand & command)
{
  if (!dead_man_) {
    return Answer{403, false, "driving is off; start the console with --drive-mode"};
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!configured_) {
      return Answer{503, false, "controller " + fqn_ + " is not reachable"};
    }
    if (!mode_ || *mode_ != *options_.drive_mode) {
      dead_man_->Release();
      return Answer{
        409, false, "the pad drives in mode " + ControlModeToString(*options_.drive_mode) +
        ", which is not current"};
    }
  }
  dead_man_->Hold(command, Clock::now());
  return Answer{200, true, "driving"};
}

void ControllerWatch::PadRelease()
{
  if (dead_man_) {
    dead_man_->Release();
  }
}

}  // namespace twist_arbiter_console
