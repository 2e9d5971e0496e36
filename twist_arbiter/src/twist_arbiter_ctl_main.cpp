// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_ctl: operates and watches a running twist_arbiter controller from a terminal.
// See twist_arbiter/README.md for the commands; --help prints the same.

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <rclcpp/exceptions.hpp>
#include <rclcpp/rclcpp.hpp>

#include "ctl/commands.hpp"
#include "ctl/controller_link.hpp"
#include "twist_arbiter/ctl/command.hpp"

namespace
{

int Fail(int status, const std::string & message)
{
  std::cerr << "twist_arbiter_ctl: " << message << std::endl;
  return status;
}

}  // namespace

int main(int argc, char ** argv)
{
  using twist_arbiter_ctl::kExitUnreachable;
  using twist_arbiter_ctl::kExitUsage;

  std::vector<std::string> args;
  try {
    args = rclcpp::remove_ros_arguments(argc, argv);
  } catch (const std::exception & e) {
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  }
  if (!args.empty()) {
    args.erase(args.begin());  // the program's own name
  }
  const auto parsed = twist_arbiter_ctl::ParseCommandLine(args);
  if (!parsed.command) {
    return Fail(kExitUsage, parsed.error);
  }
  const twist_arbiter_ctl::Command & command = *parsed.command;
  if (command.verb == twist_arbiter_ctl::Verb::kHelp) {
    std::cout << twist_arbiter_ctl::HelpText(command.help_for);
    return EXIT_SUCCESS;
  }

  // Ctrl-C and SIGTERM shut the context down: waits and spins return and watch and send end
  // normally, with status 0.
  try {
    rclcpp::init(argc, argv, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::All);
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError & e) {
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  } catch (const rclcpp::exceptions::UnknownROSArgsError & e) {
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  } catch (const std::exception & e) {
    // The arguments were fine but the process cannot join the graph (e.g. DDS Security
    // credentials missing under Enforce): the controller is out of its reach.
    return Fail(kExitUnreachable, std::string("cannot join the ROS graph: ") + e.what());
  }

  rclcpp::Node::SharedPtr node;
  try {
    // A name of its own per process: several operators may run the tool at once.
    node = std::make_shared<rclcpp::Node>(
      "twist_arbiter_ctl_" + std::to_string(getpid()),
      rclcpp::NodeOptions().start_parameter_services(false).start_parameter_event_publisher(
        false));
  } catch (const std::invalid_argument & e) {
    // A remapped node name or namespace that is not valid.
    rclcpp::shutdown();
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError & e) {
    rclcpp::shutdown();
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  } catch (const rclcpp::exceptions::UnknownROSArgsError & e) {
    rclcpp::shutdown();
    return Fail(kExitUsage, std::string("invalid ROS arguments: ") + e.what());
  } catch (const std::exception & e) {
    // On Humble the middleware's participant, and with it the security check, comes with the
    // first node.
    rclcpp::shutdown();
    return Fail(kExitUnreachable, std::string("cannot join the ROS graph: ") + e.what());
  }

  int status = EXIT_SUCCESS;
  try {
    status = twist_arbiter_ctl::RunCommand(command, node, std::cout);
  } catch (const twist_arbiter_ctl::CtlError & e) {
    status = Fail(e.status(), e.what());
  } catch (const std::exception & e) {
    // Every expected failure is a CtlError. After Ctrl-C a ROS call may fail on the shut-down
    // context, which is the interruption it looks like; anything else is a fault of the tool.
    status = rclcpp::ok() ?
      Fail(twist_arbiter_ctl::kExitInternal, std::string("internal error: ") + e.what()) :
      Fail(twist_arbiter_ctl::kExitUnreachable, std::string("interrupted: ") + e.what());
  }
  node.reset();
  rclcpp::shutdown();
  return status;
}
