// Command-line ROS arguments: -p, --params-file, remapping, log levels and their errors.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

#ifndef TEST_TMPDIR
#define TEST_TMPDIR "/tmp"
#endif

namespace
{

std::string write_file(const std::string & name, const std::string & content)
{
  const std::string path = std::string(TEST_TMPDIR) + "/" + name;
  std::ofstream out(path);
  out << content;
  return path;
}

/// Runs rclcpp::init with "prog" + args; shuts the default context down afterwards.
class CommandLineTest : public ::testing::Test
{
protected:
  void TearDown() override
  {
    rclcpp::shutdown();
  }

  static void init_with(const std::vector<std::string> & args)
  {
    std::vector<const char *> argv{"prog"};
    for (const auto & a : args) {
      argv.push_back(a.c_str());
    }
    rclcpp::init(static_cast<int>(argv.size()), argv.data());
  }

  static std::string init_error(const std::vector<std::string> & args)
  {
    try {
      init_with(args);
    } catch (const rclcpp::exceptions::RCLInvalidROSArgsError & e) {
      EXPECT_FALSE(rclcpp::ok());
      return e.what();
    }
    return "<no exception>";
  }

  static rclcpp::NodeOptions quiet_options()
  {
    rclcpp::NodeOptions options;
    options.start_parameter_services(false);
    options.start_parameter_event_publisher(false);
    return options;
  }
};

const char kParamsFile[] =
  "/**:\n"
  "  ros__parameters:\n"
  "    limits:\n"
  "      max_linear: 1.0\n"
  "      gains: [1, 2, 3]\n"
  "    shared: from_wildcard\n"
  "    octal: 010\n"
  "    quoted: '12'\n"
  "/robot/cmd_gate:\n"
  "  ros__parameters:\n"
  "    timeout: 0.5\n"
  "    names: [left, right]\n"
  "    shared: from_node\n"
  "cmd_gate:\n"
  "  ros__parameters:\n"
  "    timeout: 0.3\n"
  "/*/probe_node:\n"
  "  ros__parameters:\n"
  "    one_level: true\n"
  "ns1:\n"
  "  probe_node:\n"
  "    ros__parameters:\n"
  "      nested_key: 4\n";

TEST_F(CommandLineTest, params_file_and_p_overrides_reach_matching_nodes)
{
  const std::string file = write_file("cmdline_params.yaml", kParamsFile);
  init_with(
    {"--ros-args", "--params-file", file, "-p", "cli_int:=42", "-p", "cli_str:='7'",
      "-p", "cli_list:=[1.5, 2.5]", "-p", "cmd_gate:only_root:=yes", "--"});

  auto gate = std::make_shared<rclcpp::Node>("cmd_gate", "/robot", quiet_options());
  EXPECT_DOUBLE_EQ(gate->declare_parameter<double>("limits.max_linear", 0.0), 1.0);
  EXPECT_EQ(
    gate->declare_parameter<std::vector<int64_t>>("limits.gains", std::vector<int64_t>{}),
    (std::vector<int64_t>{1, 2, 3}));
  EXPECT_DOUBLE_EQ(gate->declare_parameter<double>("timeout", 0.0), 0.5);
  EXPECT_EQ(
    gate->declare_parameter<std::vector<std::string>>("names", std::vector<std::string>{}),
    (std::vector<std::string>{"left", "right"}));
  EXPECT_EQ(gate->declare_parameter<std::string>("shared", ""), "from_node");
  EXPECT_EQ(gate->declare_parameter<int64_t>("octal", 0), 8);
  EXPECT_EQ(gate->declare_parameter<std::string>("quoted", ""), "12");
  EXPECT_EQ(gate->declare_parameter<int64_t>("cli_int", 0), 42);
  EXPECT_EQ(gate->declare_parameter<std::string>("cli_str", ""), "7");
  EXPECT_EQ(
    gate->declare_parameter<std::vector<double>>("cli_list", std::vector<double>{}),
    (std::vector<double>{1.5, 2.5}));
  // A node prefix on -p only reaches the node of that name in the root namespace.
  EXPECT_FALSE(gate->declare_parameter<bool>("only_root", false));

  auto root_gate = std::make_shared<rclcpp::Node>("cmd_gate", quiet_options());
  EXPECT_DOUBLE_EQ(root_gate->declare_parameter<double>("timeout", 0.0), 0.3);
  EXPECT_TRUE(root_gate->declare_parameter<bool>("only_root", false));
  EXPECT_EQ(root_gate->declare_parameter<std::string>("shared", ""), "from_wildcard");

  auto nested = std::make_shared<rclcpp::Node>("probe_node", "/ns1", quiet_options());
  EXPECT_EQ(nested->declare_parameter<int64_t>("nested_key", 0), 4);
  EXPECT_TRUE(nested->declare_parameter<bool>("one_level", false));
  auto root_probe = std::make_shared<rclcpp::Node>("probe_node", quiet_options());
  EXPECT_EQ(root_probe->declare_parameter<int64_t>("nested_key", 0), 0);
  EXPECT_FALSE(root_probe->declare_parameter<bool>("one_level", false));

  // Local arguments beat the command line.
  auto local_options = quiet_options();
  local_options.arguments({"--ros-args", "-p", "cli_int:=6", "-p", "local_only:=true"});
  auto local = std::make_shared<rclcpp::Node>("other", local_options);
  EXPECT_EQ(local->declare_parameter<int64_t>("cli_int", 0), 6);
  EXPECT_TRUE(local->declare_parameter<bool>("local_only", false));

  // Options' overrides beat both; without global arguments the command line is ignored.
  auto options = quiet_options();
  options.parameter_overrides({rclcpp::Parameter("cli_int", 5)});
  auto preferred = std::make_shared<rclcpp::Node>("other", options);
  EXPECT_EQ(preferred->declare_parameter<int64_t>("cli_int", 0), 5);
  auto isolated_options = quiet_options();
  isolated_options.use_global_arguments(false);
  auto isolated = std::make_shared<rclcpp::Node>("other", isolated_options);
  EXPECT_EQ(isolated->declare_parameter<int64_t>("cli_int", 0), 0);

}

TEST_F(CommandLineTest, integer_override_of_double_parameter_is_rejected)
{
  init_with({"--ros-args", "-p", "d_int:=1"});
  auto node = std::make_shared<rclcpp::Node>("typed", quiet_options());
  try {
    node->declare_parameter<double>("d_int", 0.5);
    FAIL() << "expected InvalidParameterTypeException";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(
      e.what(),
      "parameter 'd_int' has invalid type: Wrong parameter type, parameter {d_int} is of type "
      "{double}, setting it to {integer} is not allowed.");
  }
}

TEST_F(CommandLineTest, remapping_of_node_namespace_and_topics)
{
  init_with(
    {"--ros-args", "-r", "__node:=renamed", "-r", "__ns:=/ns1", "-r", "chatter:=remapped",
      "-r", "other_node:__node:=not_applied"});
  auto node = std::make_shared<rclcpp::Node>("orig", quiet_options());
  EXPECT_STREQ(node->get_name(), "renamed");
  EXPECT_STREQ(node->get_namespace(), "/ns1");
  EXPECT_STREQ(node->get_fully_qualified_name(), "/ns1/renamed");
  EXPECT_STREQ(node->get_logger().get_name(), "ns1.renamed");
  auto pub = node->create_publisher<std_msgs::msg::String>("chatter", 10);
  EXPECT_STREQ(pub->get_topic_name(), "/ns1/remapped");
  auto untouched = node->create_publisher<std_msgs::msg::String>("other", 10);
  EXPECT_STREQ(untouched->get_topic_name(), "/ns1/other");

  // Local rules come first.
  auto options = quiet_options();
  options.arguments({"--ros-args", "-r", "__node:=local_name"});
  auto local = std::make_shared<rclcpp::Node>("orig", options);
  EXPECT_STREQ(local->get_name(), "local_name");
  EXPECT_STREQ(local->get_namespace(), "/ns1");

  auto isolated_options = quiet_options();
  isolated_options.use_global_arguments(false);
  auto isolated = std::make_shared<rclcpp::Node>("orig", isolated_options);
  EXPECT_STREQ(isolated->get_fully_qualified_name(), "/orig");
}

TEST_F(CommandLineTest, malformed_arguments_and_files_fail_init)
{
  const std::string bad_yaml = write_file("bad.yaml", "/**:\n  ros__parameters:\n    a: [1, 2\n");
  const std::string mixed = write_file("mixed.yaml", "/**:\n  ros__parameters:\n    a: [1, x]\n");
  const std::string no_node = write_file("no_node.yaml", "ros__parameters:\n  a: 1\n");
  const std::string missing = std::string(TEST_TMPDIR) + "/does_not_exist.yaml";

  auto expect_error = [this](const std::vector<std::string> & args, const std::string & part) {
      const std::string what = init_error(args);
      EXPECT_EQ(what.rfind("failed to initialize rcl: ", 0), 0u) << what;
      EXPECT_NE(what.find(part), std::string::npos) << what << " should mention " << part;
    };
  expect_error({"--ros-args", "-p"}, "Couldn't parse trailing -p flag");
  expect_error({"--ros-args", "-p", "foo"}, "'-p foo'");
  expect_error({"--ros-args", "-p", "x:="}, "'-p x:='");
  expect_error({"--ros-args", "-p", "/ns1/n:h:=8"}, "'-p /ns1/n:h:=8'");
  expect_error({"--ros-args", "-r"}, "Couldn't parse trailing -r flag");
  expect_error({"--ros-args", "-r", "foo"}, "'-r foo'");
  expect_error({"--ros-args", "-r", "__ns:=relative"}, "'-r __ns:=relative'");
  expect_error({"--ros-args", "--params-file"}, "Couldn't parse trailing --params-file flag");
  expect_error({"--ros-args", "--params-file", missing}, "'--params-file " + missing + "'");
  expect_error({"--ros-args", "--params-file", bad_yaml}, "'--params-file " + bad_yaml + "'");
  expect_error(
    {"--ros-args", "--params-file", TEST_TMPDIR}, "'--params-file " TEST_TMPDIR "'");
  expect_error({"--ros-args", "--params-file", mixed}, "Sequence should be of same type");
  expect_error({"--ros-args", "--params-file", no_node}, "no node names before ros__parameters");
  expect_error({"--ros-args", "--log-level"}, "Couldn't parse trailing log level flag");
  expect_error({"--ros-args", "--log-level", "loud"}, "'--log-level loud'");

  try {
    init_with({"--ros-args", "--foo", "--bar"});
    FAIL() << "expected UnknownROSArgsError";
  } catch (const rclcpp::exceptions::UnknownROSArgsError & e) {
    EXPECT_STREQ(e.what(), "found unknown ROS arguments: '--foo', '--bar'");
  }
  EXPECT_FALSE(rclcpp::ok());
}

TEST_F(CommandLineTest, ros_arguments_are_removed_and_context_lifecycle)
{
  std::vector<const char *> argv{
    "prog", "keep1", "--ros-args", "-p", "a:=1", "--log-level", "WARN",
    "--disable-rosout-logs", "--", "keep2", "--ros-args", "-r", "x:=y"};
  const int argc = static_cast<int>(argv.size());
  auto remaining = rclcpp::init_and_remove_ros_arguments(argc, argv.data());
  EXPECT_EQ(remaining, (std::vector<std::string>{"prog", "keep1", "keep2"}));
  EXPECT_EQ(rclcpp::remove_ros_arguments(argc, argv.data()), remaining);
  EXPECT_TRUE(rclcpp::ok());
  EXPECT_THROW(rclcpp::init(argc, argv.data()), rclcpp::ContextAlreadyInitialized);

  // Shutdown callbacks stay registered across re-initialisation, so the counter is shared.
  auto shutdown_calls = std::make_shared<int>(0);
  rclcpp::on_shutdown([shutdown_calls] {++*shutdown_calls;});
  EXPECT_TRUE(rclcpp::shutdown());
  EXPECT_FALSE(rclcpp::ok());
  EXPECT_EQ(*shutdown_calls, 1);
  EXPECT_EQ(
    rclcpp::contexts::get_global_default_context()->shutdown_reason(),
    "user called rclcpp::shutdown()");
  EXPECT_FALSE(rclcpp::shutdown());
  EXPECT_EQ(*shutdown_calls, 1);
  EXPECT_FALSE(rclcpp::sleep_for(std::chrono::milliseconds(1)));

  // A node cannot be created on a shut-down context; init works again.
  EXPECT_THROW(std::make_shared<rclcpp::Node>("late"), std::runtime_error);
  init_with({});
  EXPECT_TRUE(rclcpp::ok());
  EXPECT_TRUE(rclcpp::sleep_for(std::chrono::milliseconds(1)));
}

}  // namespace
