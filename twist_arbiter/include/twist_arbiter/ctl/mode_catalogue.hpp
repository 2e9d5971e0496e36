// Copyright 2026 The twist_arbiter authors.
//
// The controller's mode catalogue as an operator types and reads it: names or ids in, labels
// out. Built on control_mode.hpp so that the tool and the controller can never disagree.

#ifndef TWIST_ARBITER__CTL__MODE_CATALOGUE_HPP_
#define TWIST_ARBITER__CTL__MODE_CATALOGUE_HPP_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twist_arbiter_ctl
{

/// Every mode id of the catalogue, ascending ("none" first).
const std::vector<uint8_t> & AllModeIds();

/// The id of a mode typed as a name ("teleops") or a decimal id ("11"); nullopt for anything
/// outside the catalogue.
std::optional<uint8_t> ModeIdFromText(const std::string & text);

/// "none (0), manual (10), ..." for error messages and help.
std::string ValidModesText();

/// "teleops (11)"; an id outside the catalogue (possible on the wire) gives "unknown (99)".
std::string ModeLabel(uint8_t id);

}  // namespace twist_arbiter_ctl

#endif  // TWIST_ARBITER__CTL__MODE_CATALOGUE_HPP_
