// Type-independent part of a publisher.
#ifndef RCLCPP__PUBLISHER_BASE_HPP_
#define RCLCPP__PUBLISHER_BASE_HPP_

#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/shim/incompatible_qos_event.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

namespace node_interfaces
{
class NodeBaseInterface;
}  // namespace node_interfaces

class PublisherBase : public std::enable_shared_from_this<PublisherBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(PublisherBase)

  /// `topic` must already be expanded, remapped and validated.
  RCLCPP_PUBLIC
  PublisherBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const shim::MessageType & type,
    const rclcpp::QoS & qos,
    const PublisherOptionsBase & options,
    const rclcpp::Logger & logger);

  RCLCPP_PUBLIC
  virtual ~PublisherBase();

  RCLCPP_PUBLIC
  const char * get_topic_name() const;

  /// The history depth the publisher was created with.
  RCLCPP_PUBLIC
  size_t get_queue_size() const;

  /// Number of subscriptions this publisher is connected to (QoS-compatible ones only).
  RCLCPP_PUBLIC
  size_t get_subscription_count() const;

  /// Always 0: intra-process communication is never in use here (samples between nodes of one
  /// process go through the middleware, as with intra-process communication disabled).
  RCLCPP_PUBLIC
  size_t get_intra_process_subscription_count() const;

  RCLCPP_PUBLIC
  rclcpp::QoS get_actual_qos() const;

  RCLCPP_PUBLIC
  bool assert_liveliness() const;

  RCLCPP_PUBLIC
  bool can_loan_messages() const;

  /// Internal: the incompatible-QoS reports an executor handles (null when nothing would).
  RCLCPP_PUBLIC
  const std::shared_ptr<shim::IncompatibleQosEvent> & shim_incompatible_qos_event() const
  {
    return qos_event_;
  }

protected:
  /// Hand a finished message to the transport (silently dropped after shutdown).
  RCLCPP_PUBLIC
  void do_publish(std::shared_ptr<const void> message);

  /// Whether copying a message for publishing is worth it at all.
  RCLCPP_PUBLIC
  bool shim_should_publish() const;

  std::shared_ptr<rclcpp::Context> context_;
  std::string topic_name_;
  rclcpp::QoS qos_;
  std::shared_ptr<shim::IncompatibleQosEvent> qos_event_;
  std::shared_ptr<shim::PublisherEndpoint> endpoint_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_BASE_HPP_
