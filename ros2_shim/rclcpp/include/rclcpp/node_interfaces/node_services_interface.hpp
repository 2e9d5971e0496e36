#ifndef RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_

#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/client.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

class NodeServicesInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeServicesInterface)

  RCLCPP_PUBLIC
  explicit NodeServicesInterface(NodeBaseInterface * node_base);

  RCLCPP_PUBLIC
  virtual ~NodeServicesInterface();

  RCLCPP_PUBLIC
  virtual void add_client(
    rclcpp::ClientBase::SharedPtr client_base_ptr, rclcpp::CallbackGroup::SharedPtr group);

  RCLCPP_PUBLIC
  virtual void add_service(
    rclcpp::ServiceBase::SharedPtr service_base_ptr, rclcpp::CallbackGroup::SharedPtr group);

  RCLCPP_PUBLIC
  virtual std::string resolve_service_name(
    const std::string & name, bool only_expand = false) const;

  RCLCPP_PUBLIC
  NodeBaseInterface * shim_node_base() const {return node_base_;}

private:
  NodeBaseInterface * node_base_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_
