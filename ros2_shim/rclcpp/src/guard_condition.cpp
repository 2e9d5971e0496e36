#include "rclcpp/guard_condition.hpp"

#include <memory>
#include <utility>

namespace rclcpp
{

GuardCondition::GuardCondition(rclcpp::Context::SharedPtr context)
: context_(std::move(context)), wake_(std::make_shared<shim::WakeTarget>())
{}

GuardCondition::~GuardCondition() = default;

rclcpp::Context::SharedPtr GuardCondition::get_context() const {return context_;}

void GuardCondition::trigger()
{
  wake_->notify();
}

bool GuardCondition::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

void GuardCondition::shim_set_wake_target(std::shared_ptr<shim::WakeTarget> wake)
{
  wake_ = std::move(wake);
}

}  // namespace rclcpp
