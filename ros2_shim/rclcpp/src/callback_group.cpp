#include "rclcpp/callback_group.hpp"

#include "rclcpp/shim/incompatible_qos_event.hpp"

#include <algorithm>
#include <memory>
#include <vector>

namespace rclcpp
{

CallbackGroup::CallbackGroup(
  CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
: type_(group_type),
  automatically_add_to_executor_with_node_(automatically_add_to_executor_with_node)
{}

CallbackGroup::~CallbackGroup() = default;

size_t CallbackGroup::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return subscription_ptrs_.size() + timer_ptrs_.size() + service_ptrs_.size() +
         client_ptrs_.size() + qos_event_ptrs_.size();
}

std::atomic_bool & CallbackGroup::can_be_taken_from() {return can_be_taken_from_;}

const CallbackGroupType & CallbackGroup::type() const {return type_;}

void CallbackGroup::collect_all_ptrs(
  std::function<void(const std::shared_ptr<rclcpp::SubscriptionBase> &)> sub_func,
  std::function<void(const std::shared_ptr<rclcpp::ServiceBase> &)> service_func,
  std::function<void(const std::shared_ptr<rclcpp::ClientBase> &)> client_func,
  std::function<void(const std::shared_ptr<rclcpp::TimerBase> &)> timer_func,
  std::function<void(const std::shared_ptr<rclcpp::Waitable> &)> waitable_func) const
{
  (void)waitable_func;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & weak : timer_ptrs_) {
    if (auto p = weak.lock()) {
      if (timer_func) {timer_func(p);}
    }
  }
  for (const auto & weak : subscription_ptrs_) {
    if (auto p = weak.lock()) {
      if (sub_func) {sub_func(p);}
    }
  }
  for (const auto & weak : service_ptrs_) {
    if (auto p = weak.lock()) {
      if (service_func) {service_func(p);}
    }
  }
  for (const auto & weak : client_ptrs_) {
    if (auto p = weak.lock()) {
      if (client_func) {client_func(p);}
    }
  }
}

void CallbackGroup::shim_collect(shim::GroupEntities & out) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & weak : timer_ptrs_) {
    if (auto p = weak.lock()) {out.timers.push_back(std::move(p));}
  }
  for (const auto & weak : subscription_ptrs_) {
    if (auto p = weak.lock()) {out.subscriptions.push_back(std::move(p));}
  }
  for (const auto & weak : service_ptrs_) {
    if (auto p = weak.lock()) {out.services.push_back(std::move(p));}
  }
  for (const auto & weak : client_ptrs_) {
    if (auto p = weak.lock()) {out.clients.push_back(std::move(p));}
  }
  for (const auto & weak : qos_event_ptrs_) {
    if (auto p = weak.lock()) {out.qos_events.push_back(std::move(p));}
  }
}

std::atomic_bool & CallbackGroup::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

bool CallbackGroup::automatically_add_to_executor_with_node() const
{
  return automatically_add_to_executor_with_node_;
}

template<typename T>
void CallbackGroup::prune_and_add(
  std::vector<std::weak_ptr<T>> & list, const std::shared_ptr<T> & item)
{
  list.erase(
    std::remove_if(
      list.begin(), list.end(), [](const std::weak_ptr<T> & w) {return w.expired();}),
    list.end());
  list.push_back(item);
}

void CallbackGroup::add_subscription(const std::shared_ptr<rclcpp::SubscriptionBase> & sub)
{
  std::lock_guard<std::mutex> lock(mutex_);
  prune_and_add(subscription_ptrs_, sub);
}

void CallbackGroup::add_timer(const std::shared_ptr<rclcpp::TimerBase> & timer)
{
  std::lock_guard<std::mutex> lock(mutex_);
  prune_and_add(timer_ptrs_, timer);
}

void CallbackGroup::add_service(const std::shared_ptr<rclcpp::ServiceBase> & service)
{
  std::lock_guard<std::mutex> lock(mutex_);
  prune_and_add(service_ptrs_, service);
}

void CallbackGroup::add_client(const std::shared_ptr<rclcpp::ClientBase> & client)
{
  std::lock_guard<std::mutex> lock(mutex_);
  prune_and_add(client_ptrs_, client);
}

void CallbackGroup::add_qos_event(const std::shared_ptr<shim::IncompatibleQosEvent> & event)
{
  std::lock_guard<std::mutex> lock(mutex_);
  prune_and_add(qos_event_ptrs_, event);
}

}  // namespace rclcpp
