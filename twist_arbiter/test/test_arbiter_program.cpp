// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_main as a subprocess: clean exit on SIGINT and SIGTERM, status 1 with an ERROR
// and a FATAL line on bad configuration, and command-line remapping of the node name.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "subprocess.hpp"

namespace
{

/// The controller program with @p args.
class Program : public subprocess::Program
{
public:
  explicit Program(const std::vector<std::string> & args)
  : subprocess::Program(TWIST_ARBITER_MAIN, args) {}
};

using subprocess::RunResult;
using subprocess::TempDir;

/// The shipped configuration as a map from dotted name to YAML value text.
std::map<std::string, std::string> ShippedValues()
{
  return {
    {"topics.out.twist", "cmd_vel"},
    {"topics.out.control_mode", "control_mode"},
    {"timeout_threshold", "0.5"},
    {"states.manual.topic", "cmd_vel/manual"},
    {"states.manual.transitions_to", "[teleops, manual_mapping, autopilot, docking, user]"},
    {"states.teleops.topic", "cmd_vel/teleops"},
    {"states.teleops.transitions_to", "[manual, manual_mapping, autopilot, docking]"},
    {"states.manual_mapping.topic", "cmd_vel/manual_mapping"},
    {"states.manual_mapping.transitions_to", "[manual, teleops]"},
    {"states.manual_mapping.limiter.velocity.max_linear", "0.4"},
    {"states.manual_mapping.limiter.velocity.max_angular", "0.6"},
    {"states.manual_mapping.limiter.acceleration.max_linear", "0.5"},
    {"states.manual_mapping.limiter.acceleration.max_angular", "1.0"},
    {"states.manual_mapping.limiter.interpolation_rate", "20.0"},
    {"states.autopilot.topic", "cmd_vel/autopilot"},
    {"states.autopilot.transitions_to", "[manual, teleops, docking]"},
    {"states.docking.topic", "cmd_vel/docking"},
    {"states.docking.transitions_to", "[manual, teleops, autopilot]"},
    {"states.user.topic", "cmd_vel/user"},
    {"states.user.transitions_to", "[manual, teleops]"},
  };
}

/// Writes a parameter file (flat dotted keys under "/**") and returns its path.
std::string WriteParams(const std::map<std::string, std::string> & values)
{
  static int counter = 0;
  const std::string path = TempDir() + "/params" + std::to_string(counter++) + ".yaml";
  std::ofstream out(path);
  out << "/**:\n  ros__parameters:\n";
  for (const auto & entry : values) {
    out << "    " << entry.first << ": " << entry.second << "\n";
  }
  return path;
}

/// Lines of @p output that contain @p marker ("[ERROR]", "[FATAL]").
std::vector<std::string> LinesWith(const std::string & output, const std::string & marker)
{
  std::vector<std::string> lines;
  std::stringstream ss(output);
  std::string line;
  while (std::getline(ss, line)) {
    if (line.find(marker) != std::string::npos) {
      lines.push_back(line);
    }
  }
  return lines;
}

/// The text of a console log line after "[<logger>]: ".
std::string MessageOf(const std::string & line, const std::string & logger)
{
  const std::string tag = "[" + logger + "]: ";
  const auto pos = line.find(tag);
  return pos == std::string::npos ? "<no [" + logger + "] in: " + line + ">" :
         line.substr(pos + tag.size());
}

/// Runs the program with @p values and expects exit status 1 with exactly one ERROR line of
/// @p logger carrying @p error, followed by one FATAL line carrying @p fatal.
void ExpectAbort(
  const std::map<std::string, std::string> & values, const std::string & error,
  const std::string & fatal, const std::vector<std::string> & extra_args = {},
  const std::string & logger = "twist_arbiter")
{
  std::vector<std::string> args = {"--ros-args", "--params-file", WriteParams(values)};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  Program program(args);
  ASSERT_TRUE(program.spawned());
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited) << run.output;
  EXPECT_EQ(1, run.status) << run.output;
  const auto errors = LinesWith(run.output, "[ERROR]");
  const auto fatals = LinesWith(run.output, "[FATAL]");
  ASSERT_EQ(1u, errors.size()) << run.output;
  ASSERT_EQ(1u, fatals.size()) << run.output;
  EXPECT_EQ(error, MessageOf(errors[0], logger));
  EXPECT_EQ(fatal, MessageOf(fatals[0], "twist_arbiter_main"));
  EXPECT_LT(run.output.find(errors[0]), run.output.find(fatals[0]));
}

const char kCtorFailed[] = "Construction of the twist_arbiter node failed: ";
const char kSeeAbove[] = "invalid configuration, see the ERROR line above";

}  // namespace

TEST(ArbiterProgram, RunsWithTheShippedConfigurationUntilASignal)
{
  for (const int signum : {SIGINT, SIGTERM}) {
    Program program({"--ros-args", "--params-file", SHIPPED_CONFIG});
    ASSERT_TRUE(program.spawned());
    ASSERT_TRUE(program.WaitUntilSpinning()) << program.Wait(std::chrono::seconds(1)).output;
    program.Signal(signum);
    const RunResult run = program.Wait();
    ASSERT_TRUE(run.exited) << "signal " << signum << ": " << run.output;
    EXPECT_EQ(0, run.status) << run.output;
    EXPECT_TRUE(LinesWith(run.output, "[ERROR]").empty()) << run.output;
    EXPECT_TRUE(LinesWith(run.output, "[FATAL]").empty()) << run.output;
  }
}

