// Copyright 2026 The twist_arbiter authors.

#include "ctl/mode_follower.hpp"

#include <chrono>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "twist_arbiter/interface.hpp"

namespace twist_arbiter_ctl
{

namespace
{

/// Once the first sample of the history is in, the rest normally follows at once; this long
/// without a sample is taken as its end (a late retransmit is caught by WaitForChange).
constexpr std::chrono::milliseconds kHistorySettle{200};
constexpr std::chrono::milliseconds kSpinSlice{20};

}  // namespace

ModeFollower::ModeFollower(ControllerLink & link, const std::string & topic)
: link_(link), topic_(topic), state_(std::make_shared<State>())
{
  subscription_ = OpenEndpoint(
    topic_, [this] {
      return link_.node().create_subscription<corvan_msgs::msg::ControlMode>(
        topic_, ControlModeQoS(),
        [state = state_](const corvan_msgs::msg::ControlMode & msg) {
          state->current = msg.mode;
          ++state->received;
          state->last_arrival = Clock::now();
        });
    });
}

bool ModeFollower::HistoryComplete() const
{
  return state_->received >= twist_arbiter::interface::kControlModeHistoryDepth;
}

uint8_t ModeFollower::WaitForCurrent()
{
  const auto deadline = Clock::now() + link_.timeout();
  while (rclcpp::ok()) {
    const auto now = Clock::now();
    if (HistoryComplete() || (state_->current && now - state_->last_arrival >= kHistorySettle)) {
      return *state_->current;
    }
    if (!state_->current && now >= deadline) {
      break;
    }
    link_.executor().spin_once(kSpinSlice);
  }
  if (!rclcpp::ok()) {
    throw CtlError(kExitUnreachable, "interrupted while reading the control mode");
  }
  const std::string why = subscription_->get_publisher_count() == 0 ?
    "no publisher" : "a publisher, but no sample";
  throw CtlError(
          kExitUnreachable,
          fmt::format(
            "no control mode received on {} within {:g} s ({})", topic_,
            std::chrono::duration<double>(link_.timeout()).count(), why));
}

bool ModeFollower::WaitForChange(uint8_t mode, Clock::time_point deadline)
{
  while (rclcpp::ok() && Clock::now() < deadline) {
    if (state_->current != mode) {
      return true;
    }
    link_.executor().spin_once(kSpinSlice);
  }
  return rclcpp::ok() && state_->current != mode;
}

}  // namespace twist_arbiter_ctl
