// Copyright 2026 The twist_arbiter authors.

#include "ctl/commands.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <fmt/format.h>
#include <geometry_msgs/msg/twist.hpp>

#include "ctl/controller_link.hpp"
#include "twist_arbiter/ctl/format.hpp"
#include "twist_arbiter/ctl/mode_catalogue.hpp"
#include "twist_arbiter/ctl/twist_line_filter.hpp"
#include "twist_arbiter/ctl/watchdog_judge.hpp"
#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_ctl
{

namespace interface = twist_arbiter::interface;

namespace
{

using Clock = std::chrono::steady_clock;
using Twist = geometry_msgs::msg::Twist;
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

int RunStatus(ControllerLink & link, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  std::size_t count = 0;
  auto output = link.node().create_subscription<Twist>(
    parameters.output_topic, TwistQoS(), [&count](const Twist &) {++count;});
  uint8_t mode = link.ReadCurrentMode(parameters.control_mode_topic);
  // Keep following the mode while sampling, so the report is as fresh as the rate.
  auto modes = link.node().create_subscription<ControlMode>(
    parameters.control_mode_topic, ControlModeQoS(),
    [&mode](const ControlMode & msg) {mode = msg.mode;});

  const std::chrono::seconds window{1};
  count = 0;
  if (!link.SpinUntil(Clock::now() + window)) {
    return kExitOk;  // Ctrl-C: nothing to report
  }
  StatusInfo info;
  info.controller = link.fqn();
  info.mode = mode;
  const auto input = parameters.input_topics.find(mode);
  info.input_topic = input == parameters.input_topics.end() ? "" : input->second;
  info.output_topic = parameters.output_topic;
  info.threshold_s = parameters.threshold_s;
  info.output_count = count;
  info.window_s = std::chrono::duration<double>(window).count();
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
  } else {
    link.Reach({service, "get_parameters"});
    from = link.ReadCurrentMode(link.FetchParameters().control_mode_topic);
  }
  const auto response = link.CallReturn(service, *from);
  PrintLine(out, response->message);
  return response->success ? kExitOk : kExitRefused;
}

int RunWatch(ControllerLink & link, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  rclcpp::Node & node = link.node();

  WatchdogJudge judge(
    std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(parameters.threshold_s)), Clock::now());
  TwistLineFilter filter;
  std::optional<uint8_t> mode;
  rclcpp::Subscription<Twist>::SharedPtr input;

  // The input subscription follows the current mode: the watchdog acts on that mode's silence.
  const auto follow_input = [&](uint8_t id) {
      input.reset();
      const auto topic = parameters.input_topics.find(id);
      if (topic != parameters.input_topics.end()) {
        input = node.create_subscription<Twist>(
          topic->second, TwistQoS(), [&judge](const Twist &) {judge.OnInput(Clock::now());});
      }
    };
  auto modes = node.create_subscription<ControlMode>(
    parameters.control_mode_topic, ControlModeQoS(),
    [&](const ControlMode & msg, const rclcpp::MessageInfo & info) {
      PrintLine(out, FormatModeChange(SourceTime(info), mode, msg.mode));
      mode = msg.mode;
      judge.OnMode(msg.mode, Clock::now());
      follow_input(msg.mode);
    });
  auto output = node.create_subscription<Twist>(
    parameters.output_topic, TwistQoS(),
    [&](const Twist & msg) {
      const auto now = Clock::now();
      const bool watchdog = judge.OnOutput(msg, now);
      const int64_t stamp = EpochNow();
      if (filter.Offer(msg, stamp, now)) {
        PrintLine(out, FormatTwist(stamp, msg, watchdog));
      }
    });
  // Brings out a held command once its slot comes, even if nothing else arrives.
  auto flush = node.create_wall_timer(
    std::chrono::milliseconds(20), [&]() {
      if (const auto due = filter.TakeDue(Clock::now())) {
        PrintLine(out, FormatTwist(due->epoch_ns, due->twist, false));
      }
    });

  PrintLine(
    out, fmt::format(
      "watching {}: modes on {}, commands on {} (Ctrl-C to stop)", link.fqn(),
      parameters.control_mode_topic, parameters.output_topic));
  link.executor().spin();
  return kExitOk;
}

int RunSend(ControllerLink & link, const Command & command, std::ostream & out)
{
  link.Reach({"get_parameters"});
  const ControllerParameters parameters = link.FetchParameters();
  const std::string topic = parameters.input_topics.at(*command.mode);
  rclcpp::Node & node = link.node();
  auto publisher = node.create_publisher<Twist>(topic, TwistQoS());

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
  PrintLine(
    out, fmt::format(
      "sending linear {:g} m/s, angular {:g} rad/s on {} at {:g} Hz {}", command.linear,
      command.angular, topic, command.rate_hz,
      command.duration_s ? fmt::format("for {:g} s", *command.duration_s) :
      std::string("until Ctrl-C")));

  std::size_t sent = 0;
  const auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::duration<double>(1.0 / command.rate_hz));
  const auto send = [&]() {
      publisher->publish(twist);
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
