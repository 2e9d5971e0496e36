#include "rclcpp/executor.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/node.hpp"

namespace rclcpp
{

using rclcpp::node_interfaces::NodeBaseInterface;

AnyExecutable::AnyExecutable() = default;
AnyExecutable::~AnyExecutable() = default;

std::ostream & operator<<(std::ostream & os, const FutureReturnCode & future_return_code)
{
  return os << to_string(future_return_code);
}

std::string to_string(const FutureReturnCode & future_return_code)
{
  switch (future_return_code) {
    case FutureReturnCode::SUCCESS: return "SUCCESS (0)";
    case FutureReturnCode::INTERRUPTED: return "INTERRUPTED (1)";
    case FutureReturnCode::TIMEOUT: return "TIMEOUT (2)";
  }
  return "UNKNOWN (" + std::to_string(static_cast<int>(future_return_code)) + ")";
}

Executor::Executor(const rclcpp::ExecutorOptions & options)
: spinning(false), context_(options.context),
  notifier_(std::make_shared<shim::WaitNotifier>())
{
  std::weak_ptr<shim::WaitNotifier> weak_notifier = notifier_;
  shutdown_callback_handle_ = context_->add_on_shutdown_callback(
    [weak_notifier]() {
      if (auto notifier = weak_notifier.lock()) {
        notifier->notify();
      }
    });
}

Executor::~Executor()
{
  std::vector<NodeBaseInterface::WeakPtr> nodes;
  std::vector<GroupEntry> groups;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes.swap(nodes_);
    groups.swap(groups_);
    ready_.clear();
  }
  for (const auto & weak : nodes) {
    if (auto node = weak.lock()) {
      set_auto_groups_association(node, false);
      node->get_associated_with_executor_atomic().store(false);
      node->shim_wake_target()->detach(notifier_);
    }
  }
  for (const auto & entry : groups) {
    if (auto group = entry.group.lock()) {
      group->get_associated_with_executor_atomic().store(false);
    }
    if (auto node = entry.node.lock()) {
      node->shim_wake_target()->detach(notifier_);
    }
  }
  context_->remove_on_shutdown_callback(shutdown_callback_handle_);
}

void Executor::set_auto_groups_association(const NodeBaseInterface::SharedPtr & node, bool value)
{
  node->for_each_callback_group(
    [value](rclcpp::CallbackGroup::SharedPtr group) {
      if (group->automatically_add_to_executor_with_node()) {
        group->get_associated_with_executor_atomic().store(value);
      }
    });
}

void Executor::add_callback_group(
  rclcpp::CallbackGroup::SharedPtr group_ptr, NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (group_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error("Callback group has already been added to an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    groups_.push_back(GroupEntry{group_ptr, node_ptr});
  }
  node_ptr->shim_wake_target()->attach(notifier_);
  if (notify) {
    notifier_->notify();
  }
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_all_callback_groups()
{
  std::vector<rclcpp::CallbackGroup::WeakPtr> result;
  std::vector<NodeBaseInterface::SharedPtr> nodes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto & entry : groups_) {
      result.push_back(entry.group);
    }
    for (const auto & weak : nodes_) {
      if (auto node = weak.lock()) {
        nodes.push_back(std::move(node));
      }
    }
  }
  for (const auto & node : nodes) {
    node->for_each_callback_group(
      [&result](rclcpp::CallbackGroup::SharedPtr group) {
        if (group->automatically_add_to_executor_with_node()) {
          result.push_back(group);
        }
      });
  }
  return result;
}

void Executor::remove_callback_group(rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify)
{
  NodeBaseInterface::SharedPtr node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(
      groups_.begin(), groups_.end(),
      [&](const GroupEntry & e) {return e.group.lock() == group_ptr;});
    if (it == groups_.end()) {
      throw std::runtime_error("Callback group needs to be associated with executor.");
    }
    node = it->node.lock();
    groups_.erase(it);
    ready_.clear();
  }
  group_ptr->get_associated_with_executor_atomic().store(false);
  if (node) {
    node->shim_wake_target()->detach(notifier_);
  }
  if (notify) {
    notifier_->notify();
  }
}

