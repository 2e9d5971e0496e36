#include "rclcpp/timer.hpp"

#include <chrono>
#include <limits>
#include <memory>
#include <utility>

namespace rclcpp
{

namespace
{
/// now + period without overflow: a period near nanoseconds::max() means "never".
int64_t saturating_add(int64_t a, int64_t b)
{
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) {
    return std::numeric_limits<int64_t>::max();
  }
  return a + b;
}
}  // namespace

TimerBase::TimerBase(
  Clock::SharedPtr clock, std::chrono::nanoseconds period, rclcpp::Context::SharedPtr context)
: clock_(std::move(clock)), context_(std::move(context)),
  steady_(clock_->get_clock_type() == RCL_STEADY_TIME),
  period_ns_(period.count()),
  next_call_ns_(0)
{
  next_call_ns_.store(saturating_add(now_ns(), period_ns_));
}

TimerBase::~TimerBase() = default;

int64_t TimerBase::now_ns() const
{
  if (steady_) {
    // CLOCK_MONOTONIC, the same source as an RCL_STEADY_TIME clock, without its overhead.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  return clock_->now().nanoseconds();
}

void TimerBase::cancel()
{
  canceled_.store(true);
  wake();
}

bool TimerBase::is_canceled() {return canceled_.load();}

void TimerBase::reset()
{
  next_call_ns_.store(saturating_add(now_ns(), period_ns_));
  canceled_.store(false);
  wake();
}

bool TimerBase::call()
{
  if (canceled_.load()) {
    return false;
  }
  const int64_t now = now_ns();
  // Always advance by exactly one period from the previous schedule (fixed rate) ...
  int64_t next = saturating_add(next_call_ns_.load(), period_ns_);
  if (next < now) {
    if (period_ns_ == 0) {
      next = now;  // a zero period is ready on every iteration
    } else {
      // ... and skip the periods that were missed entirely instead of running a burst.
      const int64_t behind = now - next;
      next += (1 + (behind - 1) / period_ns_) * period_ns_;
    }
  }
  next_call_ns_.store(next);
  return true;
}

const Clock::SharedPtr & TimerBase::get_clock() {return clock_;}

std::chrono::nanoseconds TimerBase::time_until_trigger()
{
  if (canceled_.load()) {
    return std::chrono::nanoseconds::max();
  }
  return std::chrono::nanoseconds(next_call_ns_.load() - now_ns());
}

bool TimerBase::is_ready()
{
  return !canceled_.load() && next_call_ns_.load() <= now_ns();
}

bool TimerBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

void TimerBase::shim_set_wake_target(std::shared_ptr<shim::WakeTarget> wake)
{
  std::lock_guard<std::mutex> lock(wake_mutex_);
  wake_ = std::move(wake);
}

void TimerBase::wake()
{
  std::shared_ptr<shim::WakeTarget> wake;
  {
    std::lock_guard<std::mutex> lock(wake_mutex_);
    wake = wake_;
  }
  if (wake) {
    wake->notify();
  }
}

}  // namespace rclcpp
