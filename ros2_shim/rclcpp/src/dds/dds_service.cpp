// Services and clients over request/reply topic pairs, correlated as rmw_cyclonedds_cpp does:
// each sample starts with the client's request-writer instance handle and a sequence number,
// which the reply echoes.
//
// A reply sent before the client's reply reader has matched the service's reply writer would
// be lost (replies are volatile). Such a reply is queued instead and sent by the ReplyWorker
// once the match is there, so the executor never waits for discovery.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cdr.hpp"
#include "dds_transport.hpp"
#include "entity.hpp"
#include "qos_mapping.hpp"
#include "rcutils/logging_macros.h"
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

using Clock = std::chrono::steady_clock;

/// How long a reply waits for the client's reply reader before it is given up.
constexpr std::chrono::seconds kReplyMatchTimeout{5};

QosPtr endpoint_qos(const rmw_qos_profile_t & profile, EndpointKind kind, const std::string & id)
{
  QosPtr qos = to_dds_qos(profile, kind);
  dds_qset_userdata(qos.get(), id.data(), id.size());
  return qos;
}

void write_header(rmw_request_id_t & header, uint64_t client_id, dds_instance_handle_t writer)
{
  std::memset(header.writer_guid, 0, sizeof(header.writer_guid));
  std::memcpy(header.writer_guid, &client_id, sizeof(client_id));
  std::memcpy(header.writer_guid + sizeof(client_id), &writer, sizeof(writer));
}

std::atomic<int64_t> g_next_sequence{0};

}  // namespace

// ---------------------------------------------------------------------------------------

class DdsService : public ServiceEndpoint, public std::enable_shared_from_this<DdsService>
{
public:
  DdsService(
    std::shared_ptr<DdsTransport> transport, const ServiceType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), name_(options.name),
    wake_(options.wake), node_(node_key(options)),
    write_failures_("service '" + options.name + "'")
  {
    Participant & participant = transport_->participant();
    const dds_entity_t pp = participant.handle();
    const std::string id = "serviceid=" + participant.next_endpoint_id() + ";";
    const std::string rq = request_topic_name(options.name, options.qos);
    const std::string rr = reply_topic_name(options.name, options.qos);
    request_topic_ = Entity(
      participant, create_topic(pp, rq, members_of(type.request.introspection), true), "topic",
      rq);
    reply_topic_ = Entity(
      participant, create_topic(pp, rr, members_of(type.response.introspection), true), "topic",
      rr);

    QosPtr reader_qos = endpoint_qos(options.qos, EndpointKind::Reader, id);
    ListenerPtr reader_listener(dds_create_listener(this));
    dds_lset_data_available(reader_listener.get(), &DdsService::on_data_available);
    request_reader_ = Entity(
      participant,
      create_reader(pp, request_topic_.get(), reader_qos.get(), reader_listener.get()),
      "service", options.name);

    QosPtr writer_qos = endpoint_qos(options.qos, EndpointKind::Writer, id);
    ListenerPtr writer_listener(dds_create_listener(this));
    dds_lset_publication_matched(writer_listener.get(), &DdsService::on_publication_matched);
    reply_writer_ = Entity(
      participant,
      create_writer(pp, reply_topic_.get(), writer_qos.get(), writer_listener.get()),
      "service", options.name);

    // A child of the reader, deleted with it.
    ready_ = dds_create_readcondition(request_reader_.get(), DDS_ANY_STATE);
    check_created(ready_, "read condition", options.name);
    reader_gid_ = entity_gid(request_reader_.get());
    writer_gid_ = entity_gid(reply_writer_.get());
    transport_->graph().add_endpoint(node_, reader_gid_, true);
    transport_->graph().add_endpoint(node_, writer_gid_, false);
  }

  ~DdsService() override
  {
    transport_->graph().remove_endpoint(node_, reader_gid_, true);
    transport_->graph().remove_endpoint(node_, writer_gid_, false);
  }

