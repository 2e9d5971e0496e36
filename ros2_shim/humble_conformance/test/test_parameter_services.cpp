// The rcl_interfaces parameter services every node offers, driven by plain clients from
// another node, and their absence when a node is built without them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rcl_interfaces/msg/parameter_type.hpp"
#include "rcl_interfaces/srv/describe_parameters.hpp"
#include "rcl_interfaces/srv/get_parameter_types.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rcl_interfaces/srv/list_parameters.hpp"
#include "rcl_interfaces/srv/set_parameters.hpp"
#include "rcl_interfaces/srv/set_parameters_atomically.hpp"
#include "rclcpp/rclcpp.hpp"

#include "node_fixture.hpp"

using namespace std::chrono_literals;
using rcl_interfaces::msg::ParameterType;
namespace srv = rcl_interfaces::srv;

namespace
{

class ParameterServicesTest : public NodeFixture
{
protected:
  ParameterServicesTest()
  : NodeFixture("param_client", "", std::chrono::seconds(20)) {}

  void SetUp() override
  {
    NodeFixture::SetUp();
    server_ = std::make_shared<rclcpp::Node>("param_server", "/tuning");
    server_->declare_parameter("speed", 1.5);
    server_->declare_parameter("limits.max", 5);
    server_->declare_parameter("limits.min", 1);
    rcl_interfaces::msg::ParameterDescriptor read_only;
    read_only.read_only = true;
    server_->declare_parameter("mode", "auto", read_only);
    executor_->add_node(server_);
  }

  void TearDown() override
  {
    executor_->remove_node(server_);
    server_.reset();
    NodeFixture::TearDown();
  }

  /// One round trip to /tuning/param_server/<service>; null if it did not complete.
  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr call(
    const std::string & service, const typename ServiceT::Request & request)
  {
    auto client = node_->create_client<ServiceT>("/tuning/param_server/" + service);
    if (!spin_until([&client] {return client->service_is_ready();})) {
      ADD_FAILURE() << service << " never became ready";
      return nullptr;
    }
    auto pending = client->async_send_request(
      std::make_shared<typename ServiceT::Request>(request));
    if (!spin_until([&pending] {return pending.wait_for(0s) == std::future_status::ready;})) {
      ADD_FAILURE() << service << " did not answer";
      return nullptr;
    }
    return pending.get();
  }

  static rcl_interfaces::msg::Parameter parameter(
    const std::string & name, rclcpp::ParameterValue v)
  {
    return rclcpp::Parameter(name, v).to_parameter_msg();
  }

