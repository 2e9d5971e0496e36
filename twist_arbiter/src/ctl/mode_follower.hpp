// Copyright 2026 The twist_arbiter authors.
//
// The controller's current mode, as its control-mode topic tells a reader that joins late.

#ifndef CTL__MODE_FOLLOWER_HPP_
#define CTL__MODE_FOLLOWER_HPP_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <corvan_msgs/msg/control_mode.hpp>
#include <rclcpp/rclcpp.hpp>

#include "ctl/controller_link.hpp"

namespace twist_arbiter_ctl
{

/// Follows the control-mode topic for as long as it lives. A reader that joins late receives the
/// transient-local history first, oldest first, so the newest sample is the current mode once
/// the history is through. The middleware says when the publisher matched, but not how many
/// samples its history holds: only a full history (its depth) proves the end. A shorter one is
/// taken as through after a quiet spell, and a caller whose request is refused on that belief
/// asks again when a late sample corrects it (WaitForChange).
class ModeFollower
{
public:
  using Clock = std::chrono::steady_clock;

  /// Subscribes at once; samples arrive while @p link's executor spins.
  ModeFollower(ControllerLink & link, const std::string & topic);

  /// Spins until the publisher matched and its history is through (see above).
  /// @throws CtlError (unreachable) when no sample arrives within the link's timeout.
  uint8_t WaitForCurrent();

  /// Whether the history's depth arrived, so no older sample can still correct the newest.
  bool HistoryComplete() const;

  /// Spins until the current mode is no longer @p mode; false at @p deadline or shutdown.
  bool WaitForChange(uint8_t mode, Clock::time_point deadline);

  /// The newest mode received, if any.
  std::optional<uint8_t> current() const {return state_->current;}

private:
  /// Owned jointly with the subscription's callback, so that a callback that runs after this
  /// object is gone writes to live memory.
  struct State
  {
    std::optional<uint8_t> current;
    std::size_t received{0};
    Clock::time_point last_arrival;
  };

  ControllerLink & link_;
  std::string topic_;
  std::shared_ptr<State> state_;
  rclcpp::Subscription<corvan_msgs::msg::ControlMode>::SharedPtr subscription_;
};

}  // namespace twist_arbiter_ctl

#endif  // CTL__MODE_FOLLOWER_HPP_
