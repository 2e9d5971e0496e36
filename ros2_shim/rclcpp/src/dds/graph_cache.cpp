#include "graph_cache.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cdr.hpp"
#include "qos_mapping.hpp"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "rosidl_typesupport_introspection_cpp/message_type_support_decl.hpp"
#include "sertype.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

using rmw_dds_common::msg::ParticipantEntitiesInfo;

constexpr const char * kDiscoveryTopic = "ros_discovery_info";

const MessageMembers * discovery_members()
{
  return members_of(
    rosidl_typesupport_introspection_cpp::get_message_type_support_handle<
      ParticipantEntitiesInfo>());
}

bool starts_with(const std::string & s, const char * prefix)
{
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ends_with(const std::string & s, const std::string & suffix)
{
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void add_type(NamesAndTypes & result, const std::string & name, const std::string & type)
{
  auto & types = result[name];
  if (std::find(types.begin(), types.end(), type) == types.end()) {
    types.push_back(type);
    std::sort(types.begin(), types.end());
  }
}

bool same_gid(const rmw_gid_t & a, const rmw_gid_t & b)
{
  return std::memcmp(a.data, b.data, RMW_GID_STORAGE_SIZE) == 0;
}

void copy_gid(rmw_dds_common::msg::Gid & out, const rmw_gid_t & gid)
{
  std::memcpy(out.data.data(), gid.data, RMW_GID_STORAGE_SIZE);
}

}  // namespace

GraphCache::GraphCache(std::shared_ptr<Participant> participant)
: participant_(std::move(participant))
{
  // The readers get their listeners only once all of them exist: a listener drains every
  // reader, and Cyclone calls it as soon as a reader is there.
  const Participant & p = *participant_;
  const dds_entity_t pp = p.handle();
  participant_reader_ = Entity(
    p, create_reader(pp, DDS_BUILTIN_TOPIC_DCPSPARTICIPANT, nullptr, nullptr),
    "built-in topic reader", "DCPSParticipant");
  publication_reader_ = Entity(
    p, create_reader(pp, DDS_BUILTIN_TOPIC_DCPSPUBLICATION, nullptr, nullptr),
    "built-in topic reader", "DCPSPublication");
  subscription_reader_ = Entity(
    p, create_reader(pp, DDS_BUILTIN_TOPIC_DCPSSUBSCRIPTION, nullptr, nullptr),
    "built-in topic reader", "DCPSSubscription");

  discovery_topic_ = Entity(
    p, create_topic(pp, kDiscoveryTopic, discovery_members(), false), "topic", kDiscoveryTopic);
  rmw_qos_profile_t profile{};
  profile.history = RMW_QOS_POLICY_HISTORY_KEEP_LAST;
  profile.depth = 1;
  profile.reliability = RMW_QOS_POLICY_RELIABILITY_RELIABLE;
  profile.durability = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
  QosPtr writer_qos = to_dds_qos(profile, EndpointKind::Writer);
  discovery_writer_ = Entity(
    p, create_writer(pp, discovery_topic_.get(), writer_qos.get(), nullptr), "writer",
    kDiscoveryTopic);

  profile.history = RMW_QOS_POLICY_HISTORY_KEEP_ALL;
  QosPtr reader_qos = to_dds_qos(profile, EndpointKind::Reader);
  dds_qset_ignorelocal(reader_qos.get(), DDS_IGNORELOCAL_PARTICIPANT);
  discovery_reader_ = Entity(
    p, create_reader(pp, discovery_topic_.get(), reader_qos.get(), nullptr), "reader",
    kDiscoveryTopic);

  ListenerPtr builtin_listener(dds_create_listener(this));
  dds_lset_data_available(builtin_listener.get(), &GraphCache::on_builtin_data);
  ListenerPtr discovery_listener(dds_create_listener(this));
  dds_lset_data_available(discovery_listener.get(), &GraphCache::on_discovery_data);
  for (const Entity * reader :
    {&participant_reader_, &publication_reader_, &subscription_reader_})
  {
    check_created(
      dds_set_listener(reader->get(), builtin_listener.get()), "listener", "built-in topics");
  }
  check_created(
    dds_set_listener(discovery_reader_.get(), discovery_listener.get()), "listener",
    kDiscoveryTopic);
  refresh();  // what arrived before the listeners were there
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    announce_locked();
  }
}

GraphCache::~GraphCache() = default;

void GraphCache::on_builtin_data(dds_entity_t, void * arg)
{
  auto * self = static_cast<GraphCache *>(arg);
  bool changed;
  {
    std::lock_guard<std::mutex> lock(self->cache_mutex_);
    changed = self->drain_builtin_locked();
  }
  if (changed) {
    self->changed();
  }
}

