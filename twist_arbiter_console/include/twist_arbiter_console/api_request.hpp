// Copyright 2026 The twist_arbiter authors.
//
// The JSON bodies of the command endpoints, checked before anything reaches the controller:
// well-formed JSON, an object, only known fields, each of the right type and range.

#ifndef TWIST_ARBITER_CONSOLE__API_REQUEST_HPP_
#define TWIST_ARBITER_CONSOLE__API_REQUEST_HPP_

#include <cstdint>
#include <optional>
#include <string>

#include "twist_arbiter_console/dead_man.hpp"

namespace twist_arbiter_console
{

/// Either a value or the message of a 400 answer.
template<typename T>
struct Parsed
{
  std::optional<T> value;
  std::string error;
};

/// {"mode": "teleops"} or {"mode": 11}: a mode of the catalogue.
Parsed<uint8_t> ParseModeRequest(const std::string & body);

/// {} or an empty body, or {"from": MODE}: the mode the operator believes current, if given.
Parsed<std::optional<uint8_t>> ParseReturnRequest(const std::string & body);

/// {"linear": X, "angular": Z}: finite numbers (clamping is the dead man's).
Parsed<PadCommand> ParsePadRequest(const std::string & body);

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__API_REQUEST_HPP_
