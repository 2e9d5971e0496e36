// The DDS transport: rclcpp's endpoints as Cyclone readers and writers, named and typed as
// rmw_cyclonedds_cpp names and types them, so host programs and ROS 2 nodes interoperate.
#ifndef RCLCPP__SHIM__DDS__DDS_TRANSPORT_HPP_
#define RCLCPP__SHIM__DDS__DDS_TRANSPORT_HPP_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "graph_cache.hpp"
#include "participant.hpp"
#include "rclcpp/shim/transport.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

class DdsService;

/// Sends the replies a service could not send at once because the client's reply reader
/// had not matched yet. Sleeps until a reply is queued or a reply writer matches.
class ReplyWorker
{
public:
  ~ReplyWorker();
  /// `service` has queued replies; retry them from now on until it has none. A service is
  /// on the list once, however many replies it queues.
  void add(const std::shared_ptr<DdsService> & service);
  /// Something changed that may let a queued reply go out.
  void notify();
  void stop();

private:
  void run();

  std::mutex mutex_;
  std::condition_variable cv_;
  using ServiceSet =
    std::set<std::weak_ptr<DdsService>, std::owner_less<std::weak_ptr<DdsService>>>;
  ServiceSet services_;
  uint64_t events_{0};
  bool stopping_{false};
  std::thread thread_;
};

class DdsTransport : public Transport, public std::enable_shared_from_this<DdsTransport>
{
public:
  DdsTransport(size_t domain_id, const SecuritySettings & security);
  ~DdsTransport() override;

  std::shared_ptr<PublisherEndpoint> create_publisher(
    const MessageType & type, const EndpointOptions & options) override;
  std::shared_ptr<SubscriptionEndpoint> create_subscription(
    const MessageType & type, const EndpointOptions & options) override;
  std::shared_ptr<ServiceEndpoint> create_service(
    const ServiceType & type, const EndpointOptions & options) override;
  std::shared_ptr<ClientEndpoint> create_client(
    const ServiceType & type, const EndpointOptions & options) override;

  std::shared_ptr<NodeRegistration> register_node(
    const std::string & name, const std::string & namespace_) override;

  std::vector<std::pair<std::string, std::string>> get_node_names() const override;
  NamesAndTypes get_topic_names_and_types() const override;
  NamesAndTypes get_service_names_and_types() const override;
  size_t count_publishers(const std::string & topic) const override;
  size_t count_subscribers(const std::string & topic) const override;
  size_t count_services(const std::string & service) const override;

  uint64_t graph_generation() const override;
  void wait_for_graph_change(
    uint64_t seen, std::chrono::steady_clock::time_point deadline) override;
  void interrupt_graph_waits() override;

  /// Stop the worker and delete the participant (process exit).
  void close();

  Participant & participant() {return *participant_;}
  GraphCache & graph() {return *graph_;}
  ReplyWorker & reply_worker() {return reply_worker_;}

private:
  std::shared_ptr<Participant> participant_;
  std::unique_ptr<GraphCache> graph_;
  ReplyWorker reply_worker_;
};

/// The transport of a domain, created on first use; throws when the domain cannot be joined,
/// or when `security` differs from the settings the domain was joined with.
std::shared_ptr<DdsTransport> transport_for_domain(
  size_t domain_id, const SecuritySettings * security = nullptr);
/// The transport of a domain if one was created, else null.
std::shared_ptr<DdsTransport> find_transport(size_t domain_id);

/// DDS topic names of a ROS topic or service, honouring avoid_ros_namespace_conventions.
std::string topic_name(const std::string & name, const rmw_qos_profile_t & qos);
std::string request_topic_name(const std::string & service, const rmw_qos_profile_t & qos);
std::string reply_topic_name(const std::string & service, const rmw_qos_profile_t & qos);

/// The node key an endpoint is announced under (0: none).
uint64_t node_key(const EndpointOptions & options);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__DDS_TRANSPORT_HPP_
