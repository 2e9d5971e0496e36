// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_ctl without a graph: the command line, the printed lines, and the two decisions
// `watch` makes (which Twists to print, which zero is the watchdog's).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "twist_arbiter/ctl/command.hpp"
#include "twist_arbiter/ctl/format.hpp"
#include "twist_arbiter/ctl/mode_catalogue.hpp"
#include "twist_arbiter/ctl/twist_line_filter.hpp"
#include "twist_arbiter/ctl/watchdog_judge.hpp"

using namespace twist_arbiter_ctl;  // NOLINT(build/namespaces)
using std::chrono::milliseconds;

namespace
{

Command Parse(const std::vector<std::string> & args)
{
  const ParseResult result = ParseCommandLine(args);
  EXPECT_TRUE(result.command.has_value()) << result.error;
  return result.command.value_or(Command{});
}

std::string Error(const std::vector<std::string> & args)
{
  const ParseResult result = ParseCommandLine(args);
  EXPECT_FALSE(result.command.has_value());
  EXPECT_EQ(std::string::npos, result.error.find('\n')) << "one line: " << result.error;
  return result.error;
}

geometry_msgs::msg::Twist Twist(double x)
{
  geometry_msgs::msg::Twist t;
  t.linear.x = x;
  return t;
}

}  // namespace

TEST(CtlCommandLine, CommandsModesAndOptions)
{
  Command c = Parse({"set", "teleops"});
  EXPECT_EQ(Verb::kSet, c.verb);
  EXPECT_EQ(11, *c.mode);
  EXPECT_EQ("/twist_arbiter", FullyQualifiedName(c));
  EXPECT_DOUBLE_EQ(5.0, c.timeout_s);
  EXPECT_EQ(30, *Parse({"set", "30"}).mode);
  EXPECT_EQ(0, *Parse({"set", "none"}).mode);

  // Common options anywhere, both spellings; namespaces.
  c = Parse({"--node", "/robot1/gate", "status", "--timeout=0.5"});
  EXPECT_EQ(Verb::kStatus, c.verb);
  EXPECT_EQ("gate", c.node_name);
  EXPECT_EQ("/robot1", c.node_namespace);
  EXPECT_DOUBLE_EQ(0.5, c.timeout_s);
  EXPECT_EQ("/gate", FullyQualifiedName(Parse({"watch", "--node", "gate"})));

  EXPECT_FALSE(Parse({"previous"}).mode.has_value());
  EXPECT_EQ(12, *Parse({"reset", "--from", "manual_mapping"}).mode);

  c = Parse({"send", "docking", "--linear", "-0.25", "--angular=1e-1", "--rate", "20",
      "--duration", "2.5"});
  EXPECT_EQ(21, *c.mode);
  EXPECT_DOUBLE_EQ(-0.25, c.linear);
  EXPECT_DOUBLE_EQ(0.1, c.angular);
  EXPECT_DOUBLE_EQ(20.0, c.rate_hz);
  EXPECT_DOUBLE_EQ(2.5, *c.duration_s);
  c = Parse({"send", "user", "--linear", "0"});
  EXPECT_DOUBLE_EQ(10.0, c.rate_hz);
  EXPECT_FALSE(c.duration_s.has_value());
  EXPECT_FALSE(c.age_s.has_value());

  // Stale and future stamps; a repeated option counts with its last value.
  EXPECT_DOUBLE_EQ(-1.0, *Parse({"send", "autopilot", "--age=-1", "--linear", "1"}).age_s);
  c = Parse({"--timeout", "1", "send", "user", "--linear=1", "--linear", "-2", "--timeout", "3"});
  EXPECT_DOUBLE_EQ(-2.0, c.linear);
  EXPECT_DOUBLE_EQ(3.0, c.timeout_s);
}

