// The ticker component found through the ament resource index and created by class_loader,
// as a component container does it: directly through its factory, and through the
// ComponentManager's load/unload services.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ament_index_cpp/get_package_prefix.hpp"
#include "ament_index_cpp/get_resource.hpp"
#include "class_loader/class_loader.hpp"
#include "composition_interfaces/srv/list_nodes.hpp"
#include "composition_interfaces/srv/load_node.hpp"
#include "composition_interfaces/srv/unload_node.hpp"
#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_components/component_manager.hpp"
#include "rclcpp_components/node_factory.hpp"

using namespace std::chrono_literals;

namespace
{

class TickerComponent : public ::testing::Test
{
public:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  /// Spins until pred holds or the timeout passes; returns pred().
  static bool spin_until(
    rclcpp::Executor & exec, const std::function<bool()> & pred,
    std::chrono::seconds timeout = 10s)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred() && std::chrono::steady_clock::now() < deadline) {
      exec.spin_once(10ms);
    }
    return pred();
  }

  /// The single resource line of this package: {class name, library path relative to prefix}.
  static std::vector<std::string> resource_line(std::string & prefix)
  {
    std::string content;
    if (!ament_index_cpp::get_resource("rclcpp_components", "shim_fixture_pkg", content, &prefix)) {
      return {};
    }
    const auto semicolon = content.find(';');
    const auto newline = content.find('\n');
    if (semicolon == std::string::npos || newline == std::string::npos) {
      return {content};
    }
    return {content.substr(0, semicolon), content.substr(semicolon + 1, newline - semicolon - 1),
      content.substr(newline + 1)};
  }
};

TEST_F(TickerComponent, ResourceIndexNamesTheClassAndItsLibrary)
{
  std::string prefix;
  const auto parts = resource_line(prefix);
  ASSERT_EQ(parts.size(), 3u) << "resource entry missing or malformed";
  EXPECT_EQ(parts[0], "shim_fixture_pkg::TickerNode");
  EXPECT_EQ(parts[1], "lib/libticker_component.so");
  EXPECT_EQ(parts[2], "") << "one line per registered class";
}

TEST_F(TickerComponent, FactoryCreatesTheNodeWithOverridesAndItRuns)
{
  std::string prefix;
  const auto parts = resource_line(prefix);
  ASSERT_EQ(parts.size(), 3u);

  auto loader = std::make_unique<class_loader::ClassLoader>(prefix + "/" + parts[1]);
  const auto classes = loader->getAvailableClasses<rclcpp_components::NodeFactory>();
  const std::string registered = "rclcpp_components::NodeFactoryTemplate<" + parts[0] + ">";
  ASSERT_EQ(classes, std::vector<std::string>{registered});

  {
    auto factory = loader->createInstance<rclcpp_components::NodeFactory>(registered);
    auto options = rclcpp::NodeOptions()
      .parameter_overrides({rclcpp::Parameter("speed", 2.5), rclcpp::Parameter("period_ms", 20)})
      .arguments({"--ros-args", "-r", "__ns:=/fx"});
    auto wrapper = factory->create_node_instance(options);
    auto base = wrapper.get_node_base_interface();
    ASSERT_NE(base, nullptr);
    EXPECT_STREQ(base->get_fully_qualified_name(), "/fx/ticker");

    auto probe = std::make_shared<rclcpp::Node>("probe");
    std::vector<double> speeds;
    auto sub = probe->create_subscription<geometry_msgs::msg::Twist>(
      "/fx/ticks", 10, [&speeds](const geometry_msgs::msg::Twist & msg) {
        speeds.push_back(msg.linear.x);
      });
    std::vector<diagnostic_msgs::msg::DiagnosticStatus> statuses;
    auto diag_sub = probe->create_subscription<diagnostic_msgs::msg::DiagnosticArray>(
      "/diagnostics", 10, [&statuses](const diagnostic_msgs::msg::DiagnosticArray & msg) {
        statuses.insert(statuses.end(), msg.status.begin(), msg.status.end());
      });

    rclcpp::executors::SingleThreadedExecutor exec;
    exec.add_node(base);
    exec.add_node(probe);
    ASSERT_TRUE(spin_until(exec, [&]() {return speeds.size() >= 3 && !statuses.empty();}));
    for (double s : speeds) {
      EXPECT_DOUBLE_EQ(s, 2.5);
    }
    EXPECT_EQ(statuses.front().name, "ticker: Ticks");
    EXPECT_EQ(statuses.front().level, diagnostic_msgs::msg::DiagnosticStatus::OK);
    EXPECT_EQ(statuses.front().message, "ticking");
    EXPECT_EQ(statuses.front().hardware_id, "none");
    ASSERT_EQ(statuses.front().values.size(), 1u);
    EXPECT_EQ(statuses.front().values[0].key, "ticks");
    exec.remove_node(base);
  }
  // Every object created from the library is gone before the library is closed.
  loader.reset();
}

