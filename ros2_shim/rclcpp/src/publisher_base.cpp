#include "rclcpp/publisher_base.hpp"

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/logging.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp
{

PublisherBase::PublisherBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & topic,
  const shim::MessageType & type,
  const rclcpp::QoS & qos,
  const PublisherOptionsBase & options,
  const rclcpp::Logger & logger)
: context_(node_base->get_context()), topic_name_(topic), qos_(qos)
{
  shim::EndpointOptions endpoint_options;
  endpoint_options.name = topic;
  endpoint_options.qos = qos.get_rmw_qos_profile();
  endpoint_options.node = node_base->shim_node_registration();
  // Handled on the executor, as Humble's event handler is; the default one logs as Humble's.
  shim::IncompatibleQosEvent::Handler handler = options.event_callbacks.incompatible_qos_callback;
  if (!handler && options.use_default_callbacks) {
    handler = [logger, topic](QOSOfferedIncompatibleQoSInfo & info) {
        RCLCPP_WARN(
          logger,
          "New subscription discovered on topic '%s', requesting incompatible QoS. "
          "No messages will be sent to it. Last incompatible policy: %s",
          topic.c_str(), qos_policy_name_from_kind(info.last_policy_kind).c_str());
      };
  }
  if (handler) {
    qos_event_ = std::make_shared<shim::IncompatibleQosEvent>(
      std::move(handler), node_base->shim_wake_target());
  }
  endpoint_options.on_incompatible_qos = shim::IncompatibleQosEvent::raiser(qos_event_);
  endpoint_ = shim::get_transport(*context_)->create_publisher(type, endpoint_options);
}

PublisherBase::~PublisherBase() = default;

const char * PublisherBase::get_topic_name() const {return topic_name_.c_str();}

size_t PublisherBase::get_queue_size() const {return qos_.depth();}

size_t PublisherBase::get_subscription_count() const
{
  return endpoint_->matched_subscriptions();
}

size_t PublisherBase::get_intra_process_subscription_count() const {return 0;}

rclcpp::QoS PublisherBase::get_actual_qos() const
{
  const rmw_qos_profile_t actual = endpoint_->actual_qos();
  return rclcpp::QoS(rclcpp::QoSInitialization::from_rmw(actual), actual);
}

bool PublisherBase::assert_liveliness() const {return true;}

bool PublisherBase::can_loan_messages() const {return false;}

bool PublisherBase::shim_should_publish() const
{
  // Publishing after shutdown is silently ignored, as in Humble.
  return context_->is_valid() && endpoint_->wants_messages();
}

void PublisherBase::do_publish(std::shared_ptr<const void> message)
{
  endpoint_->publish(std::move(message));
}

}  // namespace rclcpp
