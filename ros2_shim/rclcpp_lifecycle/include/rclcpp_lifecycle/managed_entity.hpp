// Entities (publishers, timers) whose activity follows the node's active state.
#ifndef RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_
#define RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_

#include <atomic>

#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle
{

/// Something the node switches on when it becomes active and off when it leaves active.
class ManagedEntityInterface
{
public:
  RCLCPP_LIFECYCLE_PUBLIC
  virtual
  ~ManagedEntityInterface() {}

  RCLCPP_LIFECYCLE_PUBLIC
  virtual
  void
  on_activate() = 0;

  RCLCPP_LIFECYCLE_PUBLIC
  virtual
  void
  on_deactivate() = 0;
};

/// A managed entity that only remembers whether it is activated (initially not).
class SimpleManagedEntity : public ManagedEntityInterface
{
public:
  RCLCPP_LIFECYCLE_PUBLIC
  ~SimpleManagedEntity() override = default;

  RCLCPP_LIFECYCLE_PUBLIC
  void
  on_activate() override;

  RCLCPP_LIFECYCLE_PUBLIC
  void
  on_deactivate() override;

  RCLCPP_LIFECYCLE_PUBLIC
  bool
  is_activated() const;

private:
  std::atomic<bool> activated_{false};
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_
