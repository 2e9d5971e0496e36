// Copyright 2026 The twist_arbiter authors.
//
// The console's command line, parsed and checked without touching ROS.

#ifndef TWIST_ARBITER_CONSOLE__CONSOLE_OPTIONS_HPP_
#define TWIST_ARBITER_CONSOLE__CONSOLE_OPTIONS_HPP_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twist_arbiter_console
{

struct ConsoleOptions
{
  /// The controller, split like rclcpp does: name without slashes, namespace "/" or "/a/b".
  std::string node_name{"twist_arbiter"};
  std::string node_namespace{"/"};
  double timeout_s{5.0};
  std::string bind{"127.0.0.1"};
  int port{8080};  // 0: any free port (the printed URL names it)
  std::vector<std::string> allow_hosts;
  /// Driving is off unless a mode is given; its limits are then mandatory and positive.
  std::optional<uint8_t> drive_mode;
  double max_linear{0.0};
  double max_angular{0.0};
  /// Where the page's files are (default: the installed share directory).
  std::string web_root;
};

struct OptionsResult
{
  std::optional<ConsoleOptions> options;
  /// Help text (exit 0) or error (exit 2) when there are no options.
  std::string message;
  int exit_status{0};
};

/// Parses the arguments that remain after ROS arguments were removed, program name included.
OptionsResult ParseConsoleOptions(const std::vector<std::string> & args);

/// "/twist_arbiter", "/robot1/gate".
std::string FullyQualifiedName(const ConsoleOptions & options);

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__CONSOLE_OPTIONS_HPP_
