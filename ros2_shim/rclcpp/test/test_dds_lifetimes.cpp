// Failure paths and lifetimes of the DDS transport, checked from inside the library: endpoints
// whose creation is refused halfway, the participant closing while a listener runs, and the
// graph cache's memory of peers that have left. Run under AddressSanitizer, a listener left on
// a freed endpoint shows up as a use after free.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "dds_transport.hpp"
#include "entity.hpp"
#include "environment.hpp"
#include "graph_cache.hpp"
#include "qos_mapping.hpp"
#include "rcutils/logging.h"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rclcpp/shim/type_support.hpp"
#include "rmw/qos_profiles.h"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "sertype.hpp"
#include "write_failures.hpp"

using namespace std::chrono_literals;
using rclcpp::shim::EndpointOptions;
using rclcpp::shim::IncompatibleQosStatus;
using rclcpp::shim::WakeTarget;
using rclcpp::shim::dds::DdsTransport;
using rclcpp::shim::dds::GraphCache;
using rclcpp::shim::dds::Participant;
using rmw_dds_common::msg::ParticipantEntitiesInfo;
using GetParameters = rcl_interfaces::srv::GetParameters;
using Log = rcl_interfaces::msg::Log;

namespace
{

constexpr auto kTimeout = 20s;

/// A transport or participant of the test's domain, without security.
template<typename T>
std::shared_ptr<T> make_for_domain()
{
  return std::make_shared<T>(
    rclcpp::shim::dds::domain_id_from_environment(), rclcpp::shim::dds::SecuritySettings{});
}

class DdsLifetimes : public ::testing::Test
{
protected:
  void SetUp() override
  {
    transport_ = make_for_domain<DdsTransport>();
  }

  void TearDown() override
  {
    rclcpp::shim::dds::fail_endpoints_after(-1);
    transport_->close();
    transport_.reset();
  }

  static EndpointOptions options(const std::string & name, const rmw_qos_profile_t & qos)
  {
    EndpointOptions o;
    o.name = name;
    o.qos = qos;
    o.wake = std::make_shared<WakeTarget>();
    return o;
  }

  /// Waits (on graph changes) until `done` holds; false if it never does.
  bool graph_until(const std::function<bool()> & done)
  {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (!done()) {
      const uint64_t seen = transport_->graph_generation();
      if (done()) {
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      transport_->wait_for_graph_change(seen, std::chrono::steady_clock::now() + 100ms);
    }
    return true;
  }

  bool has_node(const std::string & name)
  {
    const auto names = transport_->get_node_names();
    return std::any_of(
      names.begin(), names.end(), [&](const auto & n) {return n.first == name;});
  }

  std::shared_ptr<DdsTransport> transport_;
};

TEST_F(DdsLifetimes, endpoints_refused_halfway_leave_no_entity_behind)
{
  const auto & type = rclcpp::shim::service_type<GetParameters>();
  const rmw_qos_profile_t qos = rmw_qos_profile_services_default;
  auto & graph = transport_->graph();

  // A service whose request reader exists when its reply writer is refused, and a client whose
  // request writer exists when its reply reader is refused.
  rclcpp::shim::dds::fail_endpoints_after(1);
  EXPECT_THROW(transport_->create_service(type, options("/half/service", qos)), std::runtime_error);
  rclcpp::shim::dds::fail_endpoints_after(1);
  EXPECT_THROW(transport_->create_client(type, options("/half/client", qos)), std::runtime_error);
  rclcpp::shim::dds::fail_endpoints_after(-1);

  // Endpoints made afterwards are in the graph, so the refused ones would be by now.
  auto service = transport_->create_service(type, options("/half/service", qos));
  auto server_for_client_name = transport_->create_service(type, options("/half/client", qos));
  auto client = transport_->create_client(type, options("/half/service", qos));
  ASSERT_TRUE(graph_until([&] {return client->service_available();}));
  EXPECT_EQ(graph.count_readers("rq/half/serviceRequest"), 1u);
  EXPECT_EQ(graph.count_writers("rq/half/clientRequest"), 0u);

  // A request that every reader of the request topic receives; it is answered once.
  auto request = std::make_shared<GetParameters::Request>();
  request->names = {"p"};
  client->send_request(request);
  rmw_request_id_t header{};
  std::shared_ptr<const void> received;
  ASSERT_TRUE(graph_until([&] {return service->take_request(header, received);}));
  service->send_response(header, std::make_shared<GetParameters::Response>());
  std::shared_ptr<void> response;
  EXPECT_TRUE(graph_until([&] {return client->take_response(header, response);}));
}

TEST_F(DdsLifetimes, a_graph_cache_refused_halfway_leaves_no_listener_behind)
{
  auto participant = make_for_domain<Participant>();
  // The participant and publication readers exist when the subscription reader is refused.
  rclcpp::shim::dds::fail_endpoints_after(2);
  EXPECT_THROW(GraphCache cache(participant), std::runtime_error);
  rclcpp::shim::dds::fail_endpoints_after(-1);

  // New participants and endpoints: what a leftover built-in reader would be told about.
  auto other = make_for_domain<Participant>();
  auto publisher = transport_->create_publisher(
    rclcpp::shim::message_type<Log>(), options("/half/log", rmw_qos_profile_default));
  ASSERT_TRUE(graph_until([&] {return transport_->count_publishers("/half/log") == 1u;}));
  other->close();
  participant->close();
}

TEST_F(DdsLifetimes, closing_while_a_listener_waits_for_the_participant_does_not_hang)
{
  // A listener that needs the participant (as one that logs to /rosout would) runs while the
  // process exits: it must find the participant gone rather than wait for exit to finish.
  std::mutex mutex;
  std::condition_variable cv;
  bool entered = false;
  bool closing = false;
  std::atomic<bool> found_alive{false};
  auto sub_options = options("/exit/qos", rmw_qos_profile_default);  // reliable
  sub_options.on_incompatible_qos = [&](const IncompatibleQosStatus &) {
      std::unique_lock<std::mutex> lock(mutex);
      if (entered) {
        return;
      }
      entered = true;
      cv.notify_all();
      cv.wait(lock, [&] {return closing;});
      lock.unlock();
      // Gives close() the time to start deleting, which is where it used to hold the lock
      // this Use takes; passing does not depend on it.
      std::this_thread::sleep_for(200ms);
      Participant::Use use(transport_->participant());
      found_alive = static_cast<bool>(use);
    };
  auto subscription =
    transport_->create_subscription(rclcpp::shim::message_type<Log>(), sub_options);

  auto pub_qos = rmw_qos_profile_default;
  pub_qos.reliability = RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT;
  auto creating = std::async(
    std::launch::async, [&] {
      try {
        transport_->create_publisher(
          rclcpp::shim::message_type<Log>(), options("/exit/qos", pub_qos));
      } catch (const std::runtime_error &) {
        // refused because the participant went away meanwhile
      }
    });
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kTimeout, [&] {return entered;}));
    closing = true;
  }
  cv.notify_all();
  auto closed = std::async(std::launch::async, [&] {transport_->close();});
  if (closed.wait_for(kTimeout) != std::future_status::ready) {
    ADD_FAILURE() << "closing the participant hangs while a listener waits for it";
    std::_Exit(1);  // the stuck threads cannot be joined
  }
  EXPECT_EQ(creating.wait_for(kTimeout), std::future_status::ready);
  EXPECT_FALSE(found_alive);
}