TEST(CtlCommandLine, HelpForTheProgramAndEachCommand)
{
  EXPECT_EQ("", Parse({"--help"}).help_for);
  EXPECT_EQ("send", Parse({"send", "--help"}).help_for);
  EXPECT_EQ(Verb::kHelp, Parse({"set", "nonsense", "-h"}).verb);  // help wins over errors
  EXPECT_EQ("watch", Parse({"help", "watch"}).help_for);
  for (const std::string verb : {"status", "set", "previous", "reset", "watch", "send"}) {
    EXPECT_EQ(0u, HelpText(verb).find("Usage: twist_arbiter_ctl " + verb)) << HelpText(verb);
  }
  EXPECT_NE(std::string::npos, HelpText("").find("Exit status: 0 success, 1 refused"));
}

TEST(CtlCommandLine, BadInputIsOneLineNamingTheProblem)
{
  const std::string valid = "valid modes: none (0), manual (10), teleops (11), "
    "manual_mapping (12), autopilot (20), docking (21), user (30)";
  EXPECT_EQ("unknown mode 'Teleops'; " + valid, Error({"set", "Teleops"}));
  EXPECT_EQ("unknown mode '99'; " + valid, Error({"set", "99"}));
  for (const std::string bad : {"-1", "256", "011x", "+11", " 11", ""}) {
    EXPECT_EQ(0u, Error({"set", bad}).find("unknown mode '" + bad + "'"));
  }
  EXPECT_EQ(0u, Error({"reset", "--from", "docked"}).find("unknown mode 'docked'"));
  EXPECT_EQ(0u, Error({"send", "cruise", "--linear", "1"}).find("unknown mode 'cruise'"));

  EXPECT_EQ("--linear must be a finite number, got '0.2m'",
    Error({"send", "teleops", "--linear", "0.2m"}));
  for (const std::string bad : {"nan", "inf", "1e999", " 1", "", "0x"}) {
    EXPECT_NE(std::string::npos, Error({"send", "manual", "--linear", bad}).find("--linear"));
  }
  EXPECT_EQ("--timeout must be above 0 and at most 1e+06, got '0'", Error({"status", "--timeout",
      "0"}));
  EXPECT_NE(std::string::npos, Error({"status", "--timeout", "five"}).find("--timeout"));
  EXPECT_NE(std::string::npos,
    Error({"send", "manual", "--linear", "1", "--rate", "2000"}).find("--rate"));
  EXPECT_NE(std::string::npos,
    Error({"send", "manual", "--linear", "1", "--duration", "-1"}).find("--duration"));

  EXPECT_EQ("'send' needs --linear X", Error({"send", "teleops"}));
  EXPECT_EQ("mode 'none' has no input topic to send on", Error({"send", "0", "--linear", "1"}));
  EXPECT_EQ(0u, Error({}).find("missing command"));
  EXPECT_EQ(0u, Error({"start"}).find("unknown command 'start'"));
  EXPECT_EQ("unknown option '--speed'", Error({"send", "manual", "--speed", "1"}));
  EXPECT_EQ("option --timeout needs a value", Error({"status", "--timeout"}));
  EXPECT_EQ("option --linear does not apply to 'set'", Error({"--linear", "1", "set", "user"}));
  EXPECT_EQ("option --from does not apply to 'status'", Error({"status", "--from", "user"}));
  EXPECT_EQ("option --node needs a value", Error({"status", "--node", "--timeout", "1"}));
  EXPECT_EQ("--age must be at least -1e+06 and at most 1e+06, got '2e6'",
    Error({"send", "user", "--linear", "1", "--age", "2e6"}));
  EXPECT_EQ("unknown option '--speed'", Error({"send", "manual", "--speed=1"}));
  EXPECT_EQ("'set' needs a MODE; " + valid, Error({"set"}));
  EXPECT_EQ("unexpected argument 'user' for 'status'", Error({"status", "user"}));
  for (const std::string bad : {"/", "a//b", "1gate", "/ns/", "ga te", "~"}) {
    EXPECT_EQ(0u, Error({"status", "--node", bad}).find("invalid node name '" + bad + "'"));
  }
}

