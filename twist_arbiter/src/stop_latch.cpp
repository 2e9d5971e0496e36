// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter/stop_latch.hpp"

#include <utility>

#include <fmt/format.h>

namespace twist_arbiter
{

StopLatch::StopLatch(std::string topic, double heartbeat)
: topic_(std::move(topic)), heartbeat_(heartbeat), engaged_(heartbeat > 0.0)
{
  if (engaged_) {
    reason_ = "no `false` received since start-up";
  }
}

bool StopLatch::Receive(bool stop)
{
  if (stop) {
    reason_ = "`true` received";
    if (engaged_) {
      return false;
    }
    engaged_ = true;
    return true;
  }
  if (!engaged_) {
    return false;
  }
  engaged_ = false;
  reason_.clear();
  return true;
}

bool StopLatch::HeartbeatExpired()
{
  if (engaged_) {
    return false;
  }
  engaged_ = true;
  reason_ = fmt::format("no message for {} s", heartbeat_);
  return true;
}

std::string StopLatch::EngagedText(const std::string & ended_mode) const
{
  std::string text = fmt::format("Stop engaged on `{}`: {}.", topic_, reason_);
  if (!ended_mode.empty()) {
    text += fmt::format(" Control mode `{}` reset to none.", ended_mode);
  }
  return text;
}

std::string StopLatch::ReleasedText() const
{
  return fmt::format(
    "Stop released on `{}`: `false` received. No control mode resumed; set one to drive.",
    topic_);
}

std::string StopLatch::RefusalText() const
{
  return fmt::format(
    "Refused while the stop is engaged on `{}` ({}); publish `false` there to release it.",
    topic_, reason_);
}

}  // namespace twist_arbiter
