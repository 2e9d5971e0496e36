// Copyright 2026 The twist_arbiter authors.

#include "ctl/commands.hpp"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <fmt/format.h>
#include <builtin_interfaces/msg/time.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <geometry_msgs/msg/twist_stamped.hpp>
#include <std_msgs/msg/bool.hpp>

#include "ctl/controller_link.hpp"
#include "ctl/mode_follower.hpp"
#include "twist_arbiter/ctl/format.hpp"
#include "twist_arbiter/ctl/mode_catalogue.hpp"
#include "twist_arbiter/ctl/twist_line_filter.hpp"
#include "twist_arbiter/ctl/watchdog_judge.hpp"
#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_ctl
{

namespace interface = twist_arbiter::interface;
using interface::StoppedQoS;

namespace
{

using Clock = std::chrono::steady_clock;
using Twist = geometry_msgs::msg::Twist;
using TwistStamped = geometry_msgs::msg::TwistStamped;
using Bool = std_msgs::msg::Bool;
using ControlMode = corvan_msgs::msg::ControlMode;

int64_t EpochNow()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

/// When the sample was published, if the middleware says so; history replayed to a late
/// subscriber then shows when each change really happened.
int64_t SourceTime(const rclcpp::MessageInfo & info)
{
  const int64_t stamp = info.get_rmw_message_info().source_timestamp;
  return stamp > 0 ? stamp : EpochNow();
}

/// Lines go out one by one, flushed, so that a pipe or a file shows them as they happen.
void PrintLine(std::ostream & out, const std::string & line)
{
  out << line << std::endl;
}

using CommandHandler = std::function<void (const Twist &, const TwistStamped *)>;

/// Subscribes to velocity commands of either message type; @p handler gets the twist, and the
/// whole stamped message when there is one.
rclcpp::SubscriptionBase::SharedPtr SubscribeCommands(
  rclcpp::Node & node, const std::string & topic, bool stamped, CommandHandler handler)
{
  return OpenEndpoint(
    topic, [&]() -> rclcpp::SubscriptionBase::SharedPtr {
      if (stamped) {
        return node.create_subscription<TwistStamped>(
          topic, TwistQoS(), [handler](const TwistStamped & msg) {handler(msg.twist, &msg);});
      }
      return node.create_subscription<Twist>(
        topic, TwistQoS(), [handler](const Twist & msg) {handler(msg, nullptr);});
    });
}

/// The controller's stop state from its transient-local ~/stopped topic.
rclcpp::Subscription<Bool>::SharedPtr SubscribeStopped(
  rclcpp::Node & node, const std::string & topic,
  std::function<void(bool, const rclcpp::MessageInfo &)> handler)
{
  return OpenEndpoint(
    topic, [&] {
      return node.create_subscription<Bool>(
        topic, StoppedQoS(), [handler](const Bool & msg, const rclcpp::MessageInfo & info) {
          handler(msg.data, info);
        });
    });
}

int RunStatus(ControllerLink & link, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  // Held by the callbacks too: a callback that runs late never writes to a returned frame.
  const auto count = std::make_shared<std::size_t>(0);
  const auto stopped = std::make_shared<std::optional<bool>>();
  auto output = SubscribeCommands(
    link.node(), parameters.output_topic, parameters.output_stamped,
    [count](const Twist &, const TwistStamped *) {++*count;});
  rclcpp::SubscriptionBase::SharedPtr stop;
  if (!parameters.stop_topic.empty()) {
    stop = SubscribeStopped(
      link.node(), parameters.stopped_topic,
      [stopped](bool engaged, const rclcpp::MessageInfo &) {*stopped = engaged;});
  }
  // Keeps following the mode while sampling, so the report is as fresh as the rate.
  ModeFollower modes(link, parameters.control_mode_topic);
  modes.WaitForCurrent();

  const std::chrono::seconds window{1};
  *count = 0;
  if (!link.SpinUntil(Clock::now() + window)) {
    return kExitOk;  // Ctrl-C: nothing to report
  }
  StatusInfo info;
  info.controller = link.fqn();
  info.mode = *modes.current();
  const auto input = parameters.inputs.find(info.mode);
  if (input != parameters.inputs.end()) {
    info.input_topic = input->second.topic;
    info.input_stamped = input->second.stamped;
    info.input_max_age_s = input->second.max_age_s;
  }
  info.output_topic = parameters.output_topic;
  info.output_stamped = parameters.output_stamped;
  info.output_frame_id = parameters.output_frame_id;
  info.threshold_s = parameters.threshold_s;
  info.output_count = *count;
  info.window_s = std::chrono::duration<double>(window).count();
  info.stop_topic = parameters.stop_topic;
  info.stop_heartbeat_s = parameters.stop_heartbeat_s;
  if (parameters.stop_topic.empty()) {
    info.stop = StopState::kNoInput;
  } else if (!stopped->has_value()) {
    info.stop = StopState::kUnknown;
  } else {
    info.stop = **stopped ? StopState::kEngaged : StopState::kReleased;
  }
  out << FormatStatus(info) << std::flush;
  return kExitOk;
}

int RunSet(ControllerLink & link, uint8_t mode, std::ostream & out)
{
  link.Reach({});
  const auto response = link.CallSet(mode);
  PrintLine(out, response->message);
  return response->success ? kExitOk : kExitRefused;
}

int RunReturn(
  ControllerLink & link, const std::string & service, std::optional<uint8_t> from,
  std::ostream & out)
{
  if (from) {
    link.Reach({service});
    const auto response = link.CallReturn(service, *from);
    PrintLine(out, response->message);
    return response->success ? kExitOk : kExitRefused;
  }
  const auto deadline = Clock::now() + link.timeout();
  link.Reach({service, "get_parameters"});
  ModeFollower modes(link, link.FetchParameters().control_mode_topic);
  uint8_t current = modes.WaitForCurrent();
  auto response = link.CallReturn(service, current);
  // The controller refuses a request that names a mode other than its current one. Until the
  // whole history has arrived, a refusal may come from a belief that a late sample (a slow
  // retransmit) is about to correct: ask again with the corrected mode, within the timeout.
  while (!response->success && !modes.HistoryComplete() && modes.WaitForChange(current, deadline))
  {
    current = *modes.current();
    response = link.CallReturn(service, current);
  }
  PrintLine(out, response->message);
  return response->success ? kExitOk : kExitRefused;
}

/// What `watch` keeps between callbacks; the callbacks hold it, so none can outlive it.
struct WatchState
{
  WatchState(std::ostream & out, std::chrono::nanoseconds threshold)
  : out(out), judge(threshold, Clock::now()) {}

  std::ostream & out;
  WatchdogJudge judge;
  TwistLineFilter filter;
  std::optional<uint8_t> mode;
  std::optional<bool> stopped;
  rclcpp::SubscriptionBase::SharedPtr input;
  /// The header of the held stamped command, printed with it when its slot comes.
  std::optional<TwistStamped> held_stamped;
};

int RunWatch(ControllerLink & link, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  rclcpp::Node & node = link.node();
  const auto state = std::make_shared<WatchState>(
    out, std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(parameters.threshold_s)));
  // The callbacks hold the state weakly: it lives exactly as long as this function.
  const std::weak_ptr<WatchState> weak = state;

  // The input subscription follows the current mode: the watchdog acts on that mode's silence.
  const auto follow_input = [&node, &parameters, weak](uint8_t id) {
      const auto watch = weak.lock();
      watch->input.reset();
      const auto input = parameters.inputs.find(id);
      if (input != parameters.inputs.end()) {
        watch->input = SubscribeCommands(
          node, input->second.topic, input->second.stamped,
          [weak](const Twist &, const TwistStamped *) {
            if (const auto w = weak.lock()) {
              w->judge.OnInput(Clock::now());
            }
          });
      }
    };
  const auto on_mode =
    [weak, follow_input](const ControlMode & msg, const rclcpp::MessageInfo & info) {
      const auto w = weak.lock();
      if (!w) {
        return;
      }
      PrintLine(w->out, FormatModeChange(SourceTime(info), w->mode, msg.mode));
      w->mode = msg.mode;
      w->judge.OnMode(msg.mode, Clock::now());
      follow_input(msg.mode);
    };
  auto modes = OpenEndpoint(
    parameters.control_mode_topic, [&] {
      return node.create_subscription<ControlMode>(
        parameters.control_mode_topic, ControlModeQoS(), on_mode);
    });
  auto output = SubscribeCommands(
    node, parameters.output_topic, parameters.output_stamped,
    [weak](const Twist & twist, const TwistStamped * stamped) {
      const auto w = weak.lock();
      if (!w) {
        return;
      }
      const auto now = Clock::now();
      const bool watchdog = w->judge.OnOutput(twist, now);
      const int64_t stamp = EpochNow();
      if (w->filter.Offer(twist, stamp, now)) {
        PrintLine(
          w->out, stamped ? FormatTwist(stamp, *stamped, watchdog) :
          FormatTwist(stamp, twist, watchdog));
      } else if (stamped) {
        w->held_stamped = *stamped;
      }
    });
  rclcpp::SubscriptionBase::SharedPtr stop;
  if (!parameters.stop_topic.empty()) {
    stop = SubscribeStopped(
      node, parameters.stopped_topic, [weak](bool engaged, const rclcpp::MessageInfo & info) {
        const auto w = weak.lock();
        if (w && w->stopped != engaged) {
          w->stopped = engaged;
          PrintLine(w->out, FormatStopChange(SourceTime(info), engaged));
        }
      });
  }
  // Brings out a held command once its slot comes, even if nothing else arrives.
  auto flush = node.create_wall_timer(
    std::chrono::milliseconds(20), [weak]() {
      const auto w = weak.lock();
      if (!w) {
        return;
      }
      if (const auto due = w->filter.TakeDue(Clock::now())) {
        if (w->held_stamped) {
          PrintLine(w->out, FormatTwist(due->epoch_ns, *w->held_stamped, false));
        } else {
          PrintLine(w->out, FormatTwist(due->epoch_ns, due->twist, false));
        }
        w->held_stamped.reset();
      }
    });

  std::string header = fmt::format(
    "watching {}: modes on {}, commands on {}", link.fqn(), parameters.control_mode_topic,
    parameters.output_topic);
  if (parameters.output_stamped) {
    header += " (TwistStamped)";
  }
  if (!parameters.stop_topic.empty()) {
    header += fmt::format(", stop state on {}", parameters.stopped_topic);
  }
  PrintLine(out, header + " (Ctrl-C to stop)");
  link.executor().spin();
  return kExitOk;
}

/// The stamp of a command made @p age_s seconds before @p now (negative: after).
/// @throws CtlError (usage) when that lies before the clock's epoch.
builtin_interfaces::msg::Time StampBefore(const rclcpp::Time & now, double age_s)
{
  const int64_t ns = now.nanoseconds() - static_cast<int64_t>(std::llround(age_s * 1e9));
  if (ns < 0) {
    throw CtlError(
            kExitUsage, fmt::format("--age {:g} puts the stamp before the clock's start", age_s));
  }
  builtin_interfaces::msg::Time stamp;
  stamp.sec = static_cast<int32_t>(ns / 1000000000);
  stamp.nanosec = static_cast<uint32_t>(ns % 1000000000);
  return stamp;
}

int RunSend(ControllerLink & link, const Command & command, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  const ModeInput input = parameters.inputs.at(*command.mode);
  const std::string & topic = input.topic;
  if (command.age_s && !input.stamped) {
    throw CtlError(
            kExitUsage,
            fmt::format(
              "--age applies only to a stamped input; {} takes geometry_msgs/msg/Twist on {}",
              ModeLabel(*command.mode), topic));
  }
  rclcpp::Node & node = link.node();
  rclcpp::PublisherBase::SharedPtr publisher;
  rclcpp::Publisher<Twist>::SharedPtr plain;
  rclcpp::Publisher<TwistStamped>::SharedPtr stamped;
  if (input.stamped) {
    publisher = stamped = OpenEndpoint(
      topic, [&] {return node.create_publisher<TwistStamped>(topic, TwistQoS());});
  } else {
    publisher = plain = OpenEndpoint(
      topic, [&] {return node.create_publisher<Twist>(topic, TwistQoS());});
  }

  // Give discovery a chance, so the first commands are not lost; the controller listens only
  // while the mode is current, so sending to nobody is allowed, with a note.
  const auto match_deadline = Clock::now() + link.timeout();
  while (rclcpp::ok() && publisher->get_subscription_count() == 0 &&
    Clock::now() < match_deadline)
  {
    link.executor().spin_once(std::chrono::milliseconds(20));
  }
  if (!rclcpp::ok()) {
    return kExitOk;
  }
  if (publisher->get_subscription_count() == 0) {
    PrintLine(
      out, fmt::format(
        "note: nobody listens on {} (the controller does only while {} is current)", topic,
        ModeLabel(*command.mode)));
  }

  Twist twist;
  twist.linear.x = command.linear;
  twist.angular.z = command.angular;
  std::string what;
  if (input.stamped) {
    what = command.age_s ?
      fmt::format(" (TwistStamped, stamped {:g} s ago)", *command.age_s) :
      std::string(" (TwistStamped)");
  }
  PrintLine(
    out, fmt::format(
      "sending linear {:g} m/s, angular {:g} rad/s on {}{} at {:g} Hz {}", command.linear,
      command.angular, topic, what, command.rate_hz,
      command.duration_s ? fmt::format("for {:g} s", *command.duration_s) :
      std::string("until Ctrl-C")));

  // The timer runs only inside this function, on its executor; plain captures are safe.
  std::size_t sent = 0;
  const double age_s = command.age_s.value_or(0.0);
  const auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::duration<double>(1.0 / command.rate_hz));
  const auto send = [&]() {
      if (stamped) {
        TwistStamped msg;
        msg.header.stamp = StampBefore(node.now(), age_s);
        msg.header.frame_id = parameters.output_frame_id;
        msg.twist = twist;
        stamped->publish(msg);
      } else {
        plain->publish(twist);
      }
      ++sent;
    };
  send();
  auto timer = node.create_wall_timer(period, send);
  if (command.duration_s) {
    const auto end = Clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(*command.duration_s));
    link.SpinUntil(end);
  } else {
    link.executor().spin();
  }
  timer->cancel();
  PrintLine(out, fmt::format("sent {} commands", sent));
  return kExitOk;
}

}  // namespace

int RunCommand(const Command & command, rclcpp::Node::SharedPtr node, std::ostream & out)
{
  ControllerLink link(node, command);
  switch (command.verb) {
    case Verb::kStatus:
      return RunStatus(link, out);
    case Verb::kSet:
      return RunSet(link, *command.mode, out);
    case Verb::kPrevious:
      return RunReturn(link, interface::kPreviousControlModeService, command.mode, out);
    case Verb::kReset:
      return RunReturn(link, interface::kResetControlModeService, command.mode, out);
    case Verb::kWatch:
      return RunWatch(link, out);
    case Verb::kSend:
      return RunSend(link, command, out);
    case Verb::kHelp:
      break;
  }
  out << HelpText(command.help_for);
  return kExitOk;
}

}  // namespace twist_arbiter_ctl
