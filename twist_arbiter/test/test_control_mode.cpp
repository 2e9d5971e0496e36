// Copyright 2026 The twist_arbiter authors.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "twist_arbiter/control_mode.hpp"

namespace
{

// Runs @p call and returns the text of the std::invalid_argument it throws ("" if none).
template<typename CallT>
std::string InvalidArgumentText(CallT call)
{
  try {
    call();
  } catch (const std::invalid_argument & e) {
    return e.what();
  }
  return "";
}

const std::vector<std::pair<uint8_t, std::string>> kCatalogue = {
  {0, "none"}, {10, "manual"}, {11, "teleops"}, {12, "manual_mapping"},
  {20, "autopilot"}, {21, "docking"}, {30, "user"}};

}  // namespace

TEST(ControlMode, EveryEntryRoundTrips)
{
  for (const auto & [id, name] : kCatalogue) {
    EXPECT_EQ(ControlModeToString(id), name);
    EXPECT_EQ(StringToControlMode(name), id) << name;
    EXPECT_EQ(StringToControlMode(ControlModeToString(id)), id);
  }
}

TEST(ControlMode, NameMatchingIsWholeStringAndCaseSensitive)
{
  // "manual" is compared before "manual_mapping": a prefix match would give 10.
  EXPECT_EQ(StringToControlMode("manual_mapping"), 12);

  const std::vector<std::string> rejected = {
    "Manual", "MANUAL", " manual", "manual ", "manua", "manual_", "manual_mappin", "nonee",
    "manual\n"};
  for (const auto & name : rejected) {
    EXPECT_EQ(
      InvalidArgumentText([&] {StringToControlMode(name);}),
      "Control mode string " + name + " not recognized.") << '"' << name << '"';
  }
  // An embedded NUL is not a terminator for the comparison (what() itself stops there).
  EXPECT_THROW(StringToControlMode(std::string("manual\0", 7)), std::invalid_argument);
  EXPECT_EQ(
    InvalidArgumentText([] {StringToControlMode("Manual");}),
    "Control mode string Manual not recognized.");
  // Nothing is trimmed or quoted: an empty name leaves two blanks.
  EXPECT_EQ(
    InvalidArgumentText([] {StringToControlMode("");}),
    "Control mode string  not recognized.");
}

TEST(ControlMode, UnknownIdsAreRefusedWithTheirNumber)
{
  EXPECT_EQ(
    InvalidArgumentText([] {ControlModeToString(13);}),
    "Control mode identifier 13 not recognized.");
  EXPECT_EQ(
    InvalidArgumentText([] {ControlModeToString(255);}),
    "Control mode identifier 255 not recognized.");

  // Exactly the seven catalogue ids convert.
  int known = 0;
  for (int id = 0; id <= 255; ++id) {
    const auto text = InvalidArgumentText([id] {ControlModeToString(static_cast<uint8_t>(id));});
    if (text.empty()) {
      ++known;
    } else {
      EXPECT_EQ(text, "Control mode identifier " + std::to_string(id) + " not recognized.");
    }
  }
  EXPECT_EQ(known, 7);
}