  rclcpp::Node::SharedPtr server_;
};

TEST_F(ParameterServicesTest, get_types_and_describe_answer_all_or_nothing)
{
  srv::GetParameters::Request get;
  get.names = {"limits.max", "speed"};
  auto values = call<srv::GetParameters>("get_parameters", get);
  ASSERT_TRUE(values);
  ASSERT_EQ(values->values.size(), 2u);
  EXPECT_EQ(values->values[0].type, ParameterType::PARAMETER_INTEGER);
  EXPECT_EQ(values->values[0].integer_value, 5);
  EXPECT_DOUBLE_EQ(values->values[1].double_value, 1.5);
  get.names = {"speed", "undeclared"};
  values = call<srv::GetParameters>("get_parameters", get);
  ASSERT_TRUE(values);
  EXPECT_TRUE(values->values.empty());

  srv::GetParameterTypes::Request types;
  types.names = {"mode", "speed"};
  auto typed = call<srv::GetParameterTypes>("get_parameter_types", types);
  ASSERT_TRUE(typed);
  EXPECT_EQ(
    typed->types, (std::vector<uint8_t>{ParameterType::PARAMETER_STRING,
      ParameterType::PARAMETER_DOUBLE}));
  types.names = {"undeclared"};
  typed = call<srv::GetParameterTypes>("get_parameter_types", types);
  ASSERT_TRUE(typed);
  EXPECT_TRUE(typed->types.empty());

  srv::DescribeParameters::Request describe;
  describe.names = {"mode"};
  auto described = call<srv::DescribeParameters>("describe_parameters", describe);
  ASSERT_TRUE(described);
  ASSERT_EQ(described->descriptors.size(), 1u);
  EXPECT_EQ(described->descriptors[0].name, "mode");
  EXPECT_EQ(described->descriptors[0].type, ParameterType::PARAMETER_STRING);
  EXPECT_TRUE(described->descriptors[0].read_only);
  describe.names = {"mode", "undeclared"};
  described = call<srv::DescribeParameters>("describe_parameters", describe);
  ASSERT_TRUE(described);
  EXPECT_TRUE(described->descriptors.empty());
}

TEST_F(ParameterServicesTest, set_reports_each_parameter_and_atomically_all_or_none)
{
  srv::SetParameters::Request set;
  set.parameters = {
    parameter("speed", rclcpp::ParameterValue(2.5)),
    parameter("mode", rclcpp::ParameterValue("manual")),
    parameter("undeclared", rclcpp::ParameterValue(1)),
    parameter("limits.max", rclcpp::ParameterValue("many")),
  };
  auto results = call<srv::SetParameters>("set_parameters", set);
  ASSERT_TRUE(results);
  ASSERT_EQ(results->results.size(), 4u);
  EXPECT_TRUE(results->results[0].successful);
  EXPECT_FALSE(results->results[1].successful);
  EXPECT_FALSE(results->results[1].reason.empty());
  EXPECT_FALSE(results->results[2].successful);
  EXPECT_NE(results->results[2].reason.find("undeclared"), std::string::npos);
  EXPECT_FALSE(results->results[3].successful);
  EXPECT_DOUBLE_EQ(server_->get_parameter("speed").as_double(), 2.5);
  EXPECT_EQ(server_->get_parameter("mode").as_string(), "auto");
  EXPECT_EQ(server_->get_parameter("limits.max").as_int(), 5);

  srv::SetParametersAtomically::Request atomic;
  atomic.parameters = {
    parameter("speed", rclcpp::ParameterValue(3.5)),
    parameter("mode", rclcpp::ParameterValue("manual"))};
  auto result = call<srv::SetParametersAtomically>("set_parameters_atomically", atomic);
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->result.successful);
  atomic.parameters = {
    parameter("speed", rclcpp::ParameterValue(3.5)),
    parameter("undeclared", rclcpp::ParameterValue(1))};
  result = call<srv::SetParametersAtomically>("set_parameters_atomically", atomic);
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->result.successful);
  EXPECT_EQ(result->result.reason, "One or more parameters were not declared before setting");
  EXPECT_DOUBLE_EQ(server_->get_parameter("speed").as_double(), 2.5);

  atomic.parameters = {
    parameter("speed", rclcpp::ParameterValue(4.5)),
    parameter("limits.max", rclcpp::ParameterValue(9))};
  result = call<srv::SetParametersAtomically>("set_parameters_atomically", atomic);
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->result.successful);
  EXPECT_DOUBLE_EQ(server_->get_parameter("speed").as_double(), 4.5);
  EXPECT_EQ(server_->get_parameter("limits.max").as_int(), 9);
}

