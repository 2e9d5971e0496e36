// Copyright 2026 The twist_arbiter authors.
//
// The drive pad's dead man: a command is only sent while the page keeps confirming it. A release
// ends it at once, and so does a page that has been silent for the grace period (a frozen
// browser, a lost connection). Values are clamped to the limits given on the command line.

#ifndef TWIST_ARBITER_CONSOLE__DEAD_MAN_HPP_
#define TWIST_ARBITER_CONSOLE__DEAD_MAN_HPP_

#include <chrono>
#include <mutex>
#include <optional>

namespace twist_arbiter_console
{

struct PadCommand
{
  double linear{0.0};   // m/s, forward
  double angular{0.0};  // rad/s, counter-clockwise
};

class DeadMan
{
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  DeadMan(double max_linear, double max_angular, std::chrono::nanoseconds grace);

  /// The page holds the pad at @p command (clamped).
  void Hold(const PadCommand & command, TimePoint now);
  /// The page let go.
  void Release();

  /// What to send now: the held command while confirmed within the grace period, else nothing.
  std::optional<PadCommand> Current(TimePoint now) const;

  /// True once after each end of a hold (release or expiry): the moment to send one zero.
  bool TakeEnded(TimePoint now);

private:
  mutable std::mutex mutex_;
  double max_linear_;
  double max_angular_;
  std::chrono::nanoseconds grace_;
  std::optional<PadCommand> held_;
  TimePoint last_update_;
};

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__DEAD_MAN_HPP_