TEST(CtlFormat, LinesAndStatusBlock)
{
  EXPECT_EQ("teleops (11)", ModeLabel(11));
  EXPECT_EQ("unknown (99)", ModeLabel(99));
  const std::string clock = FormatClock(1234567890123456789);
  ASSERT_EQ(12u, clock.size());
  EXPECT_EQ(".123", clock.substr(8));

  EXPECT_EQ(clock + " mode manual (10) -> teleops (11)",
    FormatModeChange(1234567890123456789, uint8_t{10}, 11));
  EXPECT_EQ(clock + " mode none (0)", FormatModeChange(1234567890123456789, std::nullopt, 0));
  geometry_msgs::msg::Twist t = Twist(0.2);
  t.angular.z = -0.5;
  EXPECT_EQ(clock + " twist linear 0.200 0.000 0.000 angular 0.000 0.000 -0.500",
    FormatTwist(1234567890123456789, t, false));
  EXPECT_EQ(clock + " twist linear 0.000 0.000 0.000 angular 0.000 0.000 0.000"
    " (watchdog: input silent)", FormatTwist(1234567890123456789, Twist(0.0), true));

  StatusInfo info;
  info.controller = "/robot1/gate";
  info.mode = 11;
  info.input_topic = "/robot1/cmd_vel/teleops";
  info.output_topic = "/robot1/cmd_vel";
  info.threshold_s = 0.5;
  info.output_count = 10;
  EXPECT_EQ(
    "controller: /robot1/gate\n"
    "mode:       teleops (11)\n"
    "input:      /robot1/cmd_vel/teleops\n"
    "output:     /robot1/cmd_vel\n"
    "output msg: geometry_msgs/msg/Twist\n"
    "threshold:  0.5 s\n"
    "stop:       no stop input\n"
    "commands:   10.0 Hz (10 messages in the last 1 s)\n", FormatStatus(info));
  const auto line = [](const std::string & block, const std::string & label) {
      const auto start = block.find(label);
      return start == std::string::npos ? std::string("(missing)") :
             block.substr(start, block.find('\n', start) - start);
    };

  // Stamped input and output, and the stop in each of its states.
  info.input_stamped = true;
  EXPECT_EQ("input:      /robot1/cmd_vel/teleops (TwistStamped)",
    line(FormatStatus(info), "input:"));
  info.input_max_age_s = 0.25;
  EXPECT_EQ("input:      /robot1/cmd_vel/teleops (TwistStamped, max_age 0.25 s)",
    line(FormatStatus(info), "input:"));
  info.output_stamped = true;
  info.output_frame_id = "base_footprint";
  EXPECT_EQ("output msg: geometry_msgs/msg/TwistStamped, frame_id base_footprint",
    line(FormatStatus(info), "output msg:"));
  info.stop_topic = "/robot1/estop";
  info.stop_heartbeat_s = 0.5;
  info.stop = StopState::kEngaged;
  EXPECT_EQ("stop:       engaged (input /robot1/estop, heartbeat 0.5 s)",
    line(FormatStatus(info), "stop:"));
  info.stop_heartbeat_s = 0.0;
  info.stop = StopState::kReleased;
  EXPECT_EQ("stop:       released (input /robot1/estop, no heartbeat)",
    line(FormatStatus(info), "stop:"));
  info.stop = StopState::kUnknown;
  EXPECT_EQ("stop:       unknown (no state received) (input /robot1/estop, no heartbeat)",
    line(FormatStatus(info), "stop:"));

  info = StatusInfo{};
  info.controller = "/gate";
  info.output_topic = "/cmd_vel";
  const std::string idle = FormatStatus(info);
  EXPECT_NE(std::string::npos, idle.find("input:      (none: mode none relays nothing)\n"));
  EXPECT_NE(std::string::npos, idle.find("commands:   silent\n"));

  geometry_msgs::msg::TwistStamped stamped;
  stamped.twist = t;
  stamped.header.stamp.sec = 1234567890;
  stamped.header.stamp.nanosec = 23456789;  // 20 ms before the clock of the line below
  stamped.header.frame_id = "base_link";
  const std::string stamp_clock = FormatClock(1234567890023456789);
  EXPECT_EQ(clock + " twist linear 0.200 0.000 0.000 angular 0.000 0.000 -0.500 stamp " +
    stamp_clock + " frame_id base_link", FormatTwist(1234567890123456789, stamped, false));
  stamped.header.frame_id.clear();
  EXPECT_NE(std::string::npos,
    FormatTwist(1234567890123456789, stamped, true).find(" frame_id (empty) (watchdog: input "
    "silent)"));
}

