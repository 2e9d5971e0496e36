#include "rclcpp/shim/incompatible_qos_event.hpp"

#include <memory>
#include <mutex>
#include <utility>

namespace rclcpp
{
namespace shim
{

IncompatibleQosEvent::IncompatibleQosEvent(Handler handler, std::shared_ptr<WakeTarget> wake)
: handler_(std::move(handler)), wake_(std::move(wake))
{}

void IncompatibleQosEvent::raise(const IncompatibleQosStatus & status)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_.total_count = status.total_count;
    status_.total_count_change += status.total_count_change;
    status_.last_policy_kind = policy_kind_from_name(status.policy_name);
    pending_ = true;
  }
  if (wake_) {
    wake_->notify();
  }
}

IncompatibleQosCallback IncompatibleQosEvent::raiser(
  const std::shared_ptr<IncompatibleQosEvent> & event)
{
  if (!event) {
    return nullptr;
  }
  std::weak_ptr<IncompatibleQosEvent> weak = event;
  return [weak](const IncompatibleQosStatus & status) {
           if (auto strong = weak.lock()) {
             strong->raise(status);
           }
         };
}

bool IncompatibleQosEvent::is_ready() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

bool IncompatibleQosEvent::take(QOSIncompatibleQoSStatus & status)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_) {
    return false;
  }
  status = status_;
  status_.total_count_change = 0;
  pending_ = false;
  return true;
}

}  // namespace shim
}  // namespace rclcpp
