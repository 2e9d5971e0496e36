#include "rclcpp_tarvek/lifecycle_node.hpp"

#include <memory>
#include <string>

namespace rclcpp_tarvek
{

void LifecycleNode::InitializeCustomDiagnostics()
{
}

void LifecycleNode::UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & /*stat*/)
{
}

void LifecycleNode::InitializeDefaultDiagnostics()
{
  if (!updater_) {
    return;  // diagnostics were disabled; there is nothing to register with
  }
  updater_->setHardwareID("none");
  updater_->add("State", this, &LifecycleNode::UpdateDefaultDiagnostics);
}

void LifecycleNode::UpdateDefaultDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat)
{
  // The id is a uint8_t: handed to the wrapper as is it would be streamed as a character,
  // so it is written as an unsigned decimal number first.
  const unsigned int state_id = get_current_state().id();
  stat.add("LifecycleStateId", std::to_string(state_id));
  stat.add("LifecycleStateLabel", get_current_state().label());
  stat.summary(diagnostic_updater::DiagnosticStatusWrapper::OK, get_current_state().label());
  UpdateCustomDiagnostics(stat);
}

void LifecycleNode::DisableDiagnostics()
{
  std::shared_ptr<diagnostic_updater::Updater> released = std::move(updater_);
  updater_.reset();
  released.reset();
}

}  // namespace rclcpp_tarvek