TEST(CtlWatch, TwistLinesAreRateLimitedButZeroEdgesPassAtOnce)
{
  TwistLineFilter filter(milliseconds(100));
  const auto t0 = TwistLineFilter::TimePoint{} + std::chrono::hours(1);
  EXPECT_TRUE(filter.Offer(Twist(0.1), 1, t0));                       // first
  EXPECT_FALSE(filter.Offer(Twist(0.2), 2, t0 + milliseconds(30)));   // held
  EXPECT_FALSE(filter.Offer(Twist(0.3), 3, t0 + milliseconds(60)));   // replaces the held one
  EXPECT_FALSE(filter.TakeDue(t0 + milliseconds(99)).has_value());
  auto due = filter.TakeDue(t0 + milliseconds(100));
  ASSERT_TRUE(due.has_value());
  EXPECT_DOUBLE_EQ(0.3, due->twist.linear.x);
  EXPECT_EQ(3, due->epoch_ns);
  EXPECT_FALSE(filter.TakeDue(t0 + milliseconds(500)).has_value());   // taken once

  // To zero and back out of it: at once, regardless of the interval; a zero is held no longer.
  EXPECT_TRUE(filter.Offer(Twist(0.0), 4, t0 + milliseconds(110)));
  EXPECT_FALSE(filter.Offer(Twist(0.0), 5, t0 + milliseconds(120)));
  EXPECT_TRUE(filter.Offer(Twist(0.4), 6, t0 + milliseconds(130)));
  EXPECT_TRUE(filter.Offer(Twist(0.0), 7, t0 + milliseconds(140)));
  EXPECT_TRUE(filter.Offer(Twist(0.0), 8, t0 + milliseconds(240)));  // interval passed

  // A steady stream at 50 Hz gives 10 lines a second.
  int printed = 0;
  for (int i = 1; i <= 50; ++i) {
    const auto t = t0 + std::chrono::seconds(1) + milliseconds(20 * i);
    printed += filter.Offer(Twist(0.5), i, t) ? 1 : 0;
    printed += filter.TakeDue(t).has_value() ? 1 : 0;
  }
  EXPECT_EQ(10, printed);  // the first of them the edge out of zero
}

TEST(CtlWatch, WatchdogZeroIsAZeroAfterMotionWithTheInputSilent)
{
  const auto t0 = WatchdogJudge::TimePoint{} + std::chrono::hours(1);
  WatchdogJudge judge(milliseconds(500), t0);
  judge.OnMode(11, t0);
  judge.OnInput(t0 + milliseconds(100));
  EXPECT_FALSE(judge.OnOutput(Twist(0.2), t0 + milliseconds(101)));
  EXPECT_TRUE(judge.OnOutput(Twist(0.0), t0 + milliseconds(600)));
  EXPECT_FALSE(judge.OnOutput(Twist(0.0), t0 + milliseconds(1200)));  // not after motion

  // A zero the source sent itself: the input is not silent.
  judge.OnInput(t0 + milliseconds(1300));
  EXPECT_FALSE(judge.OnOutput(Twist(0.3), t0 + milliseconds(1301)));
  judge.OnInput(t0 + milliseconds(1400));
  EXPECT_FALSE(judge.OnOutput(Twist(0.0), t0 + milliseconds(1401)));

  // The stop command of a switch to none is not the watchdog's, however long the silence.
  EXPECT_FALSE(judge.OnOutput(Twist(0.3), t0 + milliseconds(1500)));
  judge.OnMode(0, t0 + milliseconds(1500));
  EXPECT_FALSE(judge.OnOutput(Twist(0.0), t0 + milliseconds(3000)));
}
