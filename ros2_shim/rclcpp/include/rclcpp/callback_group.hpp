// Callback groups: which callbacks an executor may run concurrently.
#ifndef RCLCPP__CALLBACK_GROUP_HPP_
#define RCLCPP__CALLBACK_GROUP_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class SubscriptionBase;
class ServiceBase;
class ClientBase;
class TimerBase;

namespace shim
{
class IncompatibleQosEvent;

/// Strong references to a group's live entities, filled by CallbackGroup::shim_collect.
struct GroupEntities
{
  std::vector<std::shared_ptr<rclcpp::TimerBase>> timers;
  std::vector<std::shared_ptr<rclcpp::SubscriptionBase>> subscriptions;
  std::vector<std::shared_ptr<rclcpp::ServiceBase>> services;
  std::vector<std::shared_ptr<rclcpp::ClientBase>> clients;
  std::vector<std::shared_ptr<IncompatibleQosEvent>> qos_events;

  void clear()
  {
    timers.clear();
    subscriptions.clear();
    services.clear();
    clients.clear();
    qos_events.clear();
  }
};
}  // namespace shim

class ServiceBase;
class ClientBase;
class TimerBase;
class Waitable;

enum class CallbackGroupType
{
  /// At most one callback of the group runs at a time (the default group of a node).
  MutuallyExclusive,
  /// Callbacks of the group may run in parallel on a multi-threaded executor.
  Reentrant
};

/// Holds weak references to entities: a group never keeps a timer or subscription
/// alive, so dropping the last user reference stops its callbacks.
class CallbackGroup
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(CallbackGroup)

  RCLCPP_PUBLIC
  explicit CallbackGroup(
    CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true);

  RCLCPP_PUBLIC
  ~CallbackGroup();

  RCLCPP_PUBLIC
  size_t size() const;

  /// Cleared by an executor while a callback of a mutually exclusive group runs.
  RCLCPP_PUBLIC
  std::atomic_bool & can_be_taken_from();

  RCLCPP_PUBLIC
  const CallbackGroupType & type() const;

  /// Visit every live entity of the group.
  RCLCPP_PUBLIC
  void collect_all_ptrs(
    std::function<void(const std::shared_ptr<rclcpp::SubscriptionBase> &)> sub_func,
    std::function<void(const std::shared_ptr<rclcpp::ServiceBase> &)> service_func,
    std::function<void(const std::shared_ptr<rclcpp::ClientBase> &)> client_func,
    std::function<void(const std::shared_ptr<rclcpp::TimerBase> &)> timer_func,
    std::function<void(const std::shared_ptr<rclcpp::Waitable> &)> waitable_func) const;

  /// True while the group belongs to an executor.
  RCLCPP_PUBLIC
  std::atomic_bool & get_associated_with_executor_atomic();

  /// Whether adding the owning node to an executor also adds this group.
  RCLCPP_PUBLIC
  bool automatically_add_to_executor_with_node() const;

  /// Append strong references to every live entity (executor scan; no std::function cost).
  RCLCPP_PUBLIC void shim_collect(shim::GroupEntities & out) const;

  // Registration, used by the node interfaces when an entity is created.
  RCLCPP_PUBLIC void add_subscription(const std::shared_ptr<rclcpp::SubscriptionBase> & sub);
  RCLCPP_PUBLIC void add_timer(const std::shared_ptr<rclcpp::TimerBase> & timer);
  RCLCPP_PUBLIC void add_service(const std::shared_ptr<rclcpp::ServiceBase> & service);
  RCLCPP_PUBLIC void add_client(const std::shared_ptr<rclcpp::ClientBase> & client);
  /// A publisher's or subscription's incompatible-QoS reports, handled with the group's
  /// callbacks (Humble adds them to the group as waitables).
  RCLCPP_PUBLIC void add_qos_event(const std::shared_ptr<shim::IncompatibleQosEvent> & event);

private:
  RCLCPP_DISABLE_COPY(CallbackGroup)

  template<typename T>
  static void prune_and_add(std::vector<std::weak_ptr<T>> & list, const std::shared_ptr<T> & item);

  CallbackGroupType type_;
  mutable std::mutex mutex_;
  std::atomic_bool associated_with_executor_{false};
  std::vector<std::weak_ptr<rclcpp::SubscriptionBase>> subscription_ptrs_;
  std::vector<std::weak_ptr<rclcpp::TimerBase>> timer_ptrs_;
  std::vector<std::weak_ptr<rclcpp::ServiceBase>> service_ptrs_;
  std::vector<std::weak_ptr<rclcpp::ClientBase>> client_ptrs_;
  std::vector<std::weak_ptr<shim::IncompatibleQosEvent>> qos_event_ptrs_;
  std::atomic_bool can_be_taken_from_{true};
  const bool automatically_add_to_executor_with_node_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CALLBACK_GROUP_HPP_
