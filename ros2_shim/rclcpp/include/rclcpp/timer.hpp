// Timers: a callback at a fixed rate on a clock (wall timers: the steady clock).
#ifndef RCLCPP__TIMER_HPP_
#define RCLCPP__TIMER_HPP_

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// Schedule and state of a timer; the callback lives in GenericTimer.
/**
 * The schedule is fixed-rate: the first call is one period after creation (or after
 * reset()), each call advances the next call by one period, and missed periods are
 * skipped rather than run in a burst.
 */
class TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(TimerBase)

  RCLCPP_PUBLIC
  explicit TimerBase(
    Clock::SharedPtr clock,
    std::chrono::nanoseconds period,
    rclcpp::Context::SharedPtr context);

  RCLCPP_PUBLIC
  virtual ~TimerBase();

  /// No further calls until reset(); a call already due but not started is dropped.
  RCLCPP_PUBLIC
  void cancel();

  RCLCPP_PUBLIC
  bool is_canceled();

  /// Un-cancel and restart the period from now.
  RCLCPP_PUBLIC
  void reset();

  /// Advance the schedule for one call; false if the timer was cancelled meanwhile.
  RCLCPP_PUBLIC
  virtual bool call();

  RCLCPP_PUBLIC
  virtual void execute_callback() = 0;

  RCLCPP_PUBLIC
  const Clock::SharedPtr & get_clock();

  /// Time until the next call (negative when overdue); nanoseconds::max() if cancelled.
  RCLCPP_PUBLIC
  std::chrono::nanoseconds time_until_trigger();

  virtual bool is_steady() = 0;

  RCLCPP_PUBLIC
  bool is_ready();

  /// Humble's flag for wait-set bookkeeping; kept for API compatibility.
  RCLCPP_PUBLIC
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  /// Internal: the node's wake-up target, signalled by reset() and cancel().
  RCLCPP_PUBLIC
  void shim_set_wake_target(std::shared_ptr<shim::WakeTarget> wake);

  /// Internal: the period in nanoseconds.
  RCLCPP_PUBLIC
  int64_t shim_period_ns() const {return period_ns_;}

protected:
  RCLCPP_PUBLIC
  int64_t now_ns() const;

  Clock::SharedPtr clock_;
  rclcpp::Context::SharedPtr context_;

private:
  void wake();

  const bool steady_;
  const int64_t period_ns_;
  std::atomic<int64_t> next_call_ns_;
  std::atomic<bool> canceled_{false};
  std::atomic<bool> in_use_by_wait_set_{false};
  std::mutex wake_mutex_;
  std::shared_ptr<shim::WakeTarget> wake_;
};

using VoidCallbackType = std::function<void ()>;
using TimerCallbackType = std::function<void (TimerBase &)>;

/// A timer whose callback is `void()` or `void(rclcpp::TimerBase &)`.
template<
  typename FunctorT,
  typename std::enable_if<
    std::is_invocable<FunctorT &>::value ||
    std::is_invocable<FunctorT &, TimerBase &>::value>::type * = nullptr>
class GenericTimer : public TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericTimer)

  explicit GenericTimer(
    Clock::SharedPtr clock, std::chrono::nanoseconds period, FunctorT && callback,
    rclcpp::Context::SharedPtr context)
  : TimerBase(std::move(clock), period, std::move(context)),
    callback_(std::forward<FunctorT>(callback))
  {}

  ~GenericTimer() override
  {
    cancel();
  }

  void execute_callback() override
  {
    if constexpr (std::is_invocable<FunctorT &>::value) {
      callback_();
    } else {
      callback_(*this);
    }
  }

  bool is_steady() override
  {
    return clock_->get_clock_type() == RCL_STEADY_TIME;
  }

protected:
  RCLCPP_DISABLE_COPY(GenericTimer)

  FunctorT callback_;
};

/// A timer on the steady clock, as made by Node::create_wall_timer.
template<
  typename FunctorT,
  typename std::enable_if<
    std::is_invocable<FunctorT &>::value ||
    std::is_invocable<FunctorT &, TimerBase &>::value>::type * = nullptr>
class WallTimer : public GenericTimer<FunctorT>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallTimer)

  WallTimer(
    std::chrono::nanoseconds period, FunctorT && callback, rclcpp::Context::SharedPtr context)
  : GenericTimer<FunctorT>(
      shim_steady_clock(), period, std::move(callback), std::move(context))
  {}

  bool is_steady() override {return true;}

  /// One shared steady clock for all wall timers (cheap creation).
  static Clock::SharedPtr shim_steady_clock()
  {
    static Clock::SharedPtr clock = std::make_shared<Clock>(RCL_STEADY_TIME);
    return clock;
  }

protected:
  RCLCPP_DISABLE_COPY(WallTimer)
};

}  // namespace rclcpp

#endif  // RCLCPP__TIMER_HPP_