TEST(ArbiterProgram, RunsWithTheRos2ControlExampleWithItsStopEngagedUntilTheFirstFalse)
{
  Program program({"--ros-args", "--params-file", ROS2_CONTROL_CONFIG});
  ASSERT_TRUE(program.spawned());
  ASSERT_TRUE(program.WaitUntilSpinning()) << program.Wait(std::chrono::seconds(1)).output;
  EXPECT_TRUE(
    program.WaitForOutput(
      "Stop engaged on `/stop_button`: no `false` received since start-up."))
    << program.Output();
  program.Signal(SIGINT);
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited) << run.output;
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_TRUE(LinesWith(run.output, "[ERROR]").empty()) << run.output;
}

TEST(ArbiterProgram, RemappedNodeNameRunsAndReportsUnderTheNewName)
{
  // The shipped file applies to any node name, so the renamed node runs as well.
  Program program({"--ros-args", "--params-file", SHIPPED_CONFIG, "-r", "__node:=other"});
  ASSERT_TRUE(program.spawned());
  ASSERT_TRUE(program.WaitUntilSpinning());
  program.Signal(SIGTERM);
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(0, run.status) << run.output;

  // Its log lines carry the new name.
  auto values = ShippedValues();
  values.erase("timeout_threshold");
  ExpectAbort(
    values,
    "Something went wrong during parameter \"timeout_threshold\" configuration: "
    "Statically typed parameter 'timeout_threshold' must be initialized.",
    std::string(kCtorFailed) + kSeeAbove, {"-r", "__node:=other"}, "other");
}

TEST(ArbiterProgram, ExitsWithStatusOneOnAMissingParameter)
{
  auto values = ShippedValues();
  values.erase("states.docking.topic");
  ExpectAbort(
    values,
    "Something went wrong during parameter \"states.docking.topic\" configuration: "
    "Statically typed parameter 'states.docking.topic' must be initialized.",
    std::string(kCtorFailed) + kSeeAbove);
}

TEST(ArbiterProgram, ExitsWithStatusOneOnEachRefusedValue)
{
  const std::string threshold_allowed =
    "allowed is a finite number of seconds >= 0 and below 2147483.648 (value * 1000 must fit a "
    "32-bit signed number of milliseconds).";
  const std::string bound_allowed = "allowed is a finite number >= 0.";
  struct Case
  {
    std::string name;
    std::string yaml;
    std::string text_start;
  };
  const std::vector<Case> cases = {
    {"timeout_threshold", "-0.25",
      "Invalid value -0.25 for parameter \"timeout_threshold\": " + threshold_allowed},
    {"timeout_threshold", "3000000.0",
      "Invalid value 3000000 for parameter \"timeout_threshold\": " + threshold_allowed},
    {"timeout_threshold", ".nan",
      "Invalid value nan for parameter \"timeout_threshold\": " + threshold_allowed},
    {"states.manual_mapping.limiter.velocity.max_angular", "-0.5",
      "Invalid value -0.5 for parameter \"states.manual_mapping.limiter.velocity.max_angular\": " +
      bound_allowed},
    {"states.manual_mapping.limiter.acceleration.max_linear", ".inf",
      "Invalid value inf for parameter "
      "\"states.manual_mapping.limiter.acceleration.max_linear\": " + bound_allowed},
    {"states.manual_mapping.limiter.interpolation_rate", "0.0",
      "Invalid value 0 for parameter \"states.manual_mapping.limiter.interpolation_rate\": "},
    {"states.autopilot.topic", "\"bad topic\"",
      "Invalid value \"bad topic\" for parameter \"states.autopilot.topic\": allowed is a topic "
      "name"},
    {"topics.out.control_mode", "\"bad topic\"",
      "Invalid value \"bad topic\" for parameter \"topics.out.control_mode\": allowed is a "
      "topic name"},
    // Optional parameters: a wrong type, and values that are only valid together.
    {"stop.heartbeat", "1",
      "Something went wrong during parameter \"stop.heartbeat\" configuration: "},
    {"stop.heartbeat", "0.5",
      "Invalid value 0.5 for parameter \"stop.heartbeat\": allowed is 0 (no heartbeat) while "
      "\"stop.topic\" is empty"},
    {"states.docking.max_age", "0.3",
      "Invalid value 0.3 for parameter \"states.docking.max_age\": allowed is 0 (no age gate) "
      "while \"states.docking.stamped\" is false"},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name + " = " + c.yaml);
    auto values = ShippedValues();
    values[c.name] = c.yaml;
    Program program({"--ros-args", "--params-file", WriteParams(values)});
    ASSERT_TRUE(program.spawned());
    const RunResult run = program.Wait();
    ASSERT_TRUE(run.exited) << run.output;
    EXPECT_EQ(1, run.status) << run.output;
    const auto errors = LinesWith(run.output, "[ERROR]");
    const auto fatals = LinesWith(run.output, "[FATAL]");
    ASSERT_EQ(1u, errors.size()) << run.output;
    ASSERT_EQ(1u, fatals.size()) << run.output;
    const std::string error = MessageOf(errors[0], "twist_arbiter");
    EXPECT_EQ(0u, error.find(c.text_start)) << error;
    EXPECT_EQ(kCtorFailed + error, MessageOf(fatals[0], "twist_arbiter_main"));
  }
}

TEST(ArbiterProgram, ExitsWithStatusOneWhenInitialisationFails)
{
  Program program({"--ros-args", "--params-file", TempDir() + "/does_not_exist.yaml"});
  ASSERT_TRUE(program.spawned());
  const RunResult run = program.Wait();
  ASSERT_TRUE(run.exited) << run.output;
  EXPECT_EQ(1, run.status) << run.output;
  const auto fatals = LinesWith(run.output, "[FATAL]");
  ASSERT_EQ(1u, fatals.size()) << run.output;
  EXPECT_EQ(
    0u, MessageOf(fatals[0], "twist_arbiter_main").find(
      "Initialisation of the ROS 2 client library failed: "));
}
