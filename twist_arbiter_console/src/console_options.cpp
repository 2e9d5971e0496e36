// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/console_options.hpp"

#include <cctype>
#include <cmath>
#include <exception>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "twist_arbiter/control_mode.hpp"

namespace twist_arbiter_console
{

namespace
{

bool IsNameToken(const std::string & token)
{
  if (token.empty() || std::isdigit(static_cast<unsigned char>(token[0]))) {
    return false;
  }
  for (const char c : token) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
      return false;
    }
  }
  return true;
}

/// "name", "/name" and "/ns/.../name"; a relative name lives in the root namespace.
bool SplitNodeName(const std::string & text, ConsoleOptions & options)
{
  const std::string absolute = (!text.empty() && text[0] == '/') ? text : "/" + text;
  const auto slash = absolute.rfind('/');
  const std::string name = absolute.substr(slash + 1);
  const std::string ns = slash == 0 ? "/" : absolute.substr(0, slash);
  bool valid = IsNameToken(name);
  std::string::size_type start = 1;
  while (valid && ns != "/" && start <= ns.size()) {
    auto end = ns.find('/', start);
    end = end == std::string::npos ? ns.size() : end;
    valid = IsNameToken(ns.substr(start, end - start));
    start = end + 1;
  }
  if (valid) {
    options.node_name = name;
    options.node_namespace = ns;
  }
  return valid;
}

}  // namespace

std::string FullyQualifiedName(const ConsoleOptions & options)
{
  return options.node_namespace == "/" ? "/" + options.node_name :
         options.node_namespace + "/" + options.node_name;
}

OptionsResult ParseConsoleOptions(const std::vector<std::string> & args)
{
  OptionsResult result;
  ConsoleOptions options;
  CLI::App app{
    "Operator console of a twist_arbiter controller in the browser: current mode, mode "
    "switches, the output over the last 30 s, the controller's log and, with --drive-mode, a "
    "hold-to-drive pad. Prints one URL with an access token; keep it private.",
    "twist_arbiter_console"};
  std::string node = "twist_arbiter";
  std::string drive_mode;
  app.add_option("--node", node, "controller node: NAME or /NAMESPACE/NAME")
  ->capture_default_str();
  app.add_option("--timeout", options.timeout_s, "seconds to wait for each controller answer")
  ->capture_default_str()->check(CLI::Range(0.001, 3600.0));
  app.add_option("--bind", options.bind, "address to listen on (loopback unless given)")
  ->capture_default_str();
  app.add_option("--port", options.port, "port to listen on (0: any free port)")
  ->capture_default_str()->check(CLI::Range(0, 65535));
  app.add_option(
    "--allow-host", options.allow_hosts,
    "host name under which the console may be reached besides IP addresses and localhost");
  app.add_option("--drive-mode", drive_mode, "mode whose input the drive pad publishes on");
  auto * max_linear = app.add_option(
    "--max-linear", options.max_linear, "pad's bound on the linear speed, m/s")
    ->check(CLI::Range(1e-6, 100.0));
  auto * max_angular = app.add_option(
    "--max-angular", options.max_angular, "pad's bound on the angular speed, rad/s")
    ->check(CLI::Range(1e-6, 100.0));
  app.add_option("--web-root", options.web_root, "directory of the page's files");

  std::vector<const char *> argv;
  for (const auto & arg : args) {
    argv.push_back(arg.c_str());
  }
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError & e) {
    result.exit_status = e.get_exit_code() == 0 ? 0 : 2;
    result.message = e.get_exit_code() == 0 ? app.help() : e.what();
    return result;
  }
  result.exit_status = 2;
  if (!SplitNodeName(node, options)) {
    result.message = "invalid node name '" + node + "' for --node: expected NAME or "
      "/NAMESPACE/NAME of letters, digits and '_', no part starting with a digit";
    return result;
  }
  if (!drive_mode.empty()) {
    try {
      options.drive_mode = StringToControlMode(drive_mode);
    } catch (const std::exception & e) {
      result.message = std::string("--drive-mode: ") + e.what();
      return result;
    }
    if (*options.drive_mode == 0) {
      result.message = "--drive-mode: mode none has no input to drive";
      return result;
    }
    if (max_linear->count() == 0 || max_angular->count() == 0) {
      result.message = "--drive-mode needs --max-linear and --max-angular";
      return result;
    }
  } else if (max_linear->count() != 0 || max_angular->count() != 0) {
    result.message = "--max-linear and --max-angular only go with --drive-mode";
    return result;
  }
  result.exit_status = 0;
  result.options = options;
  return result;
}

}  // namespace twist_arbiter_console
