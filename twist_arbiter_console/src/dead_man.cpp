// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/dead_man.hpp"

#include <algorithm>
#include <mutex>
#include <optional>

namespace twist_arbiter_console
{

DeadMan::DeadMan(double max_linear, double max_angular, std::chrono::nanoseconds grace)
: max_linear_(max_linear), max_angular_(max_angular), grace_(grace)
{
}

void DeadMan::Hold(const PadCommand & command, TimePoint now)
{
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = PadCommand{
    std::clamp(command.linear, -max_linear_, max_linear_),
    std::clamp(command.angular, -max_angular_, max_angular_)};
  last_update_ = now;
}

void DeadMan::Release()
{
  std::lock_guard<std::mutex> lock(mutex_);
  // Expire it rather than forget it, so that TakeEnded() still reports the end once.
  if (held_) {
    last_update_ = TimePoint::min();
  }
}

std::optional<PadCommand> DeadMan::Current(TimePoint now) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (!held_ || last_update_ == TimePoint::min() || now - last_update_ > grace_) {
    return std::nullopt;
  }
  return held_;
}

bool DeadMan::TakeEnded(TimePoint now)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_ && (last_update_ == TimePoint::min() || now - last_update_ > grace_)) {
    held_.reset();
    return true;
  }
  return false;
}

}  // namespace twist_arbiter_console
