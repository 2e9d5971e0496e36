#include "dds_transport.hpp"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cdr.hpp"
#include "entity.hpp"
#include "qos_mapping.hpp"
#include "rclcpp/context.hpp"
#include "sertype.hpp"
#include "write_failures.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

class DdsNode : public NodeRegistration
{
public:
  DdsNode(std::shared_ptr<DdsTransport> transport, uint64_t key)
  : transport_(std::move(transport)), key_(key) {}
  ~DdsNode() override {transport_->graph().remove_node(key_);}
  uint64_t key() const {return key_;}

private:
  std::shared_ptr<DdsTransport> transport_;
  uint64_t key_;
};

// ---------------------------------------------------------------------------------------

class DdsPublisher : public PublisherEndpoint
{
public:
  DdsPublisher(
    std::shared_ptr<DdsTransport> transport, const MessageType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), qos_(resolved_qos(options.qos)),
    on_incompatible_(options.on_incompatible_qos), node_(node_key(options)),
    write_failures_("publisher on '" + options.name + "'")
  {
    Participant & participant = transport_->participant();
    const dds_entity_t pp = participant.handle();
    const std::string name = topic_name(options.name, options.qos);
    topic_ = Entity(
      participant, create_topic(pp, name, members_of(type.introspection), false), "topic", name);
    QosPtr qos = to_dds_qos(options.qos, EndpointKind::Writer);
    ListenerPtr listener(dds_create_listener(this));
    dds_lset_offered_incompatible_qos(listener.get(), &DdsPublisher::on_offered_incompatible_qos);
    writer_ = Entity(
      participant, create_writer(pp, topic_.get(), qos.get(), listener.get()), "publisher", name);
    gid_ = entity_gid(writer_.get());
    transport_->graph().add_endpoint(node_, gid_, false);
  }

  ~DdsPublisher() override
  {
    transport_->graph().remove_endpoint(node_, gid_, false);
  }

  void publish(std::shared_ptr<const void> message) override
  {
    Participant::Use use(transport_->participant());
    if (use) {
      write_failures_.check(dds_write(writer_.get(), message.get()));
    }
  }

  bool wants_messages() const override
  {
    Participant::Use use(transport_->participant());
    return static_cast<bool>(use);
  }

  size_t matched_subscriptions() const override
  {
    Participant::Use use(transport_->participant());
    dds_publication_matched_status_t status{};
    if (!use || dds_get_publication_matched_status(writer_.get(), &status) < 0) {
      return 0;
    }
    return status.current_count;
  }

  rmw_qos_profile_t actual_qos() const override {return qos_;}
  rmw_gid_t gid() const override {return gid_;}

private:
  static void on_offered_incompatible_qos(
    dds_entity_t, const dds_offered_incompatible_qos_status_t status, void * arg)
  {
    auto * self = static_cast<DdsPublisher *>(arg);
    if (self->on_incompatible_) {
      self->on_incompatible_(
        IncompatibleQosStatus{
            static_cast<int32_t>(status.total_count), status.total_count_change,
            policy_name(status.last_policy_id)});
    }
  }

  std::shared_ptr<DdsTransport> transport_;
  rmw_qos_profile_t qos_;
  IncompatibleQosCallback on_incompatible_;
  uint64_t node_;
  rmw_gid_t gid_{};
  WriteFailures write_failures_;
  // Last, so that they are deleted (and their listener finished) before anything else goes.
  Entity topic_;
  Entity writer_;
};

// ---------------------------------------------------------------------------------------

class DdsSubscription : public SubscriptionEndpoint
{
public:
  DdsSubscription(
    std::shared_ptr<DdsTransport> transport, const MessageType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), qos_(resolved_qos(options.qos)),
    wake_(options.wake), on_incompatible_(options.on_incompatible_qos),
    node_(node_key(options))
  {
    Participant & participant = transport_->participant();
    const dds_entity_t pp = participant.handle();
    const std::string name = topic_name(options.name, options.qos);
    topic_ = Entity(
      participant, create_topic(pp, name, members_of(type.introspection), false), "topic", name);
    QosPtr qos = to_dds_qos(options.qos, EndpointKind::Reader);
    ListenerPtr listener(dds_create_listener(this));
    dds_lset_data_available(listener.get(), &DdsSubscription::on_data_available);
    dds_lset_requested_incompatible_qos(
      listener.get(), &DdsSubscription::on_requested_incompatible_qos);
    reader_ = Entity(
      participant, create_reader(pp, topic_.get(), qos.get(), listener.get()), "subscription",
      name);
    // A child of the reader, deleted with it.
    ready_ = dds_create_readcondition(reader_.get(), DDS_ANY_STATE);
    check_created(ready_, "read condition", name);
    gid_ = entity_gid(reader_.get());
    transport_->graph().add_endpoint(node_, gid_, true);
  }