TEST_F(ParameterServicesTest, list_by_prefix_and_depth)
{
  srv::ListParameters::Request list;
  list.prefixes = {"limits"};
  auto listed = call<srv::ListParameters>("list_parameters", list);
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->result.names, (std::vector<std::string>{"limits.max", "limits.min"}));
  EXPECT_EQ(listed->result.prefixes, (std::vector<std::string>{"limits"}));

  list.prefixes.clear();
  list.depth = 1;
  listed = call<srv::ListParameters>("list_parameters", list);
  ASSERT_TRUE(listed);
  const auto & names = listed->result.names;
  for (const char * expected : {"speed", "mode", "use_sim_time"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  EXPECT_EQ(std::find(names.begin(), names.end(), "limits.max"), names.end());
}

// One event per declare and per set, each with the node's fully qualified name and one list
// filled; undeclare_parameter() is silent, while setting a dynamically typed parameter to
// "not set" removes it with a deleted entry.
TEST_F(ParameterServicesTest, parameter_events_announce_declare_and_set_but_not_undeclare)
{
  using rcl_interfaces::msg::ParameterEvent;
  std::vector<ParameterEvent> events;
  auto subscription = node_->create_subscription<ParameterEvent>(
    "/parameter_events", rclcpp::ParameterEventsQoS(),
    [&events](const ParameterEvent & event) {
      if (event.node == "/tuning/param_server") {
        events.push_back(event);
      }
    });
  ASSERT_TRUE(spin_until([&subscription] {return subscription->get_publisher_count() >= 2u;}));
  rcl_interfaces::msg::ParameterDescriptor dynamic;  // only these can be undeclared
  dynamic.dynamic_typing = true;
  server_->declare_parameter("gain", 2, dynamic);
  server_->set_parameter(rclcpp::Parameter("gain", 3));
  server_->undeclare_parameter("gain");
  server_->declare_parameter("trim", 0.5, dynamic);
  server_->set_parameter(rclcpp::Parameter("trim"));
  EXPECT_FALSE(server_->has_parameter("trim"));
  // The last event: once it is here, every earlier one is too (one reliable writer).
  server_->declare_parameter("marker", true);
  ASSERT_TRUE(
    spin_until(
      [&events] {
        return !events.empty() && !events.back().new_parameters.empty() &&
        events.back().new_parameters[0].name == "marker";
      }));

  ASSERT_EQ(events.size(), 5u);
  enum List {kNew, kChanged, kDeleted};
  const std::pair<List, const char *> expected[] = {
    {kNew, "gain"}, {kChanged, "gain"}, {kNew, "trim"}, {kDeleted, "trim"}, {kNew, "marker"}};
  for (size_t i = 0; i < 5; ++i) {
    const ParameterEvent & event = events[i];
    const std::vector<rcl_interfaces::msg::Parameter> * lists[] = {
      &event.new_parameters, &event.changed_parameters, &event.deleted_parameters};
    EXPECT_EQ(
      event.new_parameters.size() + event.changed_parameters.size() +
      event.deleted_parameters.size(), 1u) << i;
    const auto & list = *lists[expected[i].first];
    ASSERT_EQ(list.size(), 1u) << i;
    EXPECT_EQ(list[0].name, expected[i].second) << i;
    EXPECT_GT(event.stamp.sec, 0);
  }
  EXPECT_EQ(events[0].new_parameters[0].value.integer_value, 2);
  EXPECT_EQ(events[1].changed_parameters[0].value.integer_value, 3);
  // A deleted entry carries the value it was set to, not the one it had.
  EXPECT_EQ(events[3].deleted_parameters[0].value.type, ParameterType::PARAMETER_NOT_SET);
}

TEST_F(ParameterServicesTest, a_node_without_parameter_services_offers_none)
{
  auto quiet = std::make_shared<rclcpp::Node>(
    "quiet", "/tuning", rclcpp::NodeOptions().start_parameter_services(false));
  // A service the node does offer shows when its graph entries have arrived.
  auto own = quiet->create_service<srv::ListParameters>(
    "~/own", [](
      const std::shared_ptr<srv::ListParameters::Request>,
      std::shared_ptr<srv::ListParameters::Response>) {});
  ASSERT_TRUE(
    spin_until(
      [this] {
        return node_->get_service_names_and_types().count("/tuning/quiet/own") == 1 &&
        node_->get_service_names_and_types().count("/tuning/param_server/get_parameters") == 1;
      }));
  const auto services = node_->get_service_names_and_types();
  for (const char * name : {"get_parameters", "get_parameter_types", "set_parameters",
      "set_parameters_atomically", "describe_parameters", "list_parameters"})
  {
    EXPECT_EQ(services.count(std::string("/tuning/quiet/") + name), 0u) << name;
    EXPECT_EQ(services.count(std::string("/tuning/param_server/") + name), 1u) << name;
  }
  EXPECT_EQ(
    services.at("/tuning/param_server/set_parameters_atomically"),
    (std::vector<std::string>{"rcl_interfaces/srv/SetParametersAtomically"}));
  // A client counts as a service in the graph: it is made only after the check above.
  auto probe = node_->create_client<srv::GetParameters>("/tuning/quiet/get_parameters");
  EXPECT_FALSE(probe->service_is_ready());
}

}  // namespace