void Executor::add_node(NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (node_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error(
            std::string("Node '") + node_ptr->get_fully_qualified_name() +
            "' has already been added to an executor.");
  }
  set_auto_groups_association(node_ptr, true);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(node_ptr);
  }
  node_ptr->shim_wake_target()->attach(notifier_);
  if (notify) {
    notifier_->notify();
  }
}

void Executor::add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  add_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::remove_node(NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (!node_ptr->get_associated_with_executor_atomic().load()) {
    throw std::runtime_error("Node needs to be associated with an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(
      nodes_.begin(), nodes_.end(),
      [&](const NodeBaseInterface::WeakPtr & w) {return w.lock() == node_ptr;});
    if (it == nodes_.end()) {
      throw std::runtime_error("Node needs to be associated with this executor.");
    }
    nodes_.erase(it);
    ready_.clear();
  }
  set_auto_groups_association(node_ptr, false);
  node_ptr->get_associated_with_executor_atomic().store(false);
  node_ptr->shim_wake_target()->detach(notifier_);
  if (notify) {
    notifier_->notify();
  }
}

void Executor::remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  remove_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::spin_node_once_nanoseconds(
  NodeBaseInterface::SharedPtr node, std::chrono::nanoseconds timeout)
{
  add_node(node, false);
  try {
    spin_once(timeout);
  } catch (...) {
    remove_node(node, false);
    throw;
  }
  remove_node(node, false);
}

void Executor::spin_node_some(NodeBaseInterface::SharedPtr node)
{
  add_node(node, false);
  try {
    spin_some();
  } catch (...) {
    remove_node(node, false);
    throw;
  }
  remove_node(node, false);
}

void Executor::spin_node_some(std::shared_ptr<rclcpp::Node> node)
{
  spin_node_some(node->get_node_base_interface());
}

void Executor::spin_some(std::chrono::nanoseconds max_duration)
{
  spin_some_impl(max_duration, false);
}

void Executor::spin_all(std::chrono::nanoseconds max_duration)
{
  if (max_duration < std::chrono::nanoseconds(0)) {
    throw std::invalid_argument("max_duration must be greater than or equal to 0");
  }
  spin_some_impl(max_duration, true);
}

void Executor::spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive)
{
  const auto start = std::chrono::steady_clock::now();
  auto time_left = [&]() {
      return max_duration == std::chrono::nanoseconds(0) ||
             std::chrono::steady_clock::now() - start < max_duration;
    };
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_some() called while already spinning");
  }
  SpinningGuard guard(spinning);
  bool work_available = false;
  while (context_->is_valid() && spinning.load() && time_left()) {
    AnyExecutable any_exec;
    bool got = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!work_available) {
        // One fresh zero-timeout wait: what is ready now, nothing that arrives later.
        ready_.clear();
        scan_locked();
      }
      got = take_ready_locked(any_exec);
    }
    if (got) {
      execute_any_executable(any_exec);
      work_available = true;
    } else {
      if (!work_available || !exhaustive) {
        break;
      }
      work_available = false;
    }
  }
}

void Executor::spin_once(std::chrono::nanoseconds timeout)
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_once() called while already spinning");
  }
  SpinningGuard guard(spinning);
  spin_once_impl(timeout);
}

void Executor::spin_once_impl(std::chrono::nanoseconds timeout)
{
  AnyExecutable any_exec;
  if (get_next_executable(any_exec, timeout)) {
    execute_any_executable(any_exec);
  }
}

void Executor::cancel()
{
  spinning.store(false);
  notifier_->notify();
}

bool Executor::is_spinning() {return spinning.load();}

