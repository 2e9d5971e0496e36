// What this participant knows of the ROS graph of its domain.
//
// Fed by the built-in DCPSParticipant/DCPSPublication/DCPSSubscription readers (which
// include this process's own endpoints) and by peers' ros_discovery_info announcements;
// announces this process's nodes and their endpoints the same way.
#ifndef RCLCPP__SHIM__DDS__GRAPH_CACHE_HPP_
#define RCLCPP__SHIM__DDS__GRAPH_CACHE_HPP_

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dds/dds.h"
#include "entity.hpp"
#include "participant.hpp"
#include "rclcpp/shim/transport.hpp"
#include "write_failures.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

class GraphCache
{
public:
  explicit GraphCache(std::shared_ptr<Participant> participant);
  ~GraphCache();

  GraphCache(const GraphCache &) = delete;
  GraphCache & operator=(const GraphCache &) = delete;

  // Endpoints by DDS topic name, whatever their QoS or type.
  size_t count_writers(const std::string & dds_topic);
  size_t count_readers(const std::string & dds_topic);
  NamesAndTypes topic_names_and_types();
  NamesAndTypes service_names_and_types();
  std::vector<std::pair<std::string, std::string>> node_names();

  uint64_t generation() const;
  void wait_for_change(uint64_t seen, std::chrono::steady_clock::time_point deadline);
  void interrupt_waits();
  /// Count a change and wake every waiter.
  void changed();

  // This process's nodes, as announced in ros_discovery_info.
  uint64_t add_node(const std::string & name, const std::string & namespace_);
  void remove_node(uint64_t node);
  void add_endpoint(uint64_t node, const rmw_gid_t & gid, bool is_reader);
  void remove_endpoint(uint64_t node, const rmw_gid_t & gid, bool is_reader);

  /// Peers whose nodes are known (for tests of the cache's bounds).
  size_t peer_count();

private:
  using Key = std::array<uint8_t, 16>;
  struct Endpoint
  {
    std::string topic;
    std::string type;
    bool is_writer;
  };
  struct NodeInfo
  {
    std::string name;
    std::string namespace_;
    std::vector<rmw_gid_t> readers;
    std::vector<rmw_gid_t> writers;
  };

  static void on_builtin_data(dds_entity_t reader, void * arg);
  static void on_discovery_data(dds_entity_t reader, void * arg);
  /// Take everything the built-in readers hold; true if the graph changed.
  bool drain_builtin_locked();
  bool drain_discovery_locked();
  /// Bring the cache up to date before answering a query.
  void refresh();
  void announce_locked();
  template<typename Fn>
  void for_each_endpoint(Fn && fn);

  std::shared_ptr<Participant> participant_;
  WriteFailures announce_failures_{"ros_discovery_info announcement"};

  // The cache, fed from Cyclone's listener thread and from queries.
  std::mutex cache_mutex_;
  std::map<dds_instance_handle_t, Key> participants_;
  // Peers' nodes by participant; only live participants have an entry, so a late
  // announcement of a participant that has left cannot bring its nodes back.
  std::map<dds_instance_handle_t, Endpoint> endpoints_;
  std::map<Key, std::vector<std::pair<std::string, std::string>>> peer_nodes_;

  // This process's nodes; announcements are written under this mutex so they stay ordered.
  std::mutex nodes_mutex_;
  std::map<uint64_t, NodeInfo> nodes_;
  uint64_t next_node_{1};

  mutable std::mutex generation_mutex_;
  std::condition_variable generation_cv_;
  uint64_t generation_{0};
  uint64_t interrupts_{0};

  // Last, so that they are deleted (and their listeners finished) before anything else goes.
  Entity participant_reader_;
  Entity publication_reader_;
  Entity subscription_reader_;
  Entity discovery_topic_;
  Entity discovery_writer_;
  Entity discovery_reader_;
};

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__GRAPH_CACHE_HPP_
