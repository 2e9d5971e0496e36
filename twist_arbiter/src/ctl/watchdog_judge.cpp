// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/ctl/watchdog_judge.hpp"

#include <algorithm>

#include "twist_arbiter/ctl/format.hpp"

namespace twist_arbiter_ctl
{

namespace
{

/// The input and the output reach us on different paths, so the silence we measure can come out
/// slightly shorter than the one the controller measured; allow a small margin.
std::chrono::nanoseconds MinSilence(std::chrono::nanoseconds threshold)
{
  const std::chrono::nanoseconds margin =
    std::min<std::chrono::nanoseconds>(threshold / 10, std::chrono::milliseconds(50));
  return threshold - margin;
}

}  // namespace

WatchdogJudge::WatchdogJudge(std::chrono::nanoseconds threshold, TimePoint start)
: min_silence_(MinSilence(threshold)), last_input_(start)
{
}

void WatchdogJudge::OnInput(TimePoint t)
{
  last_input_ = t;
}

void WatchdogJudge::OnMode(uint8_t mode, TimePoint t)
{
  mode_ = mode;
  last_input_ = t;
}

bool WatchdogJudge::OnOutput(const geometry_msgs::msg::Twist & twist, TimePoint t)
{
  const bool zero = IsZero(twist);
  // In "none" the controller's zero is the switch's own stop command, not the watchdog's.
  const bool watchdog = zero && last_output_nonzero_ && mode_ != uint8_t{0} &&
    t - last_input_ >= min_silence_;
  last_output_nonzero_ = !zero;
  return watchdog;
}

}  // namespace twist_arbiter_ctl
