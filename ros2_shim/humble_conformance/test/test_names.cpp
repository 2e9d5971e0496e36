// Expansion and validation of node, namespace, topic and service names.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "rclcpp/expand_topic_or_service_name.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

namespace
{

class NamesTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr);
  }

  static void TearDownTestSuite()
  {
    rclcpp::shutdown();
  }

  static rclcpp::NodeOptions quiet_options()
  {
    rclcpp::NodeOptions options;
    options.start_parameter_services(false);
    options.start_parameter_event_publisher(false);
    return options;
  }

  static std::string topic_of(const std::shared_ptr<rclcpp::Node> & node, const std::string & name)
  {
    return node->create_publisher<std_msgs::msg::String>(name, 1)->get_topic_name();
  }
};

TEST_F(NamesTest, relative_private_and_substituted_names_expand_against_the_node)
{
  auto node = std::make_shared<rclcpp::Node>("n", "/a", quiet_options());
  EXPECT_EQ(topic_of(node, "/x/y"), "/x/y");
  EXPECT_EQ(topic_of(node, "x"), "/a/x");
  EXPECT_EQ(topic_of(node, "~"), "/a/n");
  EXPECT_EQ(topic_of(node, "~/x"), "/a/n/x");
  // A single character after the tilde slips through validation and is glued on.
  EXPECT_EQ(topic_of(node, "~x"), "/a/nx");
  EXPECT_EQ(topic_of(node, "{node}/x"), "/a/n/x");
  EXPECT_EQ(topic_of(node, "{ns}/x"), "/a/x");
  auto sub = node->create_subscription<std_msgs::msg::String>(
    "~/in", 1, [](std::shared_ptr<const std_msgs::msg::String>) {});
  EXPECT_STREQ(sub->get_topic_name(), "/a/n/in");

  auto root = std::make_shared<rclcpp::Node>("n", quiet_options());
  EXPECT_EQ(topic_of(root, "x"), "/x");
  EXPECT_EQ(topic_of(root, "~"), "/n");
  EXPECT_EQ(topic_of(root, "~/x"), "/n/x");
  EXPECT_EQ(topic_of(root, "~x"), "/nx");

  EXPECT_EQ(rclcpp::expand_topic_or_service_name("~/srv", "n", "/a", true), "/a/n/srv");
  EXPECT_EQ(rclcpp::expand_topic_or_service_name("rel/x", "n", "/"), "/rel/x");
}

TEST_F(NamesTest, invalid_topic_names_throw_invalid_argument_types)
{
  auto node = std::make_shared<rclcpp::Node>("n", "/ns", quiet_options());
  auto expect_invalid = [&](const std::string & name, const std::string & what,
      size_t index) {
      try {
        topic_of(node, name);
        ADD_FAILURE() << "no exception for '" << name << "'";
      } catch (const rclcpp::exceptions::InvalidTopicNameError & e) {
        const std::invalid_argument & as_base = e;
        EXPECT_EQ(std::string(as_base.what()), what);
        EXPECT_EQ(e.name_type, "topic name");
        EXPECT_EQ(e.invalid_index, index) << name;
      }
    };
  expect_invalid(
    "cmd vel",
    "Invalid topic name: topic name must not contain characters other than alphanumerics, "
    "'_', '~', '{', or '}':\n  'cmd vel'\n      ^\n", 3);
  expect_invalid(
    "9abc", "Invalid topic name: topic name token must not start with a number:\n"
    "  '9abc'\n   ^\n", 0);
  expect_invalid(
    "/a//b", "Invalid topic name: topic name must not contain repeated '/':\n"
    "  '/a//b'\n      ^\n", 3);
  // The raw name is fine; the expanded one is shown.
  expect_invalid(
    "a//b", "Invalid topic name: topic name must not contain repeated '/':\n"
    "  '/ns/a//b'\n         ^\n", 6);
  expect_invalid(
    "~xy", "Invalid topic name: topic name must not have a tilde '~' that is not followed by "
    "a forward slash '/':\n  '~xy'\n    ^\n", 1);
  expect_invalid(
    "a/~", "Invalid topic name: topic name must not have tilde '~' unless it is the first "
    "character:\n  'a/~'\n     ^\n", 2);
  expect_invalid(
    "", "Invalid topic name: topic name must not be empty string:\n  ''\n   ^\n", 0);
  expect_invalid(
    "x/", "Invalid topic name: topic name must not end with a forward slash:\n"
    "  'x/'\n    ^\n", 1);
  expect_invalid(
    "ok/1x", "Invalid topic name: topic name token must not start with a number:\n"
    "  'ok/1x'\n      ^\n", 3);

  // An unknown substitution is not a name error.
  try {
    topic_of(node, "{bad}");
    ADD_FAILURE() << "no exception for {bad}";
  } catch (const std::invalid_argument &) {
    ADD_FAILURE() << "unknown substitution reported as a name error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "topic name unexpectedly valid");
  }

  EXPECT_THROW(
    rclcpp::expand_topic_or_service_name("bad srv", "n", "/ns", true),
    rclcpp::exceptions::InvalidServiceNameError);
  try {
    rclcpp::expand_topic_or_service_name("bad srv", "n", "/ns", true);
  } catch (const rclcpp::exceptions::NameValidationError & e) {
    EXPECT_EQ(e.name_type, "service name");
    EXPECT_EQ(e.name, "bad srv");
  }
}

TEST_F(NamesTest, node_names_and_namespaces)
{
  auto options = quiet_options();
  EXPECT_STREQ(std::make_shared<rclcpp::Node>("n", "robot", options)->get_namespace(), "/robot");
  EXPECT_STREQ(std::make_shared<rclcpp::Node>("n", "", options)->get_namespace(), "/");
  auto deep = std::make_shared<rclcpp::Node>("c", "/a/b", options);
  EXPECT_STREQ(deep->get_fully_qualified_name(), "/a/b/c");
  EXPECT_STREQ(deep->get_logger().get_name(), "a.b.c");
  EXPECT_STREQ(std::make_shared<rclcpp::Node>("solo", options)->get_logger().get_name(), "solo");

  auto node_error = [&](const std::string & name) -> std::string {
      try {
        std::make_shared<rclcpp::Node>(name, options);
      } catch (const rclcpp::exceptions::InvalidNodeNameError & e) {
        return e.what();
      }
      return "<no exception>";
    };
  EXPECT_EQ(
    node_error(""), "Invalid node name: node name must not be empty:\n  ''\n   ^\n");
  EXPECT_EQ(
    node_error("bad-name"),
    "Invalid node name: node name must not contain characters other than alphanumerics or "
    "'_':\n  'bad-name'\n      ^\n");
  EXPECT_EQ(
    node_error("1st"),
    "Invalid node name: node name must not start with a number:\n  '1st'\n   ^\n");

  try {
    std::make_shared<rclcpp::Node>("n", "/a/", options);
    ADD_FAILURE() << "no exception for namespace '/a/'";
  } catch (const rclcpp::exceptions::InvalidNamespaceError & e) {
    EXPECT_EQ(
      std::string(e.what()).rfind(
        "Invalid namespace: namespace must not end with a '/', unless only a '/':", 0), 0u);
  }
  EXPECT_THROW(
    std::make_shared<rclcpp::Node>("n", "/a//b", options),
    rclcpp::exceptions::InvalidNamespaceError);
  EXPECT_THROW(
    std::make_shared<rclcpp::Node>("n", "/1a", options),
    std::invalid_argument);
}

}  // namespace
