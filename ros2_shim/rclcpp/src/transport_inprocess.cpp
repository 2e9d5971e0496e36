// In-process transport: every endpoint of the process meets every other one by
// name, like participants of one DDS domain, with rmw's QoS semantics:
//  - each subscription has its own queue; KEEP_LAST drops the oldest sample,
//    KEEP_ALL keeps everything;
//  - a TRANSIENT_LOCAL publisher keeps its last `depth` samples and replays them
//    to TRANSIENT_LOCAL subscriptions that match later;
//  - best-effort publisher -> reliable subscription and volatile publisher ->
//    transient-local subscription do not match (nothing is delivered, nothing is
//    counted as matched), and both sides hear about it;
//  - endpoints of different types on one name never match.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/shim/transport.hpp"

namespace rclcpp
{
namespace shim
{
namespace
{

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

/// System defaults as a DDS implementation resolves them.
rmw_qos_profile_t resolve_qos(rmw_qos_profile_t qos)
{
  if (qos.history == RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT ||
    qos.history == RMW_QOS_POLICY_HISTORY_UNKNOWN)
  {
    qos.history = RMW_QOS_POLICY_HISTORY_KEEP_LAST;
  }
  if (qos.history == RMW_QOS_POLICY_HISTORY_KEEP_LAST && qos.depth == 0) {
    qos.depth = 1;
  }
  if (qos.reliability == RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT ||
    qos.reliability == RMW_QOS_POLICY_RELIABILITY_UNKNOWN)
  {
    qos.reliability = RMW_QOS_POLICY_RELIABILITY_RELIABLE;
  }
  if (qos.durability == RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT ||
    qos.durability == RMW_QOS_POLICY_DURABILITY_UNKNOWN)
  {
    qos.durability = RMW_QOS_POLICY_DURABILITY_VOLATILE;
  }
  return qos;
}

/// Empty if compatible, else the name of the last incompatible policy (rmw's order).
std::string incompatible_policy(const rmw_qos_profile_t & pub, const rmw_qos_profile_t & sub)
{
  std::string policy;
  if (pub.durability == RMW_QOS_POLICY_DURABILITY_VOLATILE &&
    sub.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL)
  {
    policy = "DURABILITY_QOS_POLICY";
  }
  if (pub.reliability == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT &&
    sub.reliability == RMW_QOS_POLICY_RELIABILITY_RELIABLE)
  {
    policy = "RELIABILITY_QOS_POLICY";
  }
  return policy;
}

/// Incompatibility reports collected under the transport mutex and delivered after it,
/// so that a callback may create or destroy endpoints.
using QosEvents = std::vector<std::pair<IncompatibleQosCallback, std::string>>;

void deliver_events(const QosEvents & events)
{
  for (const auto & event : events) {
    event.first(event.second);
  }
}

/// A process-unique endpoint id in the GID's first bytes.
rmw_gid_t next_gid()
{
  static std::atomic<uint64_t> counter{0};
  rmw_gid_t gid{};
  gid.implementation_identifier = "inprocess";
  const uint64_t id = ++counter;
  std::memcpy(gid.data, &id, sizeof(id));
  return gid;
}

bool same_type(const MessageType & a, const MessageType & b)
{
  return *a.cpp_type == *b.cpp_type;
}

/// A bounded or unbounded FIFO honouring a resolved history policy.
template<typename T>
class HistoryQueue
{
public:
  explicit HistoryQueue(const rmw_qos_profile_t & qos)
  : keep_all_(qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL), depth_(qos.depth) {}

  void push(T && item)
  {
    if (!keep_all_ && items_.size() >= depth_) {
      items_.pop_front();
    }
    items_.push_back(std::move(item));
  }

  bool pop(T & item)
  {
    if (items_.empty()) {
      return false;
    }
    item = std::move(items_.front());
    items_.pop_front();
    return true;
  }

  size_t size() const {return items_.size();}
  const std::deque<T> & items() const {return items_;}

private:
  bool keep_all_;
  size_t depth_;
  std::deque<T> items_;
};

class InProcessTransport;
class InProcessPublisher;
class InProcessSubscription;
class InProcessService;
class InProcessClient;

struct Topic
{
  std::vector<InProcessPublisher *> publishers;
  std::vector<InProcessSubscription *> subscriptions;
};

struct ServiceName
{
  std::vector<InProcessService *> services;
  std::vector<InProcessClient *> clients;
};

class InProcessTransport : public Transport, public std::enable_shared_from_this<InProcessTransport>
{
public:
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