namespace
{
/// Releases a mutually exclusive group when the callback ends, even by an exception.
struct GroupRelease
{
  rclcpp::CallbackGroup * group;
  shim::WaitNotifier * notifier;
  ~GroupRelease()
  {
    if (group) {
      group->can_be_taken_from().store(true);
      if (notifier) {
        notifier->notify();
      }
    }
  }
};
}  // namespace

void Executor::execute_any_executable(AnyExecutable & any_exec)
{
  if (!spinning.load()) {
    if (any_exec.callback_group &&
      any_exec.callback_group->type() == CallbackGroupType::MutuallyExclusive)
    {
      any_exec.callback_group->can_be_taken_from().store(true);
    }
    return;
  }
  GroupRelease release{
    (any_exec.callback_group &&
    any_exec.callback_group->type() == CallbackGroupType::MutuallyExclusive) ?
    any_exec.callback_group.get() : nullptr,
    notify_on_release_ ? notifier_.get() : nullptr};
  if (any_exec.timer) {
    any_exec.timer->execute_callback();
  } else if (any_exec.subscription) {
    any_exec.subscription->shim_handle(any_exec.shim_sample);
  } else if (any_exec.service) {
    any_exec.service->shim_handle(any_exec.shim_header, any_exec.shim_request);
  } else if (any_exec.client) {
    any_exec.client->shim_handle(any_exec.shim_header, any_exec.shim_response);
  } else if (any_exec.shim_qos_event) {
    any_exec.shim_qos_event->execute(any_exec.shim_qos_status);
  }
}

std::chrono::steady_clock::time_point Executor::scan_locked()
{
  auto next_timer = std::chrono::steady_clock::time_point::max();
  const auto steady_now = std::chrono::steady_clock::now();
  for (auto & v : ready_kinds_) {
    v.clear();
  }

  auto scan_group = [&](const rclcpp::CallbackGroup::SharedPtr & group,
      const NodeBaseInterface::SharedPtr & node) {
      entities_.clear();
      group->shim_collect(entities_);
      auto already = [&](const void * p) {
          for (const auto & item : ready_) {
            if (item.key == p) {return true;}
          }
          return false;
        };
      auto add = [&](Kind kind, const std::shared_ptr<void> & entity) {
          ready_kinds_[static_cast<size_t>(kind)].push_back(
            ReadyItem{kind, entity.get(), entity, group, node});
        };
      for (auto & t : entities_.timers) {
        const auto until = t->time_until_trigger();
        if (until <= std::chrono::nanoseconds(0)) {
          if (!already(t.get())) {
            add(Kind::Timer, t);
          }
        } else if (until < std::chrono::nanoseconds::max() - steady_now.time_since_epoch()) {
          next_timer = std::min(next_timer, steady_now + until);
        }
      }
      for (auto & s : entities_.subscriptions) {
        if (s->shim_has_sample() && !already(s.get())) {
          add(Kind::Subscription, s);
        }
      }
      for (auto & s : entities_.services) {
        if (s->shim_has_request() && !already(s.get())) {
          add(Kind::Service, s);
        }
      }
      for (auto & c : entities_.clients) {
        if (c->shim_has_response() && !already(c.get())) {
          add(Kind::Client, c);
        }
      }
      for (auto & e : entities_.qos_events) {
        if (e->is_ready() && !already(e.get())) {
          add(Kind::QosEvent, e);
        }
      }
    };

  for (auto it = nodes_.begin(); it != nodes_.end(); ) {
    auto node = it->lock();
    if (!node) {
      it = nodes_.erase(it);
      continue;
    }
    node->for_each_callback_group(
      [&](rclcpp::CallbackGroup::SharedPtr group) {
        if (group->automatically_add_to_executor_with_node()) {
          scan_group(group, node);
        }
      });
    ++it;
  }
  for (auto it = groups_.begin(); it != groups_.end(); ) {
    auto group = it->group.lock();
    if (!group) {
      it = groups_.erase(it);
      continue;
    }
    scan_group(group, it->node.lock());
    ++it;
  }
  entities_.clear();
  for (auto & v : ready_kinds_) {
    for (auto & item : v) {
      ready_.push_back(std::move(item));
    }
    v.clear();
  }
  return next_timer;
}