void GraphCache::on_discovery_data(dds_entity_t, void * arg)
{
  auto * self = static_cast<GraphCache *>(arg);
  bool changed;
  {
    std::lock_guard<std::mutex> lock(self->cache_mutex_);
    changed = self->drain_builtin_locked();
    changed = self->drain_discovery_locked() || changed;
  }
  if (changed) {
    self->changed();
  }
}

bool GraphCache::drain_builtin_locked()
{
  constexpr size_t kBatch = 16;
  bool changed = false;
  void * samples[kBatch];
  dds_sample_info_t infos[kBatch];

  while (true) {
    samples[0] = nullptr;
    const dds_return_t n = dds_take(participant_reader_.get(), samples, infos, kBatch, kBatch);
    if (n <= 0) {
      break;
    }
    for (int32_t i = 0; i < n; ++i) {
      const dds_instance_handle_t ih = infos[i].instance_handle;
      if (infos[i].valid_data && infos[i].instance_state == DDS_ALIVE_INSTANCE_STATE) {
        const auto * p = static_cast<const dds_builtintopic_participant_t *>(samples[i]);
        Key key;
        std::memcpy(key.data(), p->key.v, key.size());
        participants_[ih] = key;
      } else if (infos[i].instance_state != DDS_ALIVE_INSTANCE_STATE) {
        auto it = participants_.find(ih);
        if (it != participants_.end()) {
          peer_nodes_.erase(it->second);
          participants_.erase(it);
        }
      }
      changed = true;
    }
    dds_return_loan(participant_reader_.get(), samples, n);
  }

  for (dds_entity_t reader : {publication_reader_.get(), subscription_reader_.get()}) {
    const bool is_writer = reader == publication_reader_.get();
    while (true) {
      samples[0] = nullptr;
      const dds_return_t n = dds_take(reader, samples, infos, kBatch, kBatch);
      if (n <= 0) {
        break;
      }
      for (int32_t i = 0; i < n; ++i) {
        const dds_instance_handle_t ih = infos[i].instance_handle;
        if (infos[i].valid_data && infos[i].instance_state == DDS_ALIVE_INSTANCE_STATE) {
          const auto * e = static_cast<const dds_builtintopic_endpoint_t *>(samples[i]);
          endpoints_[ih] = Endpoint{
            e->topic_name ? e->topic_name : "", e->type_name ? e->type_name : "", is_writer};
          changed = true;
        } else if (infos[i].instance_state != DDS_ALIVE_INSTANCE_STATE) {
          changed = endpoints_.erase(ih) > 0 || changed;
        }
      }
      dds_return_loan(reader, samples, n);
    }
  }
  return changed;
}

bool GraphCache::drain_discovery_locked()
{
  bool changed = false;
  while (true) {
    ParticipantEntitiesInfo info;
    void * sample = &info;
    dds_sample_info_t si;
    if (dds_take(discovery_reader_.get(), &sample, &si, 1, 1) <= 0) {
      break;
    }
    if (!si.valid_data) {
      continue;
    }
    Key key;
    std::memcpy(key.data(), info.gid.data.data(), key.size());
    // Built-in samples are drained first, and a peer's participant is discovered before any
    // of its writers, so an unknown key is a participant that has already left.
    const bool alive = std::any_of(
      participants_.begin(), participants_.end(),
      [&](const std::pair<const dds_instance_handle_t, Key> & p) {return p.second == key;});
    if (!alive) {
      continue;
    }
    std::vector<std::pair<std::string, std::string>> names;
    for (const auto & node : info.node_entities_info_seq) {
      names.emplace_back(node.node_name, node.node_namespace);
    }
    peer_nodes_[key] = std::move(names);
    changed = true;
  }
  return changed;
}

void GraphCache::refresh()
{
  Participant::Use use(*participant_);
  if (!use) {
    return;
  }
  bool changed;
  {
    std::lock_guard<std::mutex> lock(cache_mutex_);
    changed = drain_builtin_locked();
    changed = drain_discovery_locked() || changed;
  }
  if (changed) {
    this->changed();
  }
}

size_t GraphCache::count_writers(const std::string & dds_topic)
{
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  size_t n = 0;
  for (const auto & e : endpoints_) {
    n += e.second.is_writer && e.second.topic == dds_topic;
  }
  return n;
}

size_t GraphCache::count_readers(const std::string & dds_topic)
{
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  size_t n = 0;
  for (const auto & e : endpoints_) {
    n += !e.second.is_writer && e.second.topic == dds_topic;
  }
  return n;
}

