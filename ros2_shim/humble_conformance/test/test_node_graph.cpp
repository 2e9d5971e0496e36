// What a node shows of the graph (nodes, topics, services with their types) and the
// /rosout topic that carries each node's log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/log.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

#include "node_fixture.hpp"

using namespace std::chrono_literals;
using rcl_interfaces::msg::Log;

namespace
{

bool contains(const std::vector<std::string> & names, const std::string & name)
{
  return std::find(names.begin(), names.end(), name) != names.end();
}

class NodeGraphTest : public NodeFixture
{
protected:
  NodeGraphTest()
  : NodeFixture("observer", "", std::chrono::seconds(20)) {}
};

TEST_F(NodeGraphTest, node_names_follow_nodes_in_and_out)
{
  auto alpha = std::make_shared<rclcpp::Node>("alpha", "/graph");
  auto beta = std::make_shared<rclcpp::Node>("beta");
  ASSERT_TRUE(
    spin_until(
      [this] {
        const auto names = node_->get_node_names();
        return contains(names, "/graph/alpha") && contains(names, "/beta") &&
        contains(names, "/observer");
      }));
  const auto pairs = node_->get_node_graph_interface()->get_node_names_and_namespaces();
  const std::pair<std::string, std::string> alpha_entry{"alpha", "/graph"};
  EXPECT_NE(std::find(pairs.begin(), pairs.end(), alpha_entry), pairs.end());

  beta.reset();
  ASSERT_TRUE(spin_until([this] {return !contains(node_->get_node_names(), "/beta");}));
  EXPECT_TRUE(contains(node_->get_node_names(), "/graph/alpha"));
}

TEST_F(NodeGraphTest, topics_and_services_with_their_types)
{
  auto alpha = std::make_shared<rclcpp::Node>("alpha", "/graph");
  auto publisher = alpha->create_publisher<std_msgs::msg::String>("chatter", 10);
  // Every endpoint, the node's own ones too, is in the graph only once discovery reports it.
  ASSERT_TRUE(
    spin_until(
      [this] {
        const auto topics = node_->get_topic_names_and_types();
        return topics.count("/graph/chatter") == 1 && topics.count("/rosout") == 1 &&
        topics.count("/parameter_events") == 1 &&
        node_->get_service_names_and_types().count("/graph/alpha/list_parameters") == 1;
      }));
  const auto topics = node_->get_topic_names_and_types();
  EXPECT_EQ(topics.at("/graph/chatter"), (std::vector<std::string>{"std_msgs/msg/String"}));
  EXPECT_EQ(topics.at("/rosout"), (std::vector<std::string>{"rcl_interfaces/msg/Log"}));
  EXPECT_EQ(
    topics.at("/parameter_events"),
    (std::vector<std::string>{"rcl_interfaces/msg/ParameterEvent"}));
  EXPECT_EQ(topics.count("/graph/alpha/list_parameters"), 0u);
  EXPECT_EQ(
    node_->get_service_names_and_types().at("/graph/alpha/list_parameters"),
    (std::vector<std::string>{"rcl_interfaces/srv/ListParameters"}));
}

TEST_F(NodeGraphTest, rosout_carries_exactly_the_node_logger_lines)
{
  std::vector<Log> lines;
  auto subscription = node_->create_subscription<Log>(
    "/rosout", rclcpp::QoS(rclcpp::KeepLast(1000)).reliable().transient_local(),
    [&lines](const Log & line) {lines.push_back(line);});
  auto talker = std::make_shared<rclcpp::Node>("talker", "/logs");
  auto mute = std::make_shared<rclcpp::Node>(
    "mute", "/logs", rclcpp::NodeOptions().enable_rosout(false));
  // Every node but the mute one has a /rosout publisher (observer and talker).
  ASSERT_TRUE(
    spin_until(
      [this, &subscription] {
        return subscription->get_publisher_count() == 2u &&
        node_->count_publishers("/rosout") == 2u;
      }));

  RCLCPP_INFO(mute->get_logger(), "from the mute node");
  RCLCPP_INFO(talker->get_logger().get_child("part"), "from a child logger");
  const int line_number = __LINE__ + 1;
  RCLCPP_WARN(talker->get_logger(), "hello %d", 7);
  auto from_talker = [&lines] {
      return std::find_if(
        lines.begin(), lines.end(), [](const Log & l) {return l.name == "logs.talker";});
    };
  ASSERT_TRUE(spin_until([&] {return from_talker() != lines.end();}));
  const Log & line = *from_talker();
  EXPECT_EQ(line.level, Log::WARN);
  EXPECT_EQ(line.msg, "hello 7");
  EXPECT_EQ(line.line, static_cast<uint32_t>(line_number));
  EXPECT_NE(line.file.find("test_node_graph.cpp"), std::string::npos) << line.file;
  EXPECT_FALSE(line.function.empty());
  EXPECT_GT(line.stamp.sec, 0);
  for (const auto & l : lines) {
    EXPECT_NE(l.name, "logs.mute");
    EXPECT_NE(l.name, "logs.talker.part");
  }
}

// A node can be destroyed while other threads keep logging under its logger name.
TEST(RosoutLifetime, nodes_come_and_go_while_their_logger_is_busy)
{
  const char * argv[] = {"rosout_lifetime", "--ros-args", "--disable-stdout-logs"};
  rclcpp::init(3, argv);
  std::atomic<bool> stop{false};
  std::thread logger_thread([&stop] {
      while (!stop) {
        RCLCPP_INFO(rclcpp::get_logger("churn"), "busy");
        std::this_thread::sleep_for(100us);  // leaves the other core to the node churn
      }
    });
  for (int i = 0; i < 30; ++i) {
    auto node = std::make_shared<rclcpp::Node>("churn");
    RCLCPP_INFO(node->get_logger(), "round %d", i);
  }
  stop = true;
  logger_thread.join();
  rclcpp::shutdown();
}

TEST(RosoutLifetime, disable_rosout_logs_leaves_nodes_without_a_rosout_publisher)
{
  const char * argv[] = {"rosout_disabled", "--ros-args", "--disable-rosout-logs"};
  rclcpp::init(3, argv);
  {
    auto node = std::make_shared<rclcpp::Node>("unheard");
    auto publisher = node->create_publisher<std_msgs::msg::String>("/heard", 10);
    // The node's own publisher shows once discovery has reported it; a /rosout publisher,
    // had the node made one, would have been reported before it.
    EXPECT_TRUE(
      spin_node_until(
        node, [&node] {return node->count_publishers("/heard") == 1u;}, std::chrono::seconds(20)));
    EXPECT_EQ(node->count_publishers("/rosout"), 0u);
  }
  rclcpp::shutdown();
}

}  // namespace