  std::vector<std::pair<std::string, std::string>> get_node_names() const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::pair<std::string, std::string>> names;
    for (const auto & entry : nodes_) {
      names.push_back(entry.second);
    }
    return names;
  }

  NamesAndTypes get_topic_names_and_types() const override;
  NamesAndTypes get_service_names_and_types() const override;

  size_t count_publishers(const std::string & topic) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = topics_.find(topic);
    return it == topics_.end() ? 0u : it->second.publishers.size();
  }

  size_t count_subscribers(const std::string & topic) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = topics_.find(topic);
    return it == topics_.end() ? 0u : it->second.subscriptions.size();
  }

  size_t count_services(const std::string & service) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = services_.find(service);
    return it == services_.end() ? 0u : it->second.services.size();
  }

  uint64_t graph_generation() const override
  {
    std::lock_guard<std::mutex> lock(graph_mutex_);
    return graph_generation_;
  }

  void wait_for_graph_change(
    uint64_t seen, std::chrono::steady_clock::time_point deadline) override
  {
    std::unique_lock<std::mutex> lock(graph_mutex_);
    const uint64_t interrupts = interrupts_;
    graph_cv_.wait_until(
      lock, deadline, [&] {return graph_generation_ != seen || interrupts_ != interrupts;});
  }

  void interrupt_graph_waits() override
  {
    {
      std::lock_guard<std::mutex> lock(graph_mutex_);
      ++interrupts_;
    }
    graph_cv_.notify_all();
  }

  void graph_changed()
  {
    {
      std::lock_guard<std::mutex> lock(graph_mutex_);
      ++graph_generation_;
    }
    graph_cv_.notify_all();
  }

  // Everything below is guarded by mutex_: the graph and all deliveries. One lock keeps
  // matching, replay and publishing atomic with respect to each other.
  mutable std::mutex mutex_;
  std::map<std::string, Topic> topics_;
  std::map<std::string, ServiceName> services_;
  std::map<int64_t, InProcessClient *> clients_by_id_;
  std::map<const NodeRegistration *, std::pair<std::string, std::string>> nodes_;
  int64_t next_client_id_{1};

private:
  mutable std::mutex graph_mutex_;
  std::condition_variable graph_cv_;
  uint64_t graph_generation_{0};
  uint64_t interrupts_{0};
};

class InProcessSubscription : public SubscriptionEndpoint
{
public:
  InProcessSubscription(
    std::shared_ptr<InProcessTransport> transport, const MessageType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), name_(options.name),
    qos_(resolve_qos(options.qos)), wake_(options.wake),
    on_incompatible_(options.on_incompatible_qos), queue_(qos_)
  {}

  ~InProcessSubscription() override;

  bool take(Sample & sample) override
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (!queue_.pop(sample)) {
      return false;
    }
    queued_.store(queue_.size(), std::memory_order_release);
    return true;
  }

  bool has_sample() const override {return queued_.load(std::memory_order_acquire) != 0;}

  size_t matched_publishers() const override
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    return matched_;
  }

  rmw_qos_profile_t actual_qos() const override {return qos_;}
  rmw_gid_t gid() const override {return gid_;}

  /// Called with the transport mutex held.
  void deliver(const std::shared_ptr<const void> & message, const rmw_message_info_t & info)
  {
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      Sample sample{message, info};
      sample.info.received_timestamp = system_now_ns();
      queue_.push(std::move(sample));
      queued_.store(queue_.size(), std::memory_order_release);
    }
    if (wake_) {
      wake_->notify();
    }
  }

  std::shared_ptr<InProcessTransport> transport_;
  const MessageType & type_;
  std::string name_;
  rmw_qos_profile_t qos_;
  std::shared_ptr<WakeTarget> wake_;
  IncompatibleQosCallback on_incompatible_;
  rmw_gid_t gid_ = next_gid();
  size_t matched_{0};  // guarded by the transport mutex

private:
  mutable std::mutex queue_mutex_;
  HistoryQueue<Sample> queue_;
  std::atomic<size_t> queued_{0};
};

class InProcessPublisher : public PublisherEndpoint
{
public:
  InProcessPublisher(
    std::shared_ptr<InProcessTransport> transport, const MessageType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), name_(options.name),
    qos_(resolve_qos(options.qos)), on_incompatible_(options.on_incompatible_qos),
    transient_local_(qos_.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL),
    history_(qos_)
  {
    // A per-process counter stands in for the DDS writer GUID.
    static std::atomic<uint64_t> next_id{1};
    const uint64_t id = next_id.fetch_add(1);
    std::memcpy(gid_.data, &id, sizeof(id));
    gid_.implementation_identifier = "rclcpp_shim_inprocess";
  }