NamesAndTypes GraphCache::topic_names_and_types()
{
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  NamesAndTypes result;
  for (const auto & entry : endpoints_) {
    const Endpoint & e = entry.second;
    if (!starts_with(e.topic, "rt/")) {
      continue;
    }
    const std::string type = ros_type_name(e.type);
    if (!type.empty()) {
      add_type(result, e.topic.substr(2), type);
    }
  }
  return result;
}

NamesAndTypes GraphCache::service_names_and_types()
{
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  NamesAndTypes result;
  for (const auto & entry : endpoints_) {
    const Endpoint & e = entry.second;
    std::string topic_suffix;
    std::string type_suffix;
    if (starts_with(e.topic, "rq/")) {
      topic_suffix = "Request";
      type_suffix = "_Request";
    } else if (starts_with(e.topic, "rr/")) {
      topic_suffix = "Reply";
      type_suffix = "_Response";
    } else {
      continue;
    }
    std::string type = ros_type_name(e.type);
    if (!ends_with(e.topic, topic_suffix) || !ends_with(type, type_suffix)) {
      continue;
    }
    type.erase(type.size() - type_suffix.size());
    add_type(result, e.topic.substr(2, e.topic.size() - 2 - topic_suffix.size()), type);
  }
  return result;
}

std::vector<std::pair<std::string, std::string>> GraphCache::node_names()
{
  std::vector<std::pair<std::string, std::string>> names;
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    for (const auto & node : nodes_) {
      names.emplace_back(node.second.name, node.second.namespace_);
    }
  }
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  for (const auto & peer : peer_nodes_) {
    names.insert(names.end(), peer.second.begin(), peer.second.end());
  }
  return names;
}

uint64_t GraphCache::generation() const
{
  std::lock_guard<std::mutex> lock(generation_mutex_);
  return generation_;
}

void GraphCache::wait_for_change(uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
  std::unique_lock<std::mutex> lock(generation_mutex_);
  const uint64_t interrupts = interrupts_;
  generation_cv_.wait_until(
    lock, deadline, [&] {return generation_ != seen || interrupts_ != interrupts;});
}

void GraphCache::interrupt_waits()
{
  {
    std::lock_guard<std::mutex> lock(generation_mutex_);
    ++interrupts_;
  }
  generation_cv_.notify_all();
}

void GraphCache::changed()
{
  {
    std::lock_guard<std::mutex> lock(generation_mutex_);
    ++generation_;
  }
  generation_cv_.notify_all();
}

uint64_t GraphCache::add_node(const std::string & name, const std::string & namespace_)
{
  uint64_t key;
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    key = next_node_++;
    nodes_[key] = NodeInfo{name, namespace_, {}, {}};
    announce_locked();
  }
  changed();
  return key;
}

void GraphCache::remove_node(uint64_t node)
{
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    if (nodes_.erase(node) == 0) {
      return;
    }
    announce_locked();
  }
  changed();
}

void GraphCache::add_endpoint(uint64_t node, const rmw_gid_t & gid, bool is_reader)
{
  std::lock_guard<std::mutex> lock(nodes_mutex_);
  auto it = nodes_.find(node);
  if (it == nodes_.end()) {
    return;
  }
  (is_reader ? it->second.readers : it->second.writers).push_back(gid);
  announce_locked();
}

void GraphCache::remove_endpoint(uint64_t node, const rmw_gid_t & gid, bool is_reader)
{
  std::lock_guard<std::mutex> lock(nodes_mutex_);
  auto it = nodes_.find(node);
  if (it == nodes_.end()) {
    return;
  }
  auto & gids = is_reader ? it->second.readers : it->second.writers;
  auto pos = std::find_if(
    gids.begin(), gids.end(), [&](const rmw_gid_t & g) {return same_gid(g, gid);});
  if (pos == gids.end()) {
    return;
  }
  gids.erase(pos);
  announce_locked();
}

void GraphCache::announce_locked()
{
  ParticipantEntitiesInfo info;
  copy_gid(info.gid, participant_->gid());
  for (const auto & entry : nodes_) {
    rmw_dds_common::msg::NodeEntitiesInfo node;
    node.node_name = entry.second.name;
    node.node_namespace = entry.second.namespace_;
    for (const auto & gid : entry.second.readers) {
      node.reader_gid_seq.emplace_back();
      copy_gid(node.reader_gid_seq.back(), gid);
    }
    for (const auto & gid : entry.second.writers) {
      node.writer_gid_seq.emplace_back();
      copy_gid(node.writer_gid_seq.back(), gid);
    }
    info.node_entities_info_seq.push_back(std::move(node));
  }
  Participant::Use use(*participant_);
  if (use) {
    announce_failures_.check(dds_write(discovery_writer_.get(), &info));
  }
}

size_t GraphCache::peer_count()
{
  refresh();
  std::lock_guard<std::mutex> lock(cache_mutex_);
  return peer_nodes_.size();
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
