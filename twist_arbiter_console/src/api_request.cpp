// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/api_request.hpp"

#include <cmath>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "twist_arbiter/control_mode.hpp"

namespace twist_arbiter_console
{

namespace
{

using nlohmann::json;

/// Parses @p body as one JSON object with no keys but @p allowed; the error otherwise.
std::optional<json> ParseObject(
  const std::string & body, std::initializer_list<const char *> allowed, std::string & error)
{
  json document;
  try {
    document = json::parse(body);
  } catch (const json::exception & e) {
    // Syntax errors, and numbers beyond a double ("1e999"), which the parser reports apart.
    error = std::string("malformed JSON: ") + e.what();
    return std::nullopt;
  }
  if (!document.is_object()) {
    error = "the body must be a JSON object";
    return std::nullopt;
  }
  for (const auto & item : document.items()) {
    bool known = false;
    for (const char * key : allowed) {
      known = known || item.key() == key;
    }
    if (!known) {
      error = "unknown field '" + item.key() + "'";
      return std::nullopt;
    }
  }
  return document;
}

std::optional<uint8_t> ModeFrom(const json & value, const char * field, std::string & error)
{
  try {
    if (value.is_string()) {
      return StringToControlMode(value.get<std::string>());
    }
    if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 255) {
      const auto id = static_cast<uint8_t>(value.get<std::uint64_t>());
      ControlModeToString(id);  // throws for an id outside the catalogue
      return id;
    }
  } catch (const std::exception & e) {
    error = std::string("field '") + field + "': " + e.what();
    return std::nullopt;
  }
  error = std::string("field '") + field + "' must be a mode name or id";
  return std::nullopt;
}

}  // namespace

Parsed<uint8_t> ParseModeRequest(const std::string & body)
{
  Parsed<uint8_t> result;
  const auto document = ParseObject(body, {"mode"}, result.error);
  if (!document) {
    return result;
  }
  if (!document->contains("mode")) {
    result.error = "field 'mode' is required";
    return result;
  }
  result.value = ModeFrom(document->at("mode"), "mode", result.error);
  return result;
}

Parsed<std::optional<uint8_t>> ParseReturnRequest(const std::string & body)
{
  Parsed<std::optional<uint8_t>> result;
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) {
    result.value = std::optional<uint8_t>{};
    return result;
  }
  const auto document = ParseObject(body, {"from"}, result.error);
  if (!document) {
    return result;
  }
  if (!document->contains("from")) {
    result.value = std::optional<uint8_t>{};
    return result;
  }
  const auto mode = ModeFrom(document->at("from"), "from", result.error);
  if (mode) {
    result.value = mode;
  }
  return result;
}

Parsed<PadCommand> ParsePadRequest(const std::string & body)
{
  Parsed<PadCommand> result;
  const auto document = ParseObject(body, {"linear", "angular"}, result.error);
  if (!document) {
    return result;
  }
  PadCommand command;
  for (const auto & [field, target] :
    {std::pair<const char *, double *>{"linear", &command.linear}, {"angular", &command.angular}})
  {
    if (!document->contains(field) || !document->at(field).is_number() ||
      !std::isfinite(document->at(field).get<double>()))
    {
      result.error = std::string("field '") + field + "' must be a finite number";
      return result;
    }
    *target = document->at(field).get<double>();
  }
  result.value = command;
  return result;
}

}  // namespace twist_arbiter_console