TEST_F(DdsLifetimes, nodes_of_a_peer_that_left_never_come_back)
{
  auto & graph = transport_->graph();
  const size_t peers_before = graph.peer_count();
  const auto domain = static_cast<dds_domainid_t>(
    rclcpp::shim::dds::domain_id_from_environment());
  const auto * members = rclcpp::shim::dds::members_of(
    rosidl_typesupport_introspection_cpp::get_message_type_support_handle<
      ParticipantEntitiesInfo>());
  rmw_qos_profile_t qos = rmw_qos_profile_default;
  qos.depth = 10;
  qos.durability = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
  const auto writer_qos =
    rclcpp::shim::dds::to_dds_qos(qos, rclcpp::shim::dds::EndpointKind::Writer);

  // A peer participant announcing nodes the way every ROS process does.
  struct Peer
  {
    dds_entity_t participant;
    dds_entity_t writer;
    rmw_gid_t gid;
  };
  auto join = [&] {
      Peer peer{};
      peer.participant = dds_create_participant(domain, nullptr, nullptr);
      const dds_entity_t topic = rclcpp::shim::dds::create_topic(
        peer.participant, "ros_discovery_info", members, false);
      peer.writer = dds_create_writer(peer.participant, topic, writer_qos.get(), nullptr);
      peer.gid = rclcpp::shim::dds::entity_gid(peer.participant);
      return peer;
    };
  auto announce = [](const Peer & from, const rmw_gid_t & gid, const std::string & node) {
      ParticipantEntitiesInfo info;
      std::copy(gid.data, gid.data + info.gid.data.size(), info.gid.data.begin());
      info.node_entities_info_seq.emplace_back();
      info.node_entities_info_seq.back().node_name = node;
      info.node_entities_info_seq.back().node_namespace = "/";
      return dds_write(from.writer, &info);
    };

  for (int round = 0; round < 3; ++round) {
    Peer leaving = join();
    ASSERT_GT(leaving.writer, 0);
    ASSERT_GE(announce(leaving, leaving.gid, "leaving"), 0);
    ASSERT_TRUE(graph_until([&] {return has_node("leaving");}));
    dds_delete(leaving.participant);
    ASSERT_TRUE(graph_until([&] {return !has_node("leaving");}));

    // The departed peer's announcement arrives late (relayed here by another peer), followed
    // by that peer's own: once the second is known, the first has been processed.
    Peer staying = join();
    ASSERT_GE(announce(staying, leaving.gid, "leaving"), 0);
    ASSERT_GE(announce(staying, staying.gid, "staying"), 0);
    ASSERT_TRUE(graph_until([&] {return has_node("staying");}));
    EXPECT_FALSE(has_node("leaving"));
    dds_delete(staying.participant);
    ASSERT_TRUE(graph_until([&] {return !has_node("staying");}));
    EXPECT_EQ(graph.peer_count(), peers_before);
  }
}

std::atomic<int> g_write_failure_lines{0};

TEST(WriteFailures, are_counted_and_reported_once_a_second_at_most)
{
  g_write_failure_lines = 0;
  const auto previous = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(
    [](const rcutils_log_location_t *, int, const char *, rcutils_time_point_value_t,
    const char * format, va_list * args) {
      char line[512];
      va_list copy;
      va_copy(copy, *args);
      vsnprintf(line, sizeof(line), format, copy);
      va_end(copy);
      if (std::string(line).find("publisher on '/refused'") != std::string::npos) {
        ++g_write_failure_lines;
      }
    });
  rclcpp::shim::dds::WriteFailures failures("publisher on '/refused'");
  EXPECT_TRUE(failures.check(DDS_RETCODE_OK));
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(failures.check(DDS_RETCODE_TIMEOUT));
  }
  rcutils_logging_set_output_handler(previous);
  EXPECT_EQ(failures.count(), 5u);
  EXPECT_EQ(g_write_failure_lines.load(), 1);
}

}  // namespace
