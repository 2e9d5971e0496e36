// Two ROS processes on one domain: topics, QoS, services and graph counts between this test
// and the dds_peer helper program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

#include "node_fixture.hpp"
#include "peer_process.hpp"

using namespace std::chrono_literals;
using std_msgs::msg::String;
using GetParameters = rcl_interfaces::srv::GetParameters;

namespace
{

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

std::vector<std::string> peer_args(std::vector<std::string> args)
{
  args.insert(args.begin(), DDS_PEER_PATH);
  return args;
}

class CrossProcessTest : public NodeFixture
{
protected:
  CrossProcessTest()
  : NodeFixture("cross_probe", "/xp", std::chrono::seconds(20)) {}

  rclcpp::Subscription<String>::SharedPtr collect(
    rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos,
    std::vector<std::string> & received)
  {
    return node.create_subscription<String>(
      topic, qos, [&received](const String & message) {received.push_back(message.data);});
  }
};

TEST_F(CrossProcessTest, messages_arrive_in_order_with_the_publisher_gid_and_source_time)
{
  const int64_t started = system_now_ns();
  std::vector<std::string> received;
  std::vector<rmw_message_info_t> infos;
  auto subscription = node_->create_subscription<String>(
    "chatter", 10, [&](const String & message, const rclcpp::MessageInfo & info) {
      received.push_back(message.data);
      infos.push_back(info.get_rmw_message_info());
    });
  PeerProcess talker(peer_args({"talker", "/xp/chatter", "5", "--wait-subscribers", "1"}));

  ASSERT_TRUE(spin_until([&] {return received.size() >= 5;})) << talker.err();
  EXPECT_EQ(received, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(subscription->get_publisher_count(), 1u);

  const rmw_gid_t & gid = infos.front().publisher_gid;
  ASSERT_NE(gid.implementation_identifier, nullptr);
  EXPECT_STREQ(gid.implementation_identifier, "rmw_cyclonedds_cpp");
  const uint8_t zeros[RMW_GID_STORAGE_SIZE] = {};
  EXPECT_NE(std::memcmp(gid.data, zeros, 16), 0) << "the writer's GUID";
  EXPECT_EQ(std::memcmp(gid.data + 16, zeros, RMW_GID_STORAGE_SIZE - 16), 0);
  int64_t previous = started;
  for (const auto & info : infos) {
    EXPECT_EQ(std::memcmp(info.publisher_gid.data, gid.data, RMW_GID_STORAGE_SIZE), 0);
    EXPECT_GE(info.source_timestamp, previous);
    EXPECT_LE(info.source_timestamp, system_now_ns());
    EXPECT_FALSE(info.from_intra_process);
    previous = info.source_timestamp;
  }
  EXPECT_EQ(talker.stop(), 0) << talker.err();
}

TEST_F(CrossProcessTest, best_effort_subscriptions_hear_best_effort_and_reliable_publishers)
{
  std::vector<std::string> from_best_effort;
  std::vector<std::string> from_reliable;
  auto lossy = collect(*node_, "lossy", rclcpp::SensorDataQoS(), from_best_effort);
  auto steady = collect(*node_, "steady", rclcpp::QoS(10).best_effort(), from_reliable);
  // Best effort has no retransmission, so whatever goes out before both sides have matched
  // is lost; the talkers therefore publish on and on, and a few in order is the check.
  PeerProcess best_effort(
    peer_args({"talker", "/xp/lossy", "0", "--best-effort", "--every-ms", "20"}));
  PeerProcess reliable(peer_args({"talker", "/xp/steady", "0", "--every-ms", "20"}));

  ASSERT_TRUE(
    spin_until([&] {return from_best_effort.size() >= 3 && from_reliable.size() >= 3;}))
    << best_effort.err() << reliable.err();
  for (const auto * received : {&from_best_effort, &from_reliable}) {
    for (size_t i = 1; i < received->size(); ++i) {
      EXPECT_LT(std::stoi((*received)[i - 1]), std::stoi((*received)[i]));
    }
  }
  EXPECT_EQ(best_effort.stop(), 0);
  EXPECT_EQ(reliable.stop(), 0);
}

TEST_F(CrossProcessTest, keep_last_subscription_keeps_only_its_depth)
{
  // The shallow subscription is not taken from until the talker has gone: its samples reach
  // every subscription of this process before the talker's departure does, so by then the
  // shallow one holds all it will ever get.
  auto slow_node = std::make_shared<rclcpp::Node>("slow_probe", "/xp");
  rclcpp::executors::SingleThreadedExecutor slow_executor;
  slow_executor.add_node(slow_node);
  std::vector<std::string> shallow;
  std::vector<std::string> deep;
  auto shallow_sub = collect(*slow_node, "burst", rclcpp::QoS(2), shallow);
  auto deep_sub = collect(*node_, "burst", rclcpp::QoS(100), deep);
  PeerProcess talker(peer_args({"talker", "/xp/burst", "10", "--wait-subscribers", "2"}));

  ASSERT_TRUE(spin_until([&] {return deep.size() == 10;})) << talker.err();
  EXPECT_EQ(talker.stop(), 0);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (shallow_sub->get_publisher_count() != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(shallow_sub->get_publisher_count(), 0u);
  while (shallow.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    slow_executor.spin_once(10ms);
  }
  slow_executor.spin_some();
  EXPECT_EQ(shallow, (std::vector<std::string>{"9", "10"}));
}

TEST_F(CrossProcessTest, transient_local_history_replays_to_a_late_subscriber)
{
  PeerProcess talker(
    peer_args({"talker", "/xp/latched", "10", "--transient-local", "--depth", "3"}));
  ASSERT_TRUE(talker.wait_for("published")) << talker.err();

  std::vector<std::string> received;
  auto late = collect(*node_, "latched", rclcpp::QoS(10).transient_local(), received);
  ASSERT_TRUE(spin_until([&] {return received.size() >= 3;}));
  EXPECT_EQ(received, (std::vector<std::string>{"8", "9", "10"}));
}

TEST_F(CrossProcessTest, incompatible_qos_is_reported_in_both_processes)
{
  int requested_events = 0;
  rclcpp::SubscriptionOptions sub_options;
  sub_options.event_callbacks.incompatible_qos_callback =
    [&](rclcpp::QOSRequestedIncompatibleQoSInfo &) {++requested_events;};
  auto reliable_sub = node_->create_subscription<String>(
    "be", rclcpp::QoS(10).reliable(), [](const String &) {}, sub_options);
  PeerProcess best_effort_talker(peer_args({"talker", "/xp/be", "1", "--best-effort"}));

  int offered_events = 0;
  rclcpp::PublisherOptions pub_options;
  pub_options.event_callbacks.incompatible_qos_callback =
    [&](rclcpp::QOSOfferedIncompatibleQoSInfo &) {++offered_events;};
  auto volatile_pub = node_->create_publisher<String>("tl", rclcpp::QoS(10), pub_options);
  PeerProcess transient_listener(peer_args({"listener", "/xp/tl", "--transient-local"}));

  ASSERT_TRUE(spin_until([&] {return requested_events > 0 && offered_events > 0;}));
  EXPECT_TRUE(
    best_effort_talker.wait_for(
      "requesting incompatible QoS. No messages will be sent to it. "
      "Last incompatible policy: RELIABILITY_QOS_POLICY", 20s, true)) << best_effort_talker.err();
  EXPECT_TRUE(
    transient_listener.wait_for(
      "offering incompatible QoS. No messages will be sent to it. "
      "Last incompatible policy: DURABILITY_QOS_POLICY", 20s, true)) << transient_listener.err();
  EXPECT_EQ(reliable_sub->get_publisher_count(), 0u);
  EXPECT_EQ(volatile_pub->get_subscription_count(), 0u);
}

TEST_F(CrossProcessTest, calls_made_right_after_wait_for_service_are_answered)
{
  PeerProcess server(peer_args({"server", "/xp/params"}));
  ASSERT_TRUE(server.wait_for("serving")) << server.err();
  const std::string suffix = "@" + std::to_string(server.pid());

  // Another process: its client calls the moment the service is available.
  PeerProcess remote_client(peer_args({"client", "/xp/params", "alpha"}));
  EXPECT_EQ(remote_client.wait_exit(), 0) << remote_client.out() << remote_client.err();
  EXPECT_NE(remote_client.out().find("reply alpha" + suffix), std::string::npos);

  // Fresh clients here, each calling at once, each answered exactly once.
  for (int i = 0; i < 3; ++i) {
    auto client = node_->create_client<GetParameters>("params");
    ASSERT_TRUE(client->wait_for_service(20s));
    auto request = std::make_shared<GetParameters::Request>();
    request->names = {"beta" + std::to_string(i)};
    auto future = client->async_send_request(request);
    ASSERT_EQ(
      executor_->spin_until_future_complete(future, 20s), rclcpp::FutureReturnCode::SUCCESS);
    const auto response = future.get();
    ASSERT_EQ(response->values.size(), 1u);
    EXPECT_EQ(response->values[0].string_value, "beta" + std::to_string(i) + suffix);
  }
  EXPECT_EQ(server.stop(), 0) << server.err();
}

TEST_F(CrossProcessTest, availability_follows_a_server_process_and_a_vanished_one_does_not_block)
{
  auto client = node_->create_client<GetParameters>("comes_and_goes");
  EXPECT_FALSE(client->service_is_ready());

  auto wait_until_gone = [&] {
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (client->service_is_ready() && std::chrono::steady_clock::now() < deadline) {
        executor_->spin_once(10ms);
      }
      return !client->service_is_ready();
    };

  {
    PeerProcess server(peer_args({"server", "/xp/comes_and_goes"}));
    ASSERT_TRUE(client->wait_for_service(20s)) << server.err();
    EXPECT_TRUE(client->service_is_ready());
    EXPECT_EQ(server.stop(), 0);
  }
  ASSERT_TRUE(wait_until_gone());

  // Nobody answers now; waiting for the reply must end at the timeout.
  auto request = std::make_shared<GetParameters::Request>();
  request->names = {"lost"};
  auto future = client->async_send_request(request);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(
    executor_->spin_until_future_complete(future, 300ms), rclcpp::FutureReturnCode::TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
  EXPECT_EQ(client->prune_pending_requests(), 1u);

  PeerProcess again(peer_args({"server", "/xp/comes_and_goes"}));
  ASSERT_TRUE(client->wait_for_service(20s)) << again.err();
  request->names = {"back"};
  auto answered = client->async_send_request(request);
  ASSERT_EQ(
    executor_->spin_until_future_complete(answered, 20s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(answered.get()->values.at(0).string_value, "back@" + std::to_string(again.pid()));
}

TEST_F(CrossProcessTest, endpoint_counts_include_the_other_process)
{
  auto local_pub = node_->create_publisher<String>("counted", 10);
  auto counts_are = [&](size_t publishers, size_t subscribers) {
      return spin_until(
        [&] {
          return node_->count_publishers("/xp/counted") == publishers &&
          node_->count_subscribers("/xp/counted") == subscribers;
        });
    };
  // Even this process's own publisher counts only once discovery has reported it.
  EXPECT_TRUE(counts_are(1, 0));
  {
    PeerProcess listener_a(peer_args({"listener", "/xp/counted"}));
    PeerProcess listener_b(peer_args({"listener", "/xp/counted", "--best-effort"}));
    PeerProcess talker(peer_args({"talker", "/xp/counted", "0"}));
    EXPECT_TRUE(counts_are(2, 2));
    EXPECT_TRUE(spin_until([&] {return local_pub->get_subscription_count() == 2;}));
  }
  // The helpers are gone; their participants left with them.
  EXPECT_TRUE(counts_are(1, 0));
}

}  // namespace
