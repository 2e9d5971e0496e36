// Copyright 2026 The twist_arbiter authors.
//
// The commands of twist_arbiter_ctl against a running controller.

#ifndef CTL__COMMANDS_HPP_
#define CTL__COMMANDS_HPP_

#include <ostream>

#include <rclcpp/rclcpp.hpp>

#include "twist_arbiter/ctl/command.hpp"

namespace twist_arbiter_ctl
{

/// Runs @p command on @p node (which must not be in an executor), printing results to @p out.
/// Returns the exit status. @throws CtlError for an unreachable or unresponsive controller, and
/// for a usage error only the controller's configuration reveals (--age on an unstamped input).
int RunCommand(const Command & command, rclcpp::Node::SharedPtr node, std::ostream & out);

}  // namespace twist_arbiter_ctl

#endif  // CTL__COMMANDS_HPP_
