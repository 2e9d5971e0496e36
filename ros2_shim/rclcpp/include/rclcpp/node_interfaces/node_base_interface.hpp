// Identity, context and callback groups of a node: what an executor needs from it.
#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace shim
{
class NodeRegistration;
}  // namespace shim

namespace node_interfaces
{

class NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBaseInterface)

  using CallbackGroupFunction = std::function<void (rclcpp::CallbackGroup::SharedPtr)>;

  RCLCPP_PUBLIC
  virtual ~NodeBaseInterface() = default;

  virtual const char * get_name() const = 0;
  virtual const char * get_namespace() const = 0;
  virtual const char * get_fully_qualified_name() const = 0;
  virtual rclcpp::Context::SharedPtr get_context() = 0;

  virtual rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true) = 0;
  virtual rclcpp::CallbackGroup::SharedPtr get_default_callback_group() = 0;
  virtual bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) = 0;
  /// Visit every live callback group of the node (the default group first).
  virtual void for_each_callback_group(const CallbackGroupFunction & func) = 0;

  /// True while the node belongs to an executor (a node may be in one at a time).
  virtual std::atomic_bool & get_associated_with_executor_atomic() = 0;
  /// Triggered when entities are added, so that executors pick them up.
  virtual rclcpp::GuardCondition & get_notify_guard_condition() = 0;

  virtual bool get_use_intra_process_default() const = 0;
  virtual bool get_enable_topic_statistics_default() const = 0;

  /// Expand, remap and validate a topic or service name for this node.
  virtual std::string resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand = false) const = 0;

  /// Internal: endpoints of the node signal here; executors attach their notifier.
  virtual const std::shared_ptr<shim::WakeTarget> & shim_wake_target() = 0;

  /// Internal: the node's entry in the graph; endpoints created for the node carry it so
  /// that the graph attributes them to the node. Null for a base that is not in the graph.
  virtual std::shared_ptr<shim::NodeRegistration> shim_node_registration() const
  {
    return nullptr;
  }
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
