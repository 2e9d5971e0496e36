// Executors: run the callbacks of nodes when their work is ready.
#ifndef RCLCPP__EXECUTOR_HPP_
#define RCLCPP__EXECUTOR_HPP_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "rclcpp/any_executable.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class Node;

/// Base executor. Waiting blocks on a condition that endpoints, timers, guard conditions
/// and context shutdown signal; nothing is polled. Work found ready in one wait is run in
/// the order timers, subscriptions, services, clients, QoS events, each item once, before the
/// next wait. Work found ready is held by weak references, as rclcpp holds it: an entity the
/// user drops before its turn comes is skipped.
class Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(Executor)

  RCLCPP_PUBLIC
  explicit Executor(const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());

  RCLCPP_PUBLIC
  virtual ~Executor();

  /// Run callbacks until the context shuts down or cancel() is called.
  virtual void spin() = 0;

  RCLCPP_PUBLIC
  virtual void add_callback_group(
    rclcpp::CallbackGroup::SharedPtr group_ptr,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
    bool notify = true);

  RCLCPP_PUBLIC
  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_all_callback_groups();

  RCLCPP_PUBLIC
  virtual void remove_callback_group(
    rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify = true);

  /// \throws std::runtime_error "Node '/ns/n' has already been added to an executor."
  RCLCPP_PUBLIC
  virtual void add_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  RCLCPP_PUBLIC
  virtual void add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  RCLCPP_PUBLIC
  virtual void remove_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  RCLCPP_PUBLIC
  virtual void remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  /// Add the node, execute at most one item (waiting up to `timeout`), remove the node.
  template<typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
    std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    spin_node_once_nanoseconds(
      node, std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  template<typename NodeT = rclcpp::Node, typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
    std::shared_ptr<NodeT> node,
    std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    spin_node_once_nanoseconds(
      node->get_node_base_interface(),
      std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  RCLCPP_PUBLIC
  void spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node);

  RCLCPP_PUBLIC
  void spin_node_some(std::shared_ptr<rclcpp::Node> node);

  /// Execute everything ready now (never blocks); max_duration 0 = no limit.
  RCLCPP_PUBLIC
  virtual void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));

  /// Like spin_some, but repeats until nothing is ready or max_duration has passed.
  RCLCPP_PUBLIC
  virtual void spin_all(std::chrono::nanoseconds max_duration);

  /// Execute at most one item, waiting up to `timeout` (negative: no limit).
  RCLCPP_PUBLIC
  virtual void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  /// Spin until `future` is ready, the timeout passes (negative: never) or the context ends.
  template<typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
  FutureReturnCode
  spin_until_future_complete(
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
  {
    std::future_status status = future.wait_for(std::chrono::seconds(0));
    if (status == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    const auto end_time = std::chrono::steady_clock::now() + timeout;
    auto timeout_left = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    if (spinning.exchange(true)) {
      throw std::runtime_error("spin_until_future_complete() called while already spinning");
    }
    SpinningGuard guard(spinning);
    while (context_->is_valid() && spinning.load()) {
      spin_once_impl(timeout_left);
      status = future.wait_for(std::chrono::seconds(0));
      if (status == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      if (timeout_left < std::chrono::nanoseconds::zero()) {
        continue;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= end_time) {
        return FutureReturnCode::TIMEOUT;
      }
      timeout_left = std::chrono::duration_cast<std::chrono::nanoseconds>(end_time - now);
    }
    return FutureReturnCode::INTERRUPTED;
  }

  /// Make spin() return soon (from any thread or callback).
  RCLCPP_PUBLIC
  void cancel();

  RCLCPP_PUBLIC
  bool is_spinning();

protected:
  struct SpinningGuard
  {
    explicit SpinningGuard(std::atomic_bool & flag)
    : flag_(flag) {}
    ~SpinningGuard() {flag_.store(false);}
    std::atomic_bool & flag_;
  };

  RCLCPP_PUBLIC
  void spin_node_once_nanoseconds(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
    std::chrono::nanoseconds timeout);

  RCLCPP_PUBLIC
  void spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive);

  RCLCPP_PUBLIC
  void spin_once_impl(std::chrono::nanoseconds timeout);

  /// Run the callback of `any_exec` and release its callback group.
  RCLCPP_PUBLIC
  void execute_any_executable(AnyExecutable & any_exec);

  /// Take the next item, waiting up to `timeout`; false on timeout, cancel or shutdown.
  RCLCPP_PUBLIC
  bool get_next_executable(
    AnyExecutable & any_executable,
    std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  /// Take the next item that was ready at the last scan, without waiting.
  RCLCPP_PUBLIC
  bool get_next_ready_executable(AnyExecutable & any_executable);

  /// Wake threads waiting for a busy callback group when it is released.
  bool notify_on_release_{false};

  std::atomic_bool spinning;
  std::shared_ptr<rclcpp::Context> context_;

private:
  RCLCPP_DISABLE_COPY(Executor)

  enum class Kind {Timer, Subscription, Service, Client, QosEvent};
  struct ReadyItem
  {
    Kind kind;
    const void * key;  ///< the entity's address, to find it among the ready items
    std::weak_ptr<void> entity;
    rclcpp::CallbackGroup::WeakPtr group;
    rclcpp::node_interfaces::NodeBaseInterface::WeakPtr node;
  };
  struct GroupEntry
  {
    rclcpp::CallbackGroup::WeakPtr group;
    rclcpp::node_interfaces::NodeBaseInterface::WeakPtr node;
  };

  /// With mutex_ held: find ready work; returns the steady time of the next timer (or max).
  std::chrono::steady_clock::time_point scan_locked();
  bool take_ready_locked(AnyExecutable & any_executable);
  void set_auto_groups_association(
    const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node, bool value);

  std::shared_ptr<shim::WaitNotifier> notifier_;
  rclcpp::OnShutdownCallbackHandle shutdown_callback_handle_;
  std::mutex mutex_;
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::WeakPtr> nodes_;
  std::vector<GroupEntry> groups_;
  std::deque<ReadyItem> ready_;
  // Scratch space of scan_locked(), kept to avoid allocations.
  shim::GroupEntities entities_;
  std::vector<ReadyItem> ready_kinds_[5];
};

}  // namespace rclcpp

#endif  // RCLCPP__EXECUTOR_HPP_
