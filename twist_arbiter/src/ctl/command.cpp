// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/command.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "twist_arbiter/control_mode.hpp"
#include "twist_arbiter/ctl/mode_catalogue.hpp"

namespace twist_arbiter_ctl
{

namespace
{

// Upper bounds that keep every derived duration far inside std::chrono's range.
constexpr double kMaxSeconds = 1.0e6;
constexpr double kMaxRateHz = 1000.0;

const char * const kValueOptions[] = {
  "--node", "--timeout", "--from", "--linear", "--angular", "--rate", "--duration", "--age"};

/// What an option given without a value holds; no word on a command line looks like it.
const char kNoValue[] = "\x1b[no value]";

const std::map<std::string, Verb> & Verbs()
{
  static const std::map<std::string, Verb> verbs = {
    {"status", Verb::kStatus}, {"set", Verb::kSet}, {"previous", Verb::kPrevious},
    {"reset", Verb::kReset}, {"watch", Verb::kWatch}, {"send", Verb::kSend},
  };
  return verbs;
}

bool IsNameToken(const std::string & token)
{
  if (token.empty() || (token[0] >= '0' && token[0] <= '9')) {
    return false;
  }
  for (const char c : token) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
      c == '_';
    if (!ok) {
      return false;
    }
  }
  return true;
}

/// "--node" accepts "name", "/name" and "/ns/.../name"; a relative name lives in the root
/// namespace, as it would for a node started without a namespace.
bool SplitNodeName(const std::string & text, Command & command, std::string & error)
{
  const std::string absolute = (!text.empty() && text[0] == '/') ? text : "/" + text;
  const auto slash = absolute.rfind('/');
  const std::string name = absolute.substr(slash + 1);
  const std::string ns = slash == 0 ? "/" : absolute.substr(0, slash);
  bool valid = IsNameToken(name);
  if (valid && ns != "/") {
    std::string::size_type start = 1;
    while (valid && start <= ns.size()) {
      auto end = ns.find('/', start);
      if (end == std::string::npos) {
        end = ns.size();
      }
      valid = IsNameToken(ns.substr(start, end - start));
      start = end + 1;
    }
  }
  if (!valid) {
    error = fmt::format(
      "invalid node name '{}' for --node: expected NAME or /NAMESPACE/NAME of letters, digits "
      "and '_', no part starting with a digit", text);
    return false;
  }
  command.node_name = name;
  command.node_namespace = ns;
  return true;
}

std::optional<double> ParseBounded(
  const std::string & text, const std::string & what, double low, bool low_inclusive,
  double high, std::string & error)
{
  const auto value = ParseNumber(text, what, error);
  if (!value) {
    return std::nullopt;
  }
  const bool above_low = low_inclusive ? *value >= low : *value > low;
  if (!above_low || *value > high) {
    error = fmt::format(
      "{} must be {} {:g} and at most {:g}, got '{}'", what, low_inclusive ? "at least" : "above",
      low, high, text);
    return std::nullopt;
  }
  return value;
}

/// Which options each command takes, besides the common ones.
bool TakesOption(Verb verb, const std::string & option)
{
  if (option == "--from") {
    return verb == Verb::kPrevious || verb == Verb::kReset;
  }
  return verb == Verb::kSend;  // --linear, --angular, --rate, --duration, --age
}

std::string VerbName(Verb verb)
{
  for (const auto & entry : Verbs()) {
    if (entry.second == verb) {
      return entry.first;
    }
  }
  return "";
}

}  // namespace

std::optional<uint8_t> ParseMode(const std::string & text, std::string & error)
{
  const auto id = ModeIdFromText(text);
  if (!id) {
    error = fmt::format("unknown mode '{}'; valid modes: {}", text, ValidModesText());
  }
  return id;
}

std::optional<double> ParseNumber(
  const std::string & text, const std::string & what, std::string & error)
{
  // strtod alone would accept leading blanks, "nan", "inf" and trailing garbage.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) {
    error = fmt::format("{} must be a number, got '{}'", what, text);
    return std::nullopt;
  }
  errno = 0;
  char * end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value)) {
    error = fmt::format("{} must be a finite number, got '{}'", what, text);
    return std::nullopt;
  }
  return value;
}

std::string FullyQualifiedName(const Command & command)
{
  return command.node_namespace == "/" ? "/" + command.node_name :
         command.node_namespace + "/" + command.node_name;
}