  ~DdsSubscription() override
  {
    transport_->graph().remove_endpoint(node_, gid_, true);
  }

  bool take(Sample & sample) override
  {
    Participant::Use use(transport_->participant());
    if (!use) {
      return false;
    }
    while (true) {
      std::shared_ptr<void> message = type_.create();
      void * buffer = message.get();
      dds_sample_info_t si;
      if (dds_take(reader_.get(), &buffer, &si, 1, 1) <= 0) {
        return false;
      }
      if (!si.valid_data) {
        continue;  // an instance state change (a writer left), not a message
      }
      sample.message = std::move(message);
      sample.info = rmw_message_info_t{};
      sample.info.source_timestamp = si.source_timestamp;
      sample.info.received_timestamp = system_now_ns();
      sample.info.publisher_gid = publisher_gid(si.publication_handle);
      sample.info.from_intra_process = false;
      return true;
    }
  }

  bool has_sample() const override
  {
    Participant::Use use(transport_->participant());
    return use && dds_triggered(ready_) > 0;
  }

  size_t matched_publishers() const override
  {
    Participant::Use use(transport_->participant());
    dds_subscription_matched_status_t status{};
    if (!use || dds_get_subscription_matched_status(reader_.get(), &status) < 0) {
      return 0;
    }
    return status.current_count;
  }

  rmw_qos_profile_t actual_qos() const override {return qos_;}
  rmw_gid_t gid() const override {return gid_;}

private:
  static void on_data_available(dds_entity_t, void * arg)
  {
    auto * self = static_cast<DdsSubscription *>(arg);
    if (self->wake_) {
      self->wake_->notify();
    }
  }

  static void on_requested_incompatible_qos(
    dds_entity_t, const dds_requested_incompatible_qos_status_t status, void * arg)
  {
    auto * self = static_cast<DdsSubscription *>(arg);
    if (self->on_incompatible_) {
      self->on_incompatible_(
        IncompatibleQosStatus{
            static_cast<int32_t>(status.total_count), status.total_count_change,
            policy_name(status.last_policy_id)});
    }
  }

  /// The GID of the writer behind a publication handle, looked up once per writer.
  rmw_gid_t publisher_gid(dds_instance_handle_t handle)
  {
    std::lock_guard<std::mutex> lock(gids_mutex_);
    auto it = gids_.find(handle);
    if (it != gids_.end()) {
      return it->second;
    }
    rmw_gid_t gid{};
    gid.implementation_identifier = kImplementationIdentifier;
    dds_builtintopic_endpoint_t * endpoint =
      dds_get_matched_publication_data(reader_.get(), handle);
    if (endpoint) {
      gid = guid_to_gid(endpoint->key);
      dds_builtintopic_free_endpoint(endpoint);
      if (gids_.size() >= 4096) {
        gids_.clear();  // writers come and go; keep the cache bounded
      }
      gids_.emplace(handle, gid);
    }
    return gid;
  }

  std::shared_ptr<DdsTransport> transport_;
  const MessageType & type_;
  rmw_qos_profile_t qos_;
  std::shared_ptr<WakeTarget> wake_;
  IncompatibleQosCallback on_incompatible_;
  uint64_t node_;
  dds_entity_t ready_{0};
  rmw_gid_t gid_{};
  std::mutex gids_mutex_;
  std::unordered_map<dds_instance_handle_t, rmw_gid_t> gids_;
  // Last, so that they are deleted (and their listener finished) before anything else goes.
  Entity topic_;
  Entity reader_;
};

// ---------------------------------------------------------------------------------------

std::mutex & registry_mutex()
{
  static auto * mutex = new std::mutex;
  return *mutex;
}

std::map<size_t, std::shared_ptr<DdsTransport>> & registry()
{
  // Never destroyed: endpoints in static storage may still refer to a transport at exit.
  static auto * transports = new std::map<size_t, std::shared_ptr<DdsTransport>>;
  return *transports;
}

void close_all_at_exit()
{
  std::vector<std::shared_ptr<DdsTransport>> transports;
  {
    std::lock_guard<std::mutex> lock(registry_mutex());
    for (auto & entry : registry()) {
      transports.push_back(entry.second);
    }
  }
  for (auto & transport : transports) {
    transport->close();
  }
}

}  // namespace

