// Builds the transport's type descriptions from generated message and service types.
#ifndef RCLCPP__SHIM__TYPE_SUPPORT_HPP_
#define RCLCPP__SHIM__TYPE_SUPPORT_HPP_

#include <memory>

#include "rclcpp/shim/transport.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "rosidl_typesupport_introspection_cpp/message_type_support_decl.hpp"

namespace rclcpp
{
namespace shim
{

template<typename MessageT>
const MessageType & message_type()
{
  static const MessageType type{
    rosidl_generator_traits::name<MessageT>(),
    []() -> std::shared_ptr<void> {return std::make_shared<MessageT>();},
    rosidl_typesupport_introspection_cpp::get_message_type_support_handle<MessageT>()};
  return type;
}

template<typename ServiceT>
const ServiceType & service_type()
{
  static const ServiceType type{
    rosidl_generator_traits::name<ServiceT>(),
    message_type<typename ServiceT::Request>(),
    message_type<typename ServiceT::Response>()};
  return type;
}

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__TYPE_SUPPORT_HPP_