ParseResult ParseCommandLine(const std::vector<std::string> & args)
{
  ParseResult result;
  std::string & error = result.error;

  // CLI11 splits the words: options in both spellings and anywhere, positionals, negative
  // numbers as values. What each word means, and every message, stays ours.
  CLI::App app{"", "twist_arbiter_ctl"};
  app.set_help_flag();
  app.allow_extras();
  bool help = false;
  app.add_flag("-h,--help", help);
  std::map<std::string, std::string> values;
  for (const char * option : kValueOptions) {
    // Zero or one value: a missing one becomes kNoValue instead of CLI11's own message.
    app.add_option(option, values[option])
    ->expected(0, 1)
    ->default_str(kNoValue)
    ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }
  std::vector<std::string> positionals;
  app.add_option("words", positionals);
  try {
    // CLI11 takes the words last first.
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::ParseError & e) {
    error = e.what();
    return result;
  }

  std::optional<Verb> verb;
  std::string word = positionals.empty() ? "" : positionals.front();
  if (!positionals.empty()) {
    positionals.erase(positionals.begin());
    if (word == "help") {
      help = true;
      verb = Verb::kHelp;
    } else if (Verbs().count(word) != 0) {
      verb = Verbs().at(word);
    } else {
      error = fmt::format(
        "unknown command '{}'; commands: status, set, previous, reset, watch, send", word);
      return result;
    }
  }
  const std::vector<std::string> unknown = app.remaining();
  if (!unknown.empty()) {
    const std::string & option = unknown.front();
    error = fmt::format("unknown option '{}'", option.substr(0, option.find('=')));
    return result;
  }

  // Options in the order they were given, each with its last value (as before CLI11).
  Command command;
  bool linear_given = false;
  std::vector<std::string> command_options;
  for (const CLI::Option * option : app.parse_order()) {
    const std::string name = option->get_name();
    if (values.count(name) == 0) {
      continue;  // the help flag or a positional
    }
    const std::string & value = values.at(name);
    if (value == kNoValue) {
      error = fmt::format("option {} needs a value", name);
      return result;
    }
    if (name != "--node" && name != "--timeout") {
      command_options.push_back(name);
    }
    std::optional<double> number;
    if (name == "--node") {
      if (!SplitNodeName(value, command, error)) {
        return result;
      }
    } else if (name == "--timeout") {
      if (!(number = ParseBounded(value, name, 0.0, false, kMaxSeconds, error))) {
        return result;
      }
      command.timeout_s = *number;
    } else if (name == "--from") {
      if (!(command.mode = ParseMode(value, error))) {
        return result;
      }
    } else if (name == "--linear" || name == "--angular") {
      if (!(number = ParseNumber(value, name, error))) {
        return result;
      }
      (name == "--linear" ? command.linear : command.angular) = *number;
      linear_given = linear_given || name == "--linear";
    } else if (name == "--rate") {
      if (!(number = ParseBounded(value, name, 0.0, false, kMaxRateHz, error))) {
        return result;
      }
      command.rate_hz = *number;
    } else if (name == "--age") {
      if (!(number = ParseBounded(value, name, -kMaxSeconds, true, kMaxSeconds, error))) {
        return result;
      }
      command.age_s = number;
    } else {
      if (!(number = ParseBounded(value, name, 0.0, false, kMaxSeconds, error))) {
        return result;
      }
      command.duration_s = number;
    }
  }

  if (help) {
    command.verb = Verb::kHelp;
    if (verb && *verb != Verb::kHelp) {
      command.help_for = VerbName(*verb);
    } else if (!positionals.empty()) {
      command.help_for = positionals.front();
    }
    result.command = command;
    return result;
  }
  if (!verb) {
    error = "missing command; commands: status, set, previous, reset, watch, send (see --help)";
    return result;
  }
  command.verb = *verb;
  for (const auto & option : command_options) {
    if (!TakesOption(*verb, option)) {
      error = fmt::format("option {} does not apply to '{}'", option, VerbName(*verb));
      return result;
    }
  }

  const bool wants_mode = *verb == Verb::kSet || *verb == Verb::kSend;
  const std::size_t expected = wants_mode ? 1 : 0;
  if (positionals.size() > expected) {
    error = fmt::format(
      "unexpected argument '{}' for '{}'", positionals[expected], VerbName(*verb));
    return result;
  }
  if (positionals.size() < expected) {
    error = fmt::format("'{}' needs a MODE; valid modes: {}", VerbName(*verb), ValidModesText());
    return result;
  }
  if (wants_mode && !(command.mode = ParseMode(positionals[0], error))) {
    return result;
  }
  if (*verb == Verb::kSend) {
    if (*command.mode == 0) {
      error = "mode 'none' has no input topic to send on";
      return result;
    }
    if (!linear_given) {
      error = "'send' needs --linear X";
      return result;
    }
  }
  result.command = command;
  return result;
}