/// Loads the ticker through a container's services, sees it run with its override, lists and
/// unloads it; the container may live in this process or in another one.
void load_list_and_unload(rclcpp::Executor & exec, const rclcpp::Node::SharedPtr & client_node)
{
  using composition_interfaces::srv::ListNodes;
  using composition_interfaces::srv::LoadNode;
  using composition_interfaces::srv::UnloadNode;

  auto load = client_node->create_client<LoadNode>("/ComponentManager/_container/load_node");
  auto list = client_node->create_client<ListNodes>("/ComponentManager/_container/list_nodes");
  auto unload = client_node->create_client<UnloadNode>("/ComponentManager/_container/unload_node");
  ASSERT_TRUE(load->wait_for_service(20s));
  ASSERT_TRUE(list->wait_for_service(20s));
  ASSERT_TRUE(unload->wait_for_service(20s));
  auto request = std::make_shared<LoadNode::Request>();
  request->package_name = "shim_fixture_pkg";
  request->plugin_name = "shim_fixture_pkg::TickerNode";
  request->node_name = "renamed";
  request->node_namespace = "/cns";
  rcl_interfaces::msg::Parameter speed;
  speed.name = "speed";
  speed.value = rclcpp::ParameterValue(0.5).to_value_msg();
  request->parameters.push_back(speed);
  auto loaded = load->async_send_request(request);
  ASSERT_EQ(exec.spin_until_future_complete(loaded, 10s), rclcpp::FutureReturnCode::SUCCESS);
  auto response = loaded.get();
  ASSERT_TRUE(response->success) << response->error_message;
  EXPECT_EQ(response->full_node_name, "/cns/renamed");
  EXPECT_EQ(response->unique_id, 1u);

  // The loaded node is spun by the container's executor and sees its parameter override.
  std::vector<double> speeds;
  auto sub = client_node->create_subscription<geometry_msgs::msg::Twist>(
    "/cns/ticks", 10, [&speeds](const geometry_msgs::msg::Twist & msg) {
      speeds.push_back(msg.linear.x);
    });
  ASSERT_TRUE(TickerComponent::spin_until(exec, [&]() {return !speeds.empty();}, 20s));
  EXPECT_DOUBLE_EQ(speeds.front(), 0.5);

  auto listed = list->async_send_request(std::make_shared<ListNodes::Request>());
  ASSERT_EQ(exec.spin_until_future_complete(listed, 10s), rclcpp::FutureReturnCode::SUCCESS);
  auto listing = listed.get();
  EXPECT_EQ(listing->full_node_names, std::vector<std::string>{"/cns/renamed"});
  EXPECT_EQ(listing->unique_ids, std::vector<uint64_t>{1u});

  auto unload_request = std::make_shared<UnloadNode::Request>();
  unload_request->unique_id = 1;
  auto unloaded = unload->async_send_request(unload_request);
  ASSERT_EQ(exec.spin_until_future_complete(unloaded, 10s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_TRUE(unloaded.get()->success);

  auto relisted = list->async_send_request(std::make_shared<ListNodes::Request>());
  ASSERT_EQ(exec.spin_until_future_complete(relisted, 10s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_TRUE(relisted.get()->full_node_names.empty());
}

TEST_F(TickerComponent, ContainerLoadsListsAndUnloadsItByPackageAndClassName)
{
  auto exec = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  auto manager = std::make_shared<rclcpp_components::ComponentManager>(exec);
  exec->add_node(manager);
  auto client_node = std::make_shared<rclcpp::Node>("client");
  exec->add_node(client_node);
  load_list_and_unload(*exec, client_node);
}

TEST_F(TickerComponent, ContainerInAnotherProcessServesTheSameRequests)
{
  const std::string container =
    ament_index_cpp::get_package_prefix("rclcpp_components") +
    "/lib/rclcpp_components/component_container";
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    execl(container.c_str(), container.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  rclcpp::executors::SingleThreadedExecutor exec;
  auto client_node = std::make_shared<rclcpp::Node>("remote_client");
  exec.add_node(client_node);
  load_list_and_unload(exec, client_node);

  ASSERT_EQ(kill(pid, SIGINT), 0);
  int status = 0;
  pid_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (done == 0 && std::chrono::steady_clock::now() < deadline) {
    done = waitpid(pid, &status, WNOHANG);
    std::this_thread::sleep_for(20ms);
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "container did not stop on SIGINT";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(TickerComponent, GeneratedProgramRunsTheComponentUntilInterrupted)
{
  // The program made by rclcpp_components_register_node(... EXECUTABLE ticker) opens the
  // library by file name; it runs until SIGINT and then exits normally.
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    execl(
      TICKER_PROGRAM, TICKER_PROGRAM, "--ros-args", "-p", "period_ms:=20", "-r", "__ns:=/prog",
      static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  // Still running after a while: the library was found and the node built.
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  pid_t done = 0;
  while (done == 0 && std::chrono::steady_clock::now() < deadline) {
    done = waitpid(pid, &status, WNOHANG);
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_EQ(done, 0) << "program ended early, status " << status;
  ASSERT_EQ(kill(pid, SIGINT), 0);
  const auto exit_deadline = std::chrono::steady_clock::now() + 10s;
  while (done == 0 && std::chrono::steady_clock::now() < exit_deadline) {
    done = waitpid(pid, &status, WNOHANG);
    std::this_thread::sleep_for(20ms);
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "program did not stop on SIGINT";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
