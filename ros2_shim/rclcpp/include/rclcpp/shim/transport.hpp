// The seam between the typed rclcpp entities and the way samples travel.
//
// Publisher<T>, Subscription<T>, Service<S> and Client<S> talk only to the
// abstract endpoints below, with type-erased messages. The DDS transport
// (src/dds/, wire-compatible with rmw_cyclonedds_cpp) implements it: it serialises
// through MessageType::introspection, and its take() fills a message made by
// MessageType::create. Samples between endpoints of one process go through
// Cyclone DDS's local delivery, so one path serves every case.
#ifndef RCLCPP__SHIM__TRANSPORT_HPP_
#define RCLCPP__SHIM__TRANSPORT_HPP_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp
{
class Context;

namespace shim
{

/// What an endpoint needs to know about the C++ message type it carries.
struct MessageType
{
  /// ROS type name, "geometry_msgs/msg/Twist"; endpoints of one topic must agree.
  const char * name;
  /// A new default-constructed message; a transport's take fills one of these.
  std::shared_ptr<void> (* create)();
  /// The rosidl_message_type_support_t of rosidl_typesupport_introspection_cpp, whose
  /// data is a MessageMembers table; serialising transports walk it.
  const void * introspection;
};

/// Identity of a service type: its request and response message types.
struct ServiceType
{
  const char * name;
  MessageType request;
  MessageType response;
};

/// The middleware's incompatible-QoS status of an endpoint when it met another report.
struct IncompatibleQosStatus
{
  int32_t total_count;         ///< peers met so far whose QoS prevents communication
  int32_t total_count_change;  ///< of which since the previous report
  std::string policy_name;     ///< the last policy at fault, "RELIABILITY_QOS_POLICY", ...
};

/// Called when an endpoint meets a peer whose QoS prevents communication. It runs on the
/// middleware's thread, which must not wait for anything an executor or a log call holds:
/// it may only record the report and wake whoever handles it.
using IncompatibleQosCallback = std::function<void (const IncompatibleQosStatus & status)>;

/// A node's entry in the graph. The transport announces the node (and the endpoints
/// created with it) for as long as this object lives; destroying it removes the node.
class RCLCPP_PUBLIC NodeRegistration
{
public:
  virtual ~NodeRegistration() = default;
};

struct EndpointOptions
{
  std::string name;                 ///< fully qualified topic or service name
  rmw_qos_profile_t qos;
  std::shared_ptr<WakeTarget> wake; ///< signalled whenever the endpoint may have become ready
  IncompatibleQosCallback on_incompatible_qos;
  /// The node the endpoint belongs to (from Transport::register_node); may be null for
  /// endpoints that no node owns.
  std::shared_ptr<NodeRegistration> node;
};

/// Names and types found in the graph: fully qualified name -> ROS type names, sorted.
using NamesAndTypes = std::map<std::string, std::vector<std::string>>;

/// One received message with its metadata.
struct Sample
{
  std::shared_ptr<const void> message;
  rmw_message_info_t info{};
};

class RCLCPP_PUBLIC PublisherEndpoint
{
public:
  virtual ~PublisherEndpoint() = default;
  /// Deliver to every matched subscription; the message is never modified afterwards.
  virtual void publish(std::shared_ptr<const void> message) = 0;
  /// False once the endpoint can never deliver again (its transport has been closed at
  /// process exit), so the caller can skip making the message. Matching is not consulted:
  /// a subscription may match between this call and the write.
  virtual bool wants_messages() const = 0;
  virtual size_t matched_subscriptions() const = 0;
  /// The QoS the endpoint actually uses (system defaults resolved).
  virtual rmw_qos_profile_t actual_qos() const = 0;
  /// The publisher's global id as peers see it (rmw_gid_t::data).
  virtual rmw_gid_t gid() const = 0;
};

class RCLCPP_PUBLIC SubscriptionEndpoint
{
public:
  virtual ~SubscriptionEndpoint() = default;
  /// Take the oldest queued sample; false if none.
  virtual bool take(Sample & sample) = 0;
  virtual bool has_sample() const = 0;
  virtual size_t matched_publishers() const = 0;
  virtual rmw_qos_profile_t actual_qos() const = 0;
  /// The subscription's global id as peers see it.
  virtual rmw_gid_t gid() const = 0;
};

class RCLCPP_PUBLIC ServiceEndpoint
{
public:
  virtual ~ServiceEndpoint() = default;
  /// Take the oldest request; the header identifies the caller for send_response().
  virtual bool take_request(rmw_request_id_t & header, std::shared_ptr<const void> & request) = 0;
  virtual bool has_request() const = 0;
  /// Route a response to the client named in `header`; dropped if it is gone.
  virtual void send_response(const rmw_request_id_t & header, std::shared_ptr<void> response) = 0;
};

class RCLCPP_PUBLIC ClientEndpoint
{
public:
  virtual ~ClientEndpoint() = default;
  /// Send a request; returns its sequence number (the id the response comes back with).
  /// A request sent while no service exists is lost, as on a real network.
  virtual int64_t send_request(std::shared_ptr<const void> request) = 0;
  virtual bool take_response(rmw_request_id_t & header, std::shared_ptr<void> & response) = 0;
  virtual bool has_response() const = 0;
  virtual bool service_available() const = 0;
};

/// Factory of endpoints plus the graph queries rclcpp's node offers.
class RCLCPP_PUBLIC Transport
{
public:
  virtual ~Transport() = default;

  virtual std::shared_ptr<PublisherEndpoint> create_publisher(
    const MessageType & type, const EndpointOptions & options) = 0;
  virtual std::shared_ptr<SubscriptionEndpoint> create_subscription(
    const MessageType & type, const EndpointOptions & options) = 0;
  virtual std::shared_ptr<ServiceEndpoint> create_service(
    const ServiceType & type, const EndpointOptions & options) = 0;
  virtual std::shared_ptr<ClientEndpoint> create_client(
    const ServiceType & type, const EndpointOptions & options) = 0;

  /// Enter a node (name without namespace, absolute namespace) into the graph.
  virtual std::shared_ptr<NodeRegistration> register_node(
    const std::string & name, const std::string & namespace_) = 0;

  /// (name, namespace) of every node in the graph, this process's included.
  virtual std::vector<std::pair<std::string, std::string>> get_node_names() const = 0;
  /// Topics (ROS names, without services) and services with their ROS types.
  virtual NamesAndTypes get_topic_names_and_types() const = 0;
  virtual NamesAndTypes get_service_names_and_types() const = 0;

  /// Number of publishers / subscriptions on a fully qualified topic, whatever their QoS.
  virtual size_t count_publishers(const std::string & topic) const = 0;
  virtual size_t count_subscribers(const std::string & topic) const = 0;
  virtual size_t count_services(const std::string & service) const = 0;

  /// Changes whenever an endpoint appears or disappears.
  virtual uint64_t graph_generation() const = 0;
  /// Block until graph_generation() != seen, interrupt_graph_waits(), or the deadline.
  virtual void wait_for_graph_change(
    uint64_t seen, std::chrono::steady_clock::time_point deadline) = 0;
  /// Wake every wait_for_graph_change (used on context shutdown).
  virtual void interrupt_graph_waits() = 0;
};

/// The transport that entities created in `context` use.
RCLCPP_PUBLIC
std::shared_ptr<Transport> get_transport(const rclcpp::Context & context);

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__TRANSPORT_HPP_
