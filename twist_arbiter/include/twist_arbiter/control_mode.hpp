// Copyright 2026 The twist_arbiter authors.
//
// Catalogue of the controller's control modes.
//
// A mode travels as an unsigned 8-bit id (corvan_msgs/msg/ControlMode::mode) and appears in
// parameters and log texts as a lower-case name. The ids are deliberately not contiguous:
// the tens digit groups related sources (operator, autonomy, user).

#ifndef TWIST_ARBITER__CONTROL_MODE_HPP_
#define TWIST_ARBITER__CONTROL_MODE_HPP_

#include <cstdint>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

/// Returns the id of the mode called @p name.
///
/// Matching is whole-string and case-sensitive: "manual_mapping" is its own mode, not "manual"
/// with a suffix, and " manual" or "Manual" are configuration mistakes that must surface rather
/// than be silently accepted.
///
/// @throws std::invalid_argument "Control mode string <name> not recognized." for any other text.
inline uint8_t StringToControlMode(const std::string & name)
{
  if (name == "none") {
    return 0;
  }
  if (name == "manual") {
    return 10;
  }
  if (name == "teleops") {
    return 11;
  }
  if (name == "autopilot") {
    return 20;
  }
  if (name == "docking") {
    return 21;
  }
  if (name == "user") {
    return 30;
  }
  if (name == "manual_mapping") {
    return 12;
  }
  throw std::invalid_argument(fmt::format("Control mode string {} not recognized.", name));
}

/// Returns the name of the mode with id @p id.
///
/// @throws std::invalid_argument "Control mode identifier <id> not recognized." for an id outside
///         the catalogue (0, 10, 11, 12, 20, 21, 30), so that a stray id from the wire never turns
///         into a parameter name or a log text.
inline std::string ControlModeToString(uint8_t id)
{
  switch (id) {
    case 0:
      return "none";
    case 10:
      return "manual";
    case 11:
      return "teleops";
    case 12:
      return "manual_mapping";
    case 20:
      return "autopilot";
    case 21:
      return "docking";
    case 30:
      return "user";
    default:
      break;
  }
  // Widen explicitly: fmt would print a uint8_t as a number anyway, but the intent is plain.
  throw std::invalid_argument(
          fmt::format("Control mode identifier {} not recognized.", static_cast<unsigned>(id)));
}

#endif  // TWIST_ARBITER__CONTROL_MODE_HPP_