  ~InProcessPublisher() override;

  void publish(std::shared_ptr<const void> message) override
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    rmw_message_info_t info{};
    info.source_timestamp = system_now_ns();
    info.publication_sequence_number = ++sequence_;
    info.publisher_gid = gid_;
    info.from_intra_process = false;
    for (InProcessSubscription * sub : matched_) {
      sub->deliver(message, info);
    }
    if (transient_local_) {
      history_.push(std::make_pair(std::move(message), info));
    }
  }

  bool wants_messages() const override
  {
    if (transient_local_) {
      return true;
    }
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    return !matched_.empty();
  }

  size_t matched_subscriptions() const override
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    return matched_.size();
  }

  rmw_qos_profile_t actual_qos() const override {return qos_;}
  rmw_gid_t gid() const override {return gid_;}

  /// With the transport mutex held: connect to `sub` if the QoS allow it.
  void try_match(InProcessSubscription * sub, QosEvents & events)
  {
    if (!same_type(type_, sub->type_)) {
      return;
    }
    const std::string policy = incompatible_policy(qos_, sub->qos_);
    if (!policy.empty()) {
      if (on_incompatible_) {
        events.emplace_back(on_incompatible_, policy);
      }
      if (sub->on_incompatible_) {
        events.emplace_back(sub->on_incompatible_, policy);
      }
      return;
    }
    matched_.push_back(sub);
    ++sub->matched_;
    if (transient_local_ && sub->qos_.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
      for (const auto & entry : history_.items()) {
        sub->deliver(entry.first, entry.second);
      }
    }
  }

  /// With the transport mutex held.
  void unmatch(InProcessSubscription * sub)
  {
    auto it = std::find(matched_.begin(), matched_.end(), sub);
    if (it != matched_.end()) {
      matched_.erase(it);
      --sub->matched_;
    }
  }

  std::shared_ptr<InProcessTransport> transport_;
  const MessageType & type_;
  std::string name_;

private:
  rmw_qos_profile_t qos_;
  IncompatibleQosCallback on_incompatible_;
  bool transient_local_;
  std::vector<InProcessSubscription *> matched_;
  HistoryQueue<std::pair<std::shared_ptr<const void>, rmw_message_info_t>> history_;
  uint64_t sequence_{0};
  rmw_gid_t gid_{};
};

InProcessSubscription::~InProcessSubscription()
{
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    auto it = transport_->topics_.find(name_);
    if (it != transport_->topics_.end()) {
      for (InProcessPublisher * pub : it->second.publishers) {
        pub->unmatch(this);
      }
      auto & subs = it->second.subscriptions;
      subs.erase(std::remove(subs.begin(), subs.end(), this), subs.end());
      if (subs.empty() && it->second.publishers.empty()) {
        transport_->topics_.erase(it);
      }
    }
  }
  transport_->graph_changed();
}

InProcessPublisher::~InProcessPublisher()
{
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    auto it = transport_->topics_.find(name_);
    if (it != transport_->topics_.end()) {
      for (InProcessSubscription * sub : matched_) {
        --sub->matched_;
      }
      matched_.clear();
      auto & pubs = it->second.publishers;
      pubs.erase(std::remove(pubs.begin(), pubs.end(), this), pubs.end());
      if (pubs.empty() && it->second.subscriptions.empty()) {
        transport_->topics_.erase(it);
      }
    }
  }
  transport_->graph_changed();
}

std::shared_ptr<PublisherEndpoint> InProcessTransport::create_publisher(
  const MessageType & type, const EndpointOptions & options)
{
  auto pub = std::make_shared<InProcessPublisher>(shared_from_this(), type, options);
  QosEvents events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Topic & topic = topics_[options.name];
    topic.publishers.push_back(pub.get());
    for (InProcessSubscription * sub : topic.subscriptions) {
      pub->try_match(sub, events);
    }
  }
  deliver_events(events);
  graph_changed();
  return pub;
}

std::shared_ptr<SubscriptionEndpoint> InProcessTransport::create_subscription(
  const MessageType & type, const EndpointOptions & options)
{
  auto sub = std::make_shared<InProcessSubscription>(shared_from_this(), type, options);
  QosEvents events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Topic & topic = topics_[options.name];
    topic.subscriptions.push_back(sub.get());
    for (InProcessPublisher * pub : topic.publishers) {
      pub->try_match(sub.get(), events);
    }
  }
  deliver_events(events);
  graph_changed();
  return sub;
}