  bool take_request(rmw_request_id_t & header, std::shared_ptr<const void> & request) override
  {
    Participant::Use use(transport_->participant());
    if (!use) {
      return false;
    }
    while (true) {
      std::shared_ptr<void> message = type_.request.create();
      ServiceSample sample{RequestId{}, message.get()};
      void * buffer = &sample;
      dds_sample_info_t si;
      if (dds_take(request_reader_.get(), &buffer, &si, 1, 1) <= 0) {
        return false;
      }
      if (!si.valid_data) {
        continue;
      }
      write_header(header, sample.id.client_id, si.publication_handle);
      header.sequence_number = sample.id.sequence;
      request = std::move(message);
      return true;
    }
  }

  bool has_request() const override
  {
    Participant::Use use(transport_->participant());
    return use && dds_triggered(ready_) > 0;
  }

  void send_response(const rmw_request_id_t & header, std::shared_ptr<void> response) override
  {
    Pending reply;
    std::memcpy(&reply.id.client_id, header.writer_guid, sizeof(reply.id.client_id));
    std::memcpy(
      &reply.request_writer, header.writer_guid + sizeof(reply.id.client_id),
      sizeof(reply.request_writer));
    reply.id.sequence = header.sequence_number;
    reply.response = std::move(response);
    reply.deadline = Clock::now() + kReplyMatchTimeout;
    bool queued = false;
    {
      Participant::Use use(transport_->participant());
      if (!use) {
        return;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      flush_locked(Clock::now());
      const bool same_client_waiting = std::any_of(
        pending_.begin(), pending_.end(),
        [&](const Pending & p) {return p.request_writer == reply.request_writer;});
      if (!same_client_waiting) {
        switch (reply_state_locked(reply.request_writer, false)) {
          case ReplyState::Ready:
            write_locked(reply);
            return;
          case ReplyState::ClientGone:
            return;  // nobody is left to receive it
          case ReplyState::Wait:
            break;
        }
      }
      pending_.push_back(std::move(reply));
      queued = true;
    }
    if (queued) {
      transport_->reply_worker().add(shared_from_this());
    }
  }

  /// Send what can be sent; false once nothing is queued. `next` gets the earliest deadline.
  bool retry(Clock::time_point & next)
  {
    Participant::Use use(transport_->participant());
    if (!use) {
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    flush_locked(Clock::now());
    for (const Pending & p : pending_) {
      next = std::min(next, p.deadline);
    }
    return !pending_.empty();
  }

private:
  enum class ReplyState { Ready, Wait, ClientGone };

  struct Pending
  {
    RequestId id;
    dds_instance_handle_t request_writer{0};
    std::shared_ptr<void> response;
    Clock::time_point deadline;
  };

  static void on_data_available(dds_entity_t, void * arg)
  {
    auto * self = static_cast<DdsService *>(arg);
    if (self->wake_) {
      self->wake_->notify();
    }
  }

  static void on_publication_matched(
    dds_entity_t, const dds_publication_matched_status_t, void * arg)
  {
    auto * self = static_cast<DdsService *>(arg);
    self->readers_changed_.store(true);
    self->transport_->reply_worker().notify();
  }

  /// With mutex_ held: send the queued replies whose client is matched, drop the others
  /// whose client left or whose time is up, keep the order per client.
  void flush_locked(Clock::time_point now)
  {
    std::set<dds_instance_handle_t> blocked;
    for (auto it = pending_.begin(); it != pending_.end(); ) {
      if (blocked.count(it->request_writer)) {
        ++it;
        continue;
      }
      const ReplyState state = reply_state_locked(it->request_writer, true);
      if (state == ReplyState::Ready) {
        write_locked(*it);
        it = pending_.erase(it);
      } else if (state == ReplyState::ClientGone) {
        it = pending_.erase(it);
      } else if (now >= it->deadline) {
        RCUTILS_LOG_WARN_NAMED(
          "rclcpp",
          "service '%s': the client's reply reader did not match within %d s; "
          "dropping the reply to request %lld", name_.c_str(),
          static_cast<int>(kReplyMatchTimeout.count()),
          static_cast<long long>(it->id.sequence));  // NOLINT(runtime/int)
        it = pending_.erase(it);
      } else {
        blocked.insert(it->request_writer);
        ++it;
      }
    }
  }

  void write_locked(const Pending & reply)
  {
    ServiceSample sample{reply.id, reply.response.get()};
    write_failures_.check(dds_write(reply_writer_.get(), &sample));
  }

  /// With mutex_ held and the participant in use. A request writer without a clientid
  /// counts as matched, as rmw_cyclonedds_cpp does it.
  ReplyState reply_state_locked(dds_instance_handle_t request_writer, bool check_presence)
  {
    auto known = client_ids_.find(request_writer);
    if (known == client_ids_.end() || check_presence) {
      dds_builtintopic_endpoint_t * writer =
        dds_get_matched_publication_data(request_reader_.get(), request_writer);
      if (!writer) {
        client_ids_.erase(request_writer);
        return ReplyState::ClientGone;
      }
      const std::string client = user_data_value(writer->qos, "clientid");
      dds_builtintopic_free_endpoint(writer);
      if (client_ids_.size() >= 4096) {
        client_ids_.clear();
      }
      known = client_ids_.insert_or_assign(request_writer, client).first;
    }
    if (known->second.empty()) {
      return ReplyState::Ready;
    }
    if (readers_changed_.exchange(false)) {
      refresh_matched_clients_locked();
    }
    return matched_clients_.count(known->second) ? ReplyState::Ready : ReplyState::Wait;
  }

  void refresh_matched_clients_locked()
  {
    matched_clients_.clear();
    std::vector<dds_instance_handle_t> handles(16);
    dds_return_t n;
    while ((n = dds_get_matched_subscriptions(
        reply_writer_.get(), handles.data(), handles.size())) >
      static_cast<dds_return_t>(handles.size()))
    {
      handles.resize(static_cast<size_t>(n));
    }
    for (dds_return_t i = 0; i < n; ++i) {
      dds_builtintopic_endpoint_t * reader =
        dds_get_matched_subscription_data(reply_writer_.get(), handles[static_cast<size_t>(i)]);
      if (reader) {
        matched_clients_.insert(user_data_value(reader->qos, "clientid"));
        dds_builtintopic_free_endpoint(reader);
      }
    }
  }

  std::shared_ptr<DdsTransport> transport_;
  const ServiceType & type_;
  std::string name_;
  std::shared_ptr<WakeTarget> wake_;
  uint64_t node_;
  dds_entity_t ready_{0};
  rmw_gid_t reader_gid_{};
  rmw_gid_t writer_gid_{};
  WriteFailures write_failures_;

  std::atomic<bool> readers_changed_{true};
  std::mutex mutex_;
  std::deque<Pending> pending_;
  std::unordered_map<dds_instance_handle_t, std::string> client_ids_;
  std::set<std::string> matched_clients_;
  // Last, so that they are deleted (and their listeners finished) before anything else goes.
  Entity request_topic_;
  Entity reply_topic_;
  Entity request_reader_;
  Entity reply_writer_;
};

// ---------------------------------------------------------------------------------------

class DdsClient : public ClientEndpoint
{
public:
  DdsClient(
    std::shared_ptr<DdsTransport> transport, const ServiceType & type,
    const EndpointOptions & options)
  : transport_(std::move(transport)), type_(type), wake_(options.wake),
    node_(node_key(options)), write_failures_("client of '" + options.name + "'")
  {
    Participant & participant = transport_->participant();
    const dds_entity_t pp = participant.handle();
    const std::string id = "clientid=" + participant.next_endpoint_id() + ";";
    request_topic_name_ = request_topic_name(options.name, options.qos);
    reply_topic_name_ = reply_topic_name(options.name, options.qos);
    request_topic_ = Entity(
      participant,
      create_topic(pp, request_topic_name_, members_of(type.request.introspection), true),
      "topic", request_topic_name_);
    reply_topic_ = Entity(
      participant,
      create_topic(pp, reply_topic_name_, members_of(type.response.introspection), true),
      "topic", reply_topic_name_);

    QosPtr writer_qos = endpoint_qos(options.qos, EndpointKind::Writer, id);
    ListenerPtr writer_listener(dds_create_listener(this));
    dds_lset_publication_matched(writer_listener.get(), &DdsClient::on_publication_matched);
    request_writer_ = Entity(
      participant,
      create_writer(pp, request_topic_.get(), writer_qos.get(), writer_listener.get()),
      "client", options.name);

    QosPtr reader_qos = endpoint_qos(options.qos, EndpointKind::Reader, id);
    ListenerPtr reader_listener(dds_create_listener(this));
    dds_lset_data_available(reader_listener.get(), &DdsClient::on_data_available);
    dds_lset_subscription_matched(reader_listener.get(), &DdsClient::on_subscription_matched);
    reply_reader_ = Entity(
      participant,
      create_reader(pp, reply_topic_.get(), reader_qos.get(), reader_listener.get()),
      "client", options.name);

    // A child of the reader, deleted with it.
    ready_ = dds_create_readcondition(reply_reader_.get(), DDS_ANY_STATE);
    check_created(ready_, "read condition", options.name);
    // The id every request carries and every reply echoes; without it no reply is ours.
    check_created(
      dds_get_instance_handle(request_writer_.get(), &client_id_), "client id", options.name);
    writer_gid_ = entity_gid(request_writer_.get());
    reader_gid_ = entity_gid(reply_reader_.get());
    transport_->graph().add_endpoint(node_, writer_gid_, false);
    transport_->graph().add_endpoint(node_, reader_gid_, true);
  }

  ~DdsClient() override
  {
    transport_->graph().remove_endpoint(node_, writer_gid_, false);
    transport_->graph().remove_endpoint(node_, reader_gid_, true);
  }

  int64_t send_request(std::shared_ptr<const void> request) override
  {
    const int64_t sequence = ++g_next_sequence;
    Participant::Use use(transport_->participant());
    if (use) {
      ServiceSample sample{RequestId{client_id_, sequence}, const_cast<void *>(request.get())};
      write_failures_.check(dds_write(request_writer_.get(), &sample));
    }
    return sequence;
  }

  bool take_response(rmw_request_id_t & header, std::shared_ptr<void> & response) override
  {
    Participant::Use use(transport_->participant());
    if (!use) {
      return false;
    }
    while (true) {
      std::shared_ptr<void> message = type_.response.create();
      ServiceSample sample{RequestId{}, message.get()};
      void * buffer = &sample;
      dds_sample_info_t si;
      if (dds_take(reply_reader_.get(), &buffer, &si, 1, 1) <= 0) {
        return false;
      }
      // Every client of the service hears every reply; only ours count.
      if (!si.valid_data || sample.id.client_id != client_id_) {
        continue;
      }
      write_header(header, sample.id.client_id, si.publication_handle);
      header.sequence_number = sample.id.sequence;
      response = std::move(message);
      return true;
    }
  }

  bool has_response() const override
  {
    Participant::Use use(transport_->participant());
    return use && dds_triggered(ready_) > 0;
  }

  bool service_available() const override
  {
    GraphCache & graph = transport_->graph();
    if (graph.count_readers(request_topic_name_) == 0 ||
      graph.count_writers(reply_topic_name_) == 0)
    {
      return false;
    }
    Participant::Use use(transport_->participant());
    if (!use) {
      return false;
    }
    const std::vector<std::string> servers =
      matched_ids(request_writer_.get(), &dds_get_matched_subscriptions,
        &dds_get_matched_subscription_data);
    const std::vector<std::string> repliers =
      matched_ids(reply_reader_.get(), &dds_get_matched_publications,
        &dds_get_matched_publication_data);
    if (servers.empty() || repliers.empty()) {
      return false;
    }
    bool any_id = false;
    for (const std::string & server : servers) {
      if (server.empty()) {
        continue;
      }
      any_id = true;
      if (std::find(repliers.begin(), repliers.end(), server) != repliers.end()) {
        return true;
      }
    }
    return !any_id;
  }

private:
  using MatchedFn = dds_return_t (*)(dds_entity_t, dds_instance_handle_t *, size_t);
  using DataFn = dds_builtintopic_endpoint_t * (*)(dds_entity_t, dds_instance_handle_t);

  /// The serviceid of every endpoint matched with `entity` (empty string when it has none).
  static std::vector<std::string> matched_ids(dds_entity_t entity, MatchedFn matched, DataFn data)
  {
    std::vector<dds_instance_handle_t> handles(16);
    dds_return_t n;
    while ((n = matched(entity, handles.data(), handles.size())) >
      static_cast<dds_return_t>(handles.size()))
    {
      handles.resize(static_cast<size_t>(n));
    }
    std::vector<std::string> ids;
    for (dds_return_t i = 0; i < n; ++i) {
      dds_builtintopic_endpoint_t * endpoint = data(entity, handles[static_cast<size_t>(i)]);
      if (endpoint) {
        ids.push_back(user_data_value(endpoint->qos, "serviceid"));
        dds_builtintopic_free_endpoint(endpoint);
      }
    }
    return ids;
  }

  static void on_data_available(dds_entity_t, void * arg)
  {
    auto * self = static_cast<DdsClient *>(arg);
    if (self->wake_) {
      self->wake_->notify();
    }
  }

  // Matching decides availability, and it can complete after the graph showed the service.
  static void on_publication_matched(
    dds_entity_t, const dds_publication_matched_status_t, void * arg)
  {
    static_cast<DdsClient *>(arg)->transport_->graph().changed();
  }

  static void on_subscription_matched(
    dds_entity_t, const dds_subscription_matched_status_t, void * arg)
  {
    static_cast<DdsClient *>(arg)->transport_->graph().changed();
  }

  std::shared_ptr<DdsTransport> transport_;
  const ServiceType & type_;
  std::shared_ptr<WakeTarget> wake_;
  uint64_t node_;
  std::string request_topic_name_;
  std::string reply_topic_name_;
  dds_entity_t ready_{0};
  dds_instance_handle_t client_id_{0};
  rmw_gid_t writer_gid_{};
  rmw_gid_t reader_gid_{};
  WriteFailures write_failures_;
  // Last, so that they are deleted (and their listeners finished) before anything else goes.
  Entity request_topic_;
  Entity reply_topic_;
  Entity request_writer_;
  Entity reply_reader_;
};

// ---------------------------------------------------------------------------------------

ReplyWorker::~ReplyWorker()
{
  stop();
}

void ReplyWorker::add(const std::shared_ptr<DdsService> & service)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      return;
    }
    services_.insert(service);
    ++events_;
    if (!thread_.joinable()) {
      thread_ = std::thread([this] {run();});
    }
  }
  cv_.notify_all();
}

