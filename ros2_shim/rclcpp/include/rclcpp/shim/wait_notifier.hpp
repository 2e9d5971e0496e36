// Wake-up plumbing between transport endpoints and executors.
//
// An executor owns one WaitNotifier and blocks on it; every event that can make
// work ready (a sample, request or reply arriving, a timer reset, an entity
// added, a guard condition, context shutdown) calls notify(). Waiters read the
// generation counter before they scan for work and sleep only while it is
// unchanged, so an event between the scan and the sleep is never lost.
#ifndef RCLCPP__SHIM__WAIT_NOTIFIER_HPP_
#define RCLCPP__SHIM__WAIT_NOTIFIER_HPP_

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace shim
{

class RCLCPP_PUBLIC WaitNotifier
{
public:
  /// Count one event and wake every waiter.
  void notify()
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++generation_;
    }
    cv_.notify_all();
  }

  uint64_t generation() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
  }

  /// Block until the generation differs from `seen` or `deadline` passes.
  /// \return true if an event happened
  bool wait_until(uint64_t seen, std::chrono::steady_clock::time_point deadline)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, deadline, [&] {return generation_ != seen;});
  }

  /// Block until the generation differs from `seen`.
  void wait(uint64_t seen)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] {return generation_ != seen;});
  }

private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t generation_{0};
};

/// Fan-out point of one node: its endpoints signal here, and it forwards to the
/// notifier of every executor the node (or one of its groups) is added to.
class RCLCPP_PUBLIC WakeTarget
{
public:
  void attach(const std::shared_ptr<WaitNotifier> & notifier)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notifiers_.push_back(notifier);
  }

  void detach(const std::shared_ptr<WaitNotifier> & notifier)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(
      notifiers_.begin(), notifiers_.end(),
      [&](const std::weak_ptr<WaitNotifier> & w) {return w.lock() == notifier;});
    if (it != notifiers_.end()) {
      notifiers_.erase(it);
    }
  }

  void notify()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto & weak : notifiers_) {
      if (auto n = weak.lock()) {
        n->notify();
      }
    }
  }

private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<WaitNotifier>> notifiers_;
};

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__WAIT_NOTIFIER_HPP_