bool Executor::take_ready_locked(AnyExecutable & any)
{
  for (auto it = ready_.begin(); it != ready_.end(); ) {
    ReadyItem & item = *it;
    // Whatever was dropped since the scan is gone: its callback must not run any more.
    std::shared_ptr<void> entity = item.entity.lock();
    rclcpp::CallbackGroup::SharedPtr group = item.group.lock();
    if (!entity || !group) {
      it = ready_.erase(it);
      continue;
    }
    if (group->type() == CallbackGroupType::MutuallyExclusive &&
      !group->can_be_taken_from().load())
    {
      ++it;  // busy on another thread; keep it for later
      continue;
    }
    bool taken = false;
    switch (item.kind) {
      case Kind::Timer: {
          auto timer = std::static_pointer_cast<rclcpp::TimerBase>(entity);
          if (timer->call()) {
            any.timer = std::move(timer);
            taken = true;
          }
          break;
        }
      case Kind::Subscription: {
          auto sub = std::static_pointer_cast<rclcpp::SubscriptionBase>(entity);
          if (sub->shim_take(any.shim_sample)) {
            any.subscription = std::move(sub);
            taken = true;
          }
          break;
        }
      case Kind::Service: {
          auto service = std::static_pointer_cast<rclcpp::ServiceBase>(entity);
          if (service->shim_take(any.shim_header, any.shim_request)) {
            any.service = std::move(service);
            taken = true;
          }
          break;
        }
      case Kind::Client: {
          auto client = std::static_pointer_cast<rclcpp::ClientBase>(entity);
          if (client->shim_take(any.shim_header, any.shim_response)) {
            any.client = std::move(client);
            taken = true;
          }
          break;
        }
      case Kind::QosEvent: {
          auto event = std::static_pointer_cast<shim::IncompatibleQosEvent>(entity);
          if (event->take(any.shim_qos_status)) {
            any.shim_qos_event = std::move(event);
            taken = true;
          }
          break;
        }
    }
    if (!taken) {
      it = ready_.erase(it);  // no longer ready (cancelled, or taken elsewhere)
      continue;
    }
    any.node_base = item.node.lock();
    if (group->type() == CallbackGroupType::MutuallyExclusive) {
      group->can_be_taken_from().store(false);
    }
    any.callback_group = std::move(group);
    ready_.erase(it);
    return true;
  }
  return false;
}

bool Executor::get_next_ready_executable(AnyExecutable & any_executable)
{
  std::lock_guard<std::mutex> lock(mutex_);
  return take_ready_locked(any_executable);
}

bool Executor::get_next_executable(AnyExecutable & any_executable, std::chrono::nanoseconds timeout)
{
  const bool forever = timeout < std::chrono::nanoseconds(0);
  const auto deadline = forever ?
    std::chrono::steady_clock::time_point::max() :
    std::chrono::steady_clock::now() + timeout;
  while (true) {
    const uint64_t seen = notifier_->generation();
    std::chrono::steady_clock::time_point next_timer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (take_ready_locked(any_executable)) {
        return true;
      }
      next_timer = scan_locked();
      if (take_ready_locked(any_executable)) {
        return true;
      }
    }
    if (!context_->is_valid() || !spinning.load()) {
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    const auto wake_at = std::min(deadline, next_timer);
    if (wake_at == std::chrono::steady_clock::time_point::max()) {
      notifier_->wait(seen);
    } else {
      notifier_->wait_until(seen, wake_at);
    }
  }
}

}  // namespace rclcpp
