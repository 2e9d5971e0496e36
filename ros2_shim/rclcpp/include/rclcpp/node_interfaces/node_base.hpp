// The node base implementation used by rclcpp::Node.
#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/shim/arguments.hpp"

namespace rclcpp
{
namespace node_interfaces
{

class NodeBase : public NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBase)

  /// Validates name and namespace, applies __node/__ns remapping and checks the context.
  RCLCPP_PUBLIC
  NodeBase(
    const std::string & node_name,
    const std::string & namespace_,
    const rclcpp::NodeOptions & options);

  RCLCPP_PUBLIC
  ~NodeBase() override;

  RCLCPP_PUBLIC const char * get_name() const override;
  RCLCPP_PUBLIC const char * get_namespace() const override;
  RCLCPP_PUBLIC const char * get_fully_qualified_name() const override;
  RCLCPP_PUBLIC rclcpp::Context::SharedPtr get_context() override;
  RCLCPP_PUBLIC rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true) override;
  RCLCPP_PUBLIC rclcpp::CallbackGroup::SharedPtr get_default_callback_group() override;
  RCLCPP_PUBLIC bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) override;
  RCLCPP_PUBLIC void for_each_callback_group(const CallbackGroupFunction & func) override;
  RCLCPP_PUBLIC std::atomic_bool & get_associated_with_executor_atomic() override;
  RCLCPP_PUBLIC rclcpp::GuardCondition & get_notify_guard_condition() override;
  RCLCPP_PUBLIC bool get_use_intra_process_default() const override;
  RCLCPP_PUBLIC bool get_enable_topic_statistics_default() const override;
  RCLCPP_PUBLIC std::string resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand = false) const override;
  RCLCPP_PUBLIC const std::shared_ptr<shim::WakeTarget> & shim_wake_target() override;
  RCLCPP_PUBLIC std::shared_ptr<shim::NodeRegistration> shim_node_registration() const override;

  /// Internal: arguments that apply to this node (nullptr if none).
  RCLCPP_PUBLIC const shim::ParsedArguments * shim_local_arguments() const;
  RCLCPP_PUBLIC const shim::ParsedArguments * shim_global_arguments() const;

private:
  rclcpp::Context::SharedPtr context_;
  std::optional<shim::ParsedArguments> local_arguments_;
  std::optional<shim::ParsedArguments> global_arguments_;
  std::string name_;
  std::string namespace_;
  std::string fully_qualified_name_;
  bool use_intra_process_default_;
  bool enable_topic_statistics_default_;
  std::shared_ptr<shim::WakeTarget> wake_;
  std::unique_ptr<rclcpp::GuardCondition> notify_guard_condition_;
  rclcpp::CallbackGroup::SharedPtr default_callback_group_;
  std::mutex groups_mutex_;
  std::vector<rclcpp::CallbackGroup::WeakPtr> callback_groups_;
  std::atomic_bool associated_with_executor_{false};
  std::shared_ptr<shim::NodeRegistration> registration_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