// ---------------------------------------------------------------------------------------
// Services: requests go to every server of the name with the same type (as in DDS,
// where each server's request reader matches the client's writer); the client keeps the
// first response per sequence number and drops the rest.

rmw_request_id_t make_header(int64_t client_id, int64_t sequence)
{
  rmw_request_id_t header{};
  std::memcpy(header.writer_guid, &client_id, sizeof(client_id));
  header.sequence_number = sequence;
  return header;
}

int64_t client_id_of(const rmw_request_id_t & header)
{
  int64_t id = 0;
  std::memcpy(&id, header.writer_guid, sizeof(id));
  return id;
}

class InProcessService : public ServiceEndpoint
{
public:
  InProcessService(
    std::shared_ptr<InProcessTransport> transport, const ServiceType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), name_(options.name),
    wake_(options.wake), queue_(resolve_qos(options.qos))
  {}

  ~InProcessService() override
  {
    {
      std::lock_guard<std::mutex> lock(transport_->mutex_);
      auto it = transport_->services_.find(name_);
      if (it != transport_->services_.end()) {
        auto & v = it->second.services;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        if (v.empty() && it->second.clients.empty()) {
          transport_->services_.erase(it);
        }
      }
    }
    transport_->graph_changed();
  }

  bool take_request(rmw_request_id_t & header, std::shared_ptr<const void> & request) override
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    std::pair<rmw_request_id_t, std::shared_ptr<const void>> item;
    if (!queue_.pop(item)) {
      return false;
    }
    queued_.store(queue_.size(), std::memory_order_release);
    header = item.first;
    request = std::move(item.second);
    return true;
  }

  bool has_request() const override {return queued_.load(std::memory_order_acquire) != 0;}

  void send_response(const rmw_request_id_t & header, std::shared_ptr<void> response) override;

  /// Called with the transport mutex held.
  void deliver(const rmw_request_id_t & header, const std::shared_ptr<const void> & request)
  {
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      queue_.push(std::make_pair(header, request));
      queued_.store(queue_.size(), std::memory_order_release);
    }
    if (wake_) {
      wake_->notify();
    }
  }

  std::shared_ptr<InProcessTransport> transport_;
  const ServiceType & type_;
  std::string name_;

private:
  std::shared_ptr<WakeTarget> wake_;
  mutable std::mutex queue_mutex_;
  HistoryQueue<std::pair<rmw_request_id_t, std::shared_ptr<const void>>> queue_;
  std::atomic<size_t> queued_{0};
};

class InProcessClient : public ClientEndpoint
{
public:
  InProcessClient(
    std::shared_ptr<InProcessTransport> transport, const ServiceType & type,
    const EndpointOptions & options, int64_t id)
  : transport_(std::move(transport)), type_(type), name_(options.name), id_(id),
    wake_(options.wake), queue_(resolve_qos(options.qos))
  {}

  ~InProcessClient() override
  {
    {
      std::lock_guard<std::mutex> lock(transport_->mutex_);
      transport_->clients_by_id_.erase(id_);
      auto it = transport_->services_.find(name_);
      if (it != transport_->services_.end()) {
        auto & v = it->second.clients;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        if (v.empty() && it->second.services.empty()) {
          transport_->services_.erase(it);
        }
      }
    }
    transport_->graph_changed();
  }

  int64_t send_request(std::shared_ptr<const void> request) override
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    const int64_t sequence = ++sequence_;
    const rmw_request_id_t header = make_header(id_, sequence);
    auto it = transport_->services_.find(name_);
    if (it != transport_->services_.end()) {
      for (InProcessService * service : it->second.services) {
        if (same_type(service->type_.request, type_.request)) {
          service->deliver(header, request);
        }
      }
    }
    return sequence;
  }

  bool take_response(rmw_request_id_t & header, std::shared_ptr<void> & response) override
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    std::pair<rmw_request_id_t, std::shared_ptr<void>> item;
    if (!queue_.pop(item)) {
      return false;
    }
    queued_.store(queue_.size(), std::memory_order_release);
    header = item.first;
    response = std::move(item.second);
    return true;
  }

  bool has_response() const override {return queued_.load(std::memory_order_acquire) != 0;}

  bool service_available() const override
  {
    std::lock_guard<std::mutex> lock(transport_->mutex_);
    auto it = transport_->services_.find(name_);
    if (it == transport_->services_.end()) {
      return false;
    }
    for (InProcessService * service : it->second.services) {
      if (same_type(service->type_.request, type_.request)) {
        return true;
      }
    }
    return false;
  }

  /// Called with the transport mutex held.
  void deliver(const rmw_request_id_t & header, std::shared_ptr<void> response)
  {
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      queue_.push(std::make_pair(header, std::move(response)));
      queued_.store(queue_.size(), std::memory_order_release);
    }
    if (wake_) {
      wake_->notify();
    }
  }

  std::shared_ptr<InProcessTransport> transport_;
  const ServiceType & type_;
  std::string name_;

