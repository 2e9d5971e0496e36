#include "rclcpp_tarvek/node.hpp"

#include <memory>

namespace rclcpp_tarvek
{

void Node::InitializeCustomDiagnostics()
{
}

void Node::UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & /*stat*/)
{
}

void Node::InitializeDefaultDiagnostics()
{
  if (!updater_) {
    return;  // diagnostics were disabled; there is nothing to register with
  }
  // The id comes first so that no periodic status ever goes out without it.
  updater_->setHardwareID("none");
  updater_->add("State", this, &Node::UpdateDefaultDiagnostics);
}

void Node::UpdateDefaultDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat)
{
  stat.add("Operational", true);
  stat.summary(diagnostic_updater::DiagnosticStatusWrapper::OK, "Operational");
  UpdateCustomDiagnostics(stat);
}

void Node::DisableDiagnostics()
{
  // Empty the member first, then let the last reference go: the updater, its timer and its
  // publisher are destroyed without sending a final status.
  std::shared_ptr<diagnostic_updater::Updater> released = std::move(updater_);
  updater_.reset();
  released.reset();
}

}  // namespace rclcpp_tarvek
