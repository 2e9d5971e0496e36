// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/mode_catalogue.hpp"

#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "twist_arbiter/control_mode.hpp"

namespace twist_arbiter_ctl
{

const std::vector<uint8_t> & AllModeIds()
{
  // Derived from the catalogue itself rather than restated, so a new mode shows up here too.
  static const std::vector<uint8_t> ids = [] {
      std::vector<uint8_t> found;
      for (unsigned id = 0; id <= 255; ++id) {
        try {
          ControlModeToString(static_cast<uint8_t>(id));
          found.push_back(static_cast<uint8_t>(id));
        } catch (const std::invalid_argument &) {
        }
      }
      return found;
    }();
  return ids;
}

std::optional<uint8_t> ModeIdFromText(const std::string & text)
{
  try {
    return StringToControlMode(text);
  } catch (const std::invalid_argument &) {
  }
  // Only plain decimal digits: "+11", " 11" or "0x0b" are not ids an operator means.
  if (text.empty() || text.size() > 3 ||
    text.find_first_not_of("0123456789") != std::string::npos)
  {
    return std::nullopt;
  }
  const unsigned value = static_cast<unsigned>(std::stoul(text));
  for (const uint8_t id : AllModeIds()) {
    if (id == value) {
      return id;
    }
  }
  return std::nullopt;
}

std::string ValidModesText()
{
  std::string text;
  for (const uint8_t id : AllModeIds()) {
    text += (text.empty() ? "" : ", ") + ModeLabel(id);
  }
  return text;
}

std::string ModeLabel(uint8_t id)
{
  try {
    return fmt::format("{} ({})", ControlModeToString(id), static_cast<unsigned>(id));
  } catch (const std::invalid_argument &) {
    return fmt::format("unknown ({})", static_cast<unsigned>(id));
  }
}

}  // namespace twist_arbiter_ctl