std::string topic_name(const std::string & name, const rmw_qos_profile_t & qos)
{
  return qos.avoid_ros_namespace_conventions ? name : "rt" + name;
}

std::string request_topic_name(const std::string & service, const rmw_qos_profile_t & qos)
{
  return (qos.avoid_ros_namespace_conventions ? "" : "rq") + service + "Request";
}

std::string reply_topic_name(const std::string & service, const rmw_qos_profile_t & qos)
{
  return (qos.avoid_ros_namespace_conventions ? "" : "rr") + service + "Reply";
}

uint64_t node_key(const EndpointOptions & options)
{
  auto node = std::dynamic_pointer_cast<DdsNode>(options.node);
  return node ? node->key() : 0;
}

DdsTransport::DdsTransport(size_t domain_id, const SecuritySettings & security)
: participant_(std::make_shared<Participant>(domain_id, security)),
  graph_(std::make_unique<GraphCache>(participant_))
{}

DdsTransport::~DdsTransport()
{
  close();
}

void DdsTransport::close()
{
  reply_worker_.stop();
  participant_->close();
  graph_->interrupt_waits();
}

std::shared_ptr<PublisherEndpoint> DdsTransport::create_publisher(
  const MessageType & type, const EndpointOptions & options)
{
  return std::make_shared<DdsPublisher>(shared_from_this(), type, options);
}

std::shared_ptr<SubscriptionEndpoint> DdsTransport::create_subscription(
  const MessageType & type, const EndpointOptions & options)
{
  return std::make_shared<DdsSubscription>(shared_from_this(), type, options);
}

std::shared_ptr<NodeRegistration> DdsTransport::register_node(
  const std::string & name, const std::string & namespace_)
{
  return std::make_shared<DdsNode>(shared_from_this(), graph_->add_node(name, namespace_));
}

std::vector<std::pair<std::string, std::string>> DdsTransport::get_node_names() const
{
  return graph_->node_names();
}

NamesAndTypes DdsTransport::get_topic_names_and_types() const
{
  return graph_->topic_names_and_types();
}

NamesAndTypes DdsTransport::get_service_names_and_types() const
{
  return graph_->service_names_and_types();
}

size_t DdsTransport::count_publishers(const std::string & topic) const
{
  return graph_->count_writers("rt" + topic);
}

size_t DdsTransport::count_subscribers(const std::string & topic) const
{
  return graph_->count_readers("rt" + topic);
}

size_t DdsTransport::count_services(const std::string & service) const
{
  return graph_->count_readers("rq" + service + "Request");
}

uint64_t DdsTransport::graph_generation() const
{
  return graph_->generation();
}

void DdsTransport::wait_for_graph_change(
  uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
  graph_->wait_for_change(seen, deadline);
}

void DdsTransport::interrupt_graph_waits()
{
  graph_->interrupt_waits();
}

std::shared_ptr<DdsTransport> transport_for_domain(
  size_t domain_id, const SecuritySettings * security)
{
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto & transports = registry();
  auto it = transports.find(domain_id);
  if (it != transports.end()) {
    const SecuritySettings & joined = it->second->participant().security();
    if (security && !security->same_participant(joined)) {
      // One participant per process and domain: it cannot be two enclaves at once.
      throw std::runtime_error(
        "SECURITY ERROR: this process already joined domain " + std::to_string(domain_id) +
        " as enclave '" + joined.enclave + "'" +
        (joined.directory.empty() ? std::string(" without security") :
        " with the keystore folder '" + joined.directory + "'") +
        "; a context with other security settings cannot join it too");
    }
    return it->second;
  }
  auto transport = std::make_shared<DdsTransport>(
    domain_id, security ? *security : SecuritySettings{});
  if (transports.empty()) {
    // Peers then see this process's nodes leave at once instead of after a lease expiry.
    std::atexit(&close_all_at_exit);
  }
  transports.emplace(domain_id, transport);
  return transport;
}

std::shared_ptr<DdsTransport> find_transport(size_t domain_id)
{
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto it = registry().find(domain_id);
  return it == registry().end() ? nullptr : it->second;
}

}  // namespace dds

std::shared_ptr<Transport> get_transport(const rclcpp::Context & context)
{
  return dds::transport_for_domain(context.get_domain_id());
}

}  // namespace shim
}  // namespace rclcpp