void ReplyWorker::notify()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++events_;
  }
  cv_.notify_all();
}

void ReplyWorker::stop()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
  }
}

void ReplyWorker::run()
{
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const uint64_t seen = events_;
    ServiceSet services;
    services.swap(services_);
    lock.unlock();

    // Services with replies still queued stay on the list; the others drop off.
    Clock::time_point next = Clock::time_point::max();
    std::vector<std::weak_ptr<DdsService>> still_waiting;
    for (const auto & weak : services) {
      auto service = weak.lock();
      if (service && service->retry(next)) {
        still_waiting.push_back(weak);
      }
    }

    lock.lock();
    services_.insert(still_waiting.begin(), still_waiting.end());
    if (services_.empty()) {
      cv_.wait(lock, [&] {return stopping_ || events_ != seen;});
    } else {
      cv_.wait_until(lock, next, [&] {return stopping_ || events_ != seen;});
    }
  }
}

std::shared_ptr<ServiceEndpoint> DdsTransport::create_service(
  const ServiceType & type, const EndpointOptions & options)
{
  return std::make_shared<DdsService>(shared_from_this(), type, options);
}

std::shared_ptr<ClientEndpoint> DdsTransport::create_client(
  const ServiceType & type, const EndpointOptions & options)
{
  return std::make_shared<DdsClient>(shared_from_this(), type, options);
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
