// Copyright 2026 The twist_arbiter authors.
//
// The command line of twist_arbiter_ctl, parsed and validated without touching ROS.

#ifndef TWIST_ARBITER__CTL__COMMAND_HPP_
#define TWIST_ARBITER__CTL__COMMAND_HPP_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twist_arbiter_ctl
{

/// Exit statuses of the program; scripts tell a refusal from a missing controller by them.
enum ExitStatus : int
{
  kExitOk = 0,
  kExitRefused = 1,
  kExitUsage = 2,
  kExitUnreachable = 3,
  /// A fault inside the tool itself (not the controller's answer, not the graph): a bug.
  kExitInternal = 4,
};

enum class Verb
{
  kHelp,
  kStatus,
  kSet,
  kPrevious,
  kReset,
  kWatch,
  kSend,
};

/// Everything one run needs, already checked: mode ids are in the catalogue, numbers finite
/// and in range, the node name valid.
struct Command
{
  Verb verb{Verb::kHelp};
  /// For kHelp: the command whose help is wanted, empty for the program's.
  std::string help_for;
  /// The controller, split like rclcpp does: name without slashes, namespace "/" or "/a/b".
  std::string node_name{"twist_arbiter"};
  std::string node_namespace{"/"};
  double timeout_s{5.0};
  /// kSet and kSend: the target mode. kPrevious and kReset: the --from mode, if given.
  std::optional<uint8_t> mode;
  // kSend only.
  double linear{0.0};
  double angular{0.0};
  double rate_hz{10.0};
  std::optional<double> duration_s;
  /// How far in the past the stamps of TwistStamped commands lie (negative: in the future).
  std::optional<double> age_s;
};

/// Either a command or a one-line error (usage errors always exit with kExitUsage).
struct ParseResult
{
  std::optional<Command> command;
  std::string error;
};

/// Parses the program's arguments: ROS arguments already removed, program name excluded.
ParseResult ParseCommandLine(const std::vector<std::string> & args);

/// "/twist_arbiter", "/robot1/gate".
std::string FullyQualifiedName(const Command & command);

/// The help text of the program (@p verb empty) or of one command; unknown names give the
/// program's.
std::string HelpText(const std::string & verb);

/// A mode given as a name ("teleops") or an id ("11"); nullopt with @p error set otherwise.
std::optional<uint8_t> ParseMode(const std::string & text, std::string & error);

/// A finite decimal number; nullopt with @p error naming @p what otherwise.
std::optional<double> ParseNumber(
  const std::string & text, const std::string & what, std::string & error);

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__COMMAND_HPP_
