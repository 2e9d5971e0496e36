// Node, topic and service names of another process, as the graph queries report them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

#include "node_fixture.hpp"
#include "peer_process.hpp"

using namespace std::chrono_literals;

namespace
{

class CrossProcessGraphTest : public NodeFixture
{
protected:
  CrossProcessGraphTest()
  : NodeFixture("graph_probe", "/gx", std::chrono::seconds(20)) {}

  bool has_node(const std::string & name)
  {
    const auto names = node_->get_node_names();
    return std::find(names.begin(), names.end(), name) != names.end();
  }
};

TEST_F(CrossProcessGraphTest, names_and_types_of_another_process_come_and_go)
{
  EXPECT_TRUE(spin_until([&] {return has_node("/gx/graph_probe");}));
  {
    PeerProcess listener(
      {DDS_PEER_PATH, "listener", "/gx/remote_topic", "--name", "remote_listener"});
    PeerProcess server({DDS_PEER_PATH, "server", "/gx/remote_service", "--name", "remote_server"});
    ASSERT_TRUE(
      spin_until(
        [&] {
          const auto topics = node_->get_topic_names_and_types();
          const auto services = node_->get_service_names_and_types();
          auto topic = topics.find("/gx/remote_topic");
          auto service = services.find("/gx/remote_service");
          return has_node("/remote_listener") && has_node("/remote_server") &&
          topic != topics.end() && service != services.end() &&
          topic->second == std::vector<std::string>{"std_msgs/msg/String"} &&
          service->second == std::vector<std::string>{"rcl_interfaces/srv/GetParameters"};
        })) << listener.err() << server.err();

    // DDS-level names stay hidden: no prefixes, no discovery topic.
    for (const auto & topic : node_->get_topic_names_and_types()) {
      EXPECT_EQ(topic.first.rfind("rt/", 0), std::string::npos) << topic.first;
      EXPECT_NE(topic.first, "ros_discovery_info");
      EXPECT_NE(topic.first, "/gx/remote_serviceRequest");
    }
  }
  EXPECT_TRUE(
    spin_until(
      [&] {
        const auto topics = node_->get_topic_names_and_types();
        return !has_node("/remote_listener") && !has_node("/remote_server") &&
        topics.find("/gx/remote_topic") == topics.end();
      }));
  EXPECT_TRUE(has_node("/gx/graph_probe"));
}

}  // namespace