private:
  int64_t id_;
  int64_t sequence_{0};  // guarded by the transport mutex
  std::shared_ptr<WakeTarget> wake_;
  mutable std::mutex queue_mutex_;
  HistoryQueue<std::pair<rmw_request_id_t, std::shared_ptr<void>>> queue_;
  std::atomic<size_t> queued_{0};
};

void InProcessService::send_response(
  const rmw_request_id_t & header, std::shared_ptr<void> response)
{
  std::lock_guard<std::mutex> lock(transport_->mutex_);
  auto it = transport_->clients_by_id_.find(client_id_of(header));
  if (it != transport_->clients_by_id_.end()) {
    it->second->deliver(header, std::move(response));
  }
}

std::shared_ptr<ServiceEndpoint> InProcessTransport::create_service(
  const ServiceType & type, const EndpointOptions & options)
{
  auto service = std::make_shared<InProcessService>(shared_from_this(), type, options);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    services_[options.name].services.push_back(service.get());
  }
  graph_changed();
  return service;
}

std::shared_ptr<ClientEndpoint> InProcessTransport::create_client(
  const ServiceType & type, const EndpointOptions & options)
{
  std::shared_ptr<InProcessClient> client;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    client = std::make_shared<InProcessClient>(shared_from_this(), type, options, next_client_id_++);
    services_[options.name].clients.push_back(client.get());
    clients_by_id_[next_client_id_ - 1] = client.get();
  }
  graph_changed();
  return client;
}

class InProcessNode : public NodeRegistration
{
public:
  explicit InProcessNode(std::shared_ptr<InProcessTransport> transport)
  : transport_(std::move(transport)) {}

  ~InProcessNode() override
  {
    {
      std::lock_guard<std::mutex> lock(transport_->mutex_);
      transport_->nodes_.erase(this);
    }
    transport_->graph_changed();
  }

private:
  std::shared_ptr<InProcessTransport> transport_;
};

std::shared_ptr<NodeRegistration> InProcessTransport::register_node(
  const std::string & name, const std::string & namespace_)
{
  auto node = std::make_shared<InProcessNode>(shared_from_this());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[node.get()] = std::make_pair(name, namespace_);
  }
  graph_changed();
  return node;
}

namespace
{
void add_type(NamesAndTypes & result, const std::string & name, const char * type)
{
  auto & types = result[name];
  if (std::find(types.begin(), types.end(), type) == types.end()) {
    types.emplace_back(type);
    std::sort(types.begin(), types.end());
  }
}
}  // namespace

NamesAndTypes InProcessTransport::get_topic_names_and_types() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  NamesAndTypes result;
  for (const auto & topic : topics_) {
    for (const InProcessPublisher * pub : topic.second.publishers) {
      add_type(result, topic.first, pub->type_.name);
    }
    for (const InProcessSubscription * sub : topic.second.subscriptions) {
      add_type(result, topic.first, sub->type_.name);
    }
  }
  return result;
}

NamesAndTypes InProcessTransport::get_service_names_and_types() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  NamesAndTypes result;
  for (const auto & service : services_) {
    for (const InProcessService * server : service.second.services) {
      add_type(result, service.first, server->type_.name);
    }
    for (const InProcessClient * client : service.second.clients) {
      add_type(result, service.first, client->type_.name);
    }
  }
  return result;
}

}  // namespace

std::shared_ptr<Transport> get_transport(const rclcpp::Context &)
{
  // One process-wide domain, like one DDS domain shared by every context of the
  // process. Never destroyed, so endpoints in static objects stay valid at exit.
  static auto * transport = new std::shared_ptr<InProcessTransport>(
    std::make_shared<InProcessTransport>());
  return *transport;
}

}  // namespace shim
}  // namespace rclcpp