std::string HelpText(const std::string & verb)
{
  const std::string common =
    "Common options:\n"
    "  --node NAME    the controller node (default /twist_arbiter; /NAMESPACE/NAME works)\n"
    "  --timeout S    seconds to wait for the controller and for each answer (default 5)\n"
    "  --help         this help\n"
    "ROS arguments follow --ros-args as usual.\n";
  const std::string modes = "Modes, by name or id: " + ValidModesText() + ".\n";
  if (verb == "status") {
    return "Usage: twist_arbiter_ctl status [options]\n\n"
           "Shows the current mode, its input topic, the output topic and its message type,\n"
           "the watchdog threshold, the stop input's state (engaged, released or no stop\n"
           "input) and the output rate over one second (or \"silent\").\n\n" + common;
  }
  if (verb == "set") {
    return "Usage: twist_arbiter_ctl set MODE [options]\n\n"
           "Asks the controller to switch to MODE and prints its answer. Exit status 0 when\n"
           "the switch is accepted, 1 when it is refused.\n\n" + modes + common;
  }
  if (verb == "previous" || verb == "reset") {
    const std::string what = verb == "previous" ?
      "Returns to the mode before the current one" : "Resets the controller to mode none";
    return "Usage: twist_arbiter_ctl " + verb + " [--from MODE] [options]\n\n" + what +
           " and prints the answer.\nThe controller only accepts the request when it names the "
           "current mode: that is read\nfrom the control-mode topic, or given with --from MODE. "
           "Exit status 0 when\naccepted, 1 when refused.\n\n" + modes + common;
  }
  if (verb == "watch") {
    return "Usage: twist_arbiter_ctl watch [options]\n\n"
           "Prints every mode change and the output Twist (at most 10 lines a second, at once\n"
           "when it becomes zero or stops being zero) until Ctrl-C. A zero sent by the\n"
           "watchdog because the mode's input fell silent is marked as such. A stamped output\n"
           "shows each command's stamp and frame; with a stop input, every change of the stop\n"
           "is printed too.\n\n" + common;
  }
  if (verb == "send") {
    return "Usage: twist_arbiter_ctl send MODE --linear X [--angular Z] [--rate HZ] "
           "[--duration S] [--age S] [options]\n\n"
           "Publishes test commands (linear.x = X m/s, angular.z = Z rad/s, default 0) on MODE's\n"
           "input topic, HZ times a second (default 10, at most 1000), for S seconds or until\n"
           "Ctrl-C. The controller relays them only while MODE is current. A stamped input gets\n"
           "TwistStamped commands, stamped now, or --age S seconds ago (negative: in the future)\n"
           "to try the controller's age gate.\n\n" + modes + common;
  }
  return "Usage: twist_arbiter_ctl COMMAND [ARGUMENTS] [options] [--ros-args ...]\n\n"
         "Operates and watches a running twist_arbiter controller.\n\n"
         "Commands:\n"
         "  status                 current mode, topics, threshold, stop and output rate\n"
         "  set MODE               switch to MODE\n"
         "  previous [--from MODE] return to the previous mode\n"
         "  reset [--from MODE]    reset to mode none\n"
         "  watch                  print mode and stop changes and output until Ctrl-C\n"
         "  send MODE --linear X [--angular Z] [--rate HZ] [--duration S] [--age S]\n"
         "                         publish test commands on MODE's input topic\n\n" + common +
         "\nExit status: 0 success, 1 refused by the controller, 2 usage error, 3 controller not\n"
         "reachable, 4 internal error. 'twist_arbiter_ctl COMMAND --help' describes one\n"
         "command.\n";
}

}  // namespace twist_arbiter_ctl
