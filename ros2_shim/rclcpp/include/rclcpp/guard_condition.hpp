// A condition that wakes the executors it is attached to when triggered.
#ifndef RCLCPP__GUARD_CONDITION_HPP_
#define RCLCPP__GUARD_CONDITION_HPP_

#include <atomic>
#include <memory>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class GuardCondition
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(GuardCondition)

  RCLCPP_PUBLIC
  explicit GuardCondition(
    rclcpp::Context::SharedPtr context =
    rclcpp::contexts::get_global_default_context());

  RCLCPP_PUBLIC
  virtual ~GuardCondition();

  RCLCPP_PUBLIC
  rclcpp::Context::SharedPtr get_context() const;

  /// Wake whoever waits on this condition.
  RCLCPP_PUBLIC
  void trigger();

  RCLCPP_PUBLIC
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  /// Internal: where trigger() signals (a node's wake-up target).
  RCLCPP_PUBLIC
  void shim_set_wake_target(std::shared_ptr<shim::WakeTarget> wake);

private:
  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<shim::WakeTarget> wake_;
  std::atomic<bool> in_use_by_wait_set_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__GUARD_CONDITION_HPP_
