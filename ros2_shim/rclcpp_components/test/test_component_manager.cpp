// ComponentManager: resource lookup, factories created through class_loader, and the
// load/unload/list services answering good and bad requests.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "composition_interfaces/srv/list_nodes.hpp"
#include "composition_interfaces/srv/load_node.hpp"
#include "composition_interfaces/srv/unload_node.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_components/component_manager.hpp"
#include "rclcpp_components/component_manager_isolated.hpp"
#include "rclcpp_components/node_factory.hpp"

#include "components/test_components.hpp"

using namespace std::chrono_literals;
using composition_interfaces::srv::ListNodes;
using composition_interfaces::srv::LoadNode;
using composition_interfaces::srv::UnloadNode;

namespace
{

constexpr const char * kPackage = "test_rclcpp_components";

class ComponentManagerTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void SetUp() override
  {
    exec_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    manager_ = std::make_shared<rclcpp_components::ComponentManager>(exec_);
    exec_->add_node(manager_);
    client_node_ = std::make_shared<rclcpp::Node>("manager_client");
    exec_->add_node(client_node_);
    load_ = client_node_->create_client<LoadNode>("/ComponentManager/_container/load_node");
    unload_ = client_node_->create_client<UnloadNode>("/ComponentManager/_container/unload_node");
    list_ = client_node_->create_client<ListNodes>("/ComponentManager/_container/list_nodes");
    ASSERT_TRUE(load_->wait_for_service(5s));
  }

  void TearDown() override
  {
    exec_->remove_node(client_node_);
    exec_->remove_node(manager_);
    load_.reset();
    unload_.reset();
    list_.reset();
    client_node_.reset();
    manager_.reset();
    exec_.reset();
  }

  LoadNode::Response::SharedPtr load(const std::shared_ptr<LoadNode::Request> & request)
  {
    auto future = load_->async_send_request(request);
    EXPECT_EQ(exec_->spin_until_future_complete(future, 10s), rclcpp::FutureReturnCode::SUCCESS);
    return future.get();
  }

  LoadNode::Response::SharedPtr load(const std::string & package, const std::string & plugin)
  {
    auto request = std::make_shared<LoadNode::Request>();
    request->package_name = package;
    request->plugin_name = plugin;
    return load(request);
  }

  UnloadNode::Response::SharedPtr unload(uint64_t id)
  {
    auto request = std::make_shared<UnloadNode::Request>();
    request->unique_id = id;
    auto future = unload_->async_send_request(request);
    EXPECT_EQ(exec_->spin_until_future_complete(future, 10s), rclcpp::FutureReturnCode::SUCCESS);
    return future.get();
  }

  ListNodes::Response::SharedPtr list()
  {
    auto future = list_->async_send_request(std::make_shared<ListNodes::Request>());
    EXPECT_EQ(exec_->spin_until_future_complete(future, 10s), rclcpp::FutureReturnCode::SUCCESS);
    return future.get();
  }

  std::shared_ptr<rclcpp::executors::SingleThreadedExecutor> exec_;
  std::shared_ptr<rclcpp_components::ComponentManager> manager_;
  rclcpp::Node::SharedPtr client_node_;
  rclcpp::Client<LoadNode>::SharedPtr load_;
  rclcpp::Client<UnloadNode>::SharedPtr unload_;
  rclcpp::Client<ListNodes>::SharedPtr list_;
};

TEST_F(ComponentManagerTest, ResourcesComeFromTheAmentIndex)
{
  const auto resources = manager_->get_component_resources(kPackage);
  ASSERT_EQ(resources.size(), 3u);
  EXPECT_EQ(resources[0].first, "test_rclcpp_components::GoodNode");
  EXPECT_EQ(resources[1].first, "test_rclcpp_components::ThrowingNode");
  EXPECT_EQ(resources[2].first, "test_rclcpp_components::NotRegistered");
  EXPECT_EQ(resources[0].second.front(), '/');

  try {
    manager_->get_component_resources("no_such_package");
    ADD_FAILURE() << "unknown package accepted";
  } catch (const rclcpp_components::ComponentManagerException & e) {
    EXPECT_STREQ(e.what(), "Could not find requested resource in ament index");
  }
  try {
    manager_->get_component_resources("test_bad_entry");
    ADD_FAILURE() << "malformed entry accepted";
  } catch (const rclcpp_components::ComponentManagerException & e) {
    EXPECT_STREQ(e.what(), "Invalid resource entry");
  }
}

TEST_F(ComponentManagerTest, FactoryFoundByClassNameCreatesTheNodeWithOverrides)
{
  const auto resources = manager_->get_component_resources(kPackage);
  ASSERT_FALSE(resources.empty());
  auto factory = manager_->create_component_factory(resources[0]);
  ASSERT_NE(factory, nullptr);

  auto wrapper = factory->create_node_instance(
    rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter("answer", 42)}));
  EXPECT_STREQ(wrapper.get_node_base_interface()->get_fully_qualified_name(), "/good_node");
  auto node = std::static_pointer_cast<test_rclcpp_components::GoodNode>(
    wrapper.get_node_instance());
  EXPECT_EQ(node->answer(), 42);

  // A class listed in the index but not registered by its library has no factory.
  EXPECT_EQ(manager_->create_component_factory(resources[2]), nullptr);
}

TEST_F(ComponentManagerTest, LoadAppliesNameNamespaceRemapsAndParameters)
{
  auto request = std::make_shared<LoadNode::Request>();
  request->package_name = kPackage;
  request->plugin_name = "test_rclcpp_components::GoodNode";
  request->node_name = "renamed";
  request->node_namespace = "/cns";
  request->remap_rules.push_back("chatter:=remapped");
  rcl_interfaces::msg::Parameter answer;
  answer.name = "answer";
  answer.value = rclcpp::ParameterValue(7).to_value_msg();
  request->parameters.push_back(answer);

  auto response = load(request);
  ASSERT_TRUE(response->success) << response->error_message;
  EXPECT_EQ(response->error_message, "");
  EXPECT_EQ(response->full_node_name, "/cns/renamed");
  EXPECT_EQ(response->unique_id, 1u);
  EXPECT_EQ(manager_->count_publishers("/cns/remapped"), 1u);
  EXPECT_EQ(manager_->count_publishers("/cns/chatter"), 0u);

  auto second = load(kPackage, "test_rclcpp_components::GoodNode");
  ASSERT_TRUE(second->success) << second->error_message;
  EXPECT_EQ(second->full_node_name, "/good_node");
  EXPECT_EQ(second->unique_id, 2u);

  auto listed = list();
  EXPECT_EQ(listed->full_node_names, (std::vector<std::string>{"/cns/renamed", "/good_node"}));
  EXPECT_EQ(listed->unique_ids, (std::vector<uint64_t>{1u, 2u}));

  EXPECT_TRUE(unload(1)->success);
  EXPECT_EQ(manager_->count_publishers("/cns/remapped"), 0u);
  listed = list();
  EXPECT_EQ(listed->full_node_names, std::vector<std::string>{"/good_node"});
}

TEST_F(ComponentManagerTest, ThrowingConstructorLeavesNothingBehindButUsesAnId)
{
  auto response = load(kPackage, "test_rclcpp_components::ThrowingNode");
  EXPECT_FALSE(response->success);
  EXPECT_EQ(response->error_message, "Component constructor threw an exception: boom from ctor");
  EXPECT_TRUE(list()->unique_ids.empty());

  auto good = load(kPackage, "test_rclcpp_components::GoodNode");
  ASSERT_TRUE(good->success) << good->error_message;
  EXPECT_EQ(good->unique_id, 2u);
  EXPECT_EQ(list()->unique_ids, std::vector<uint64_t>{2u});
}

TEST_F(ComponentManagerTest, BadRequestsAreAnsweredWithHumbleTexts)
{
  auto unknown_package = load("no_such_package", "test_rclcpp_components::GoodNode");
  EXPECT_FALSE(unknown_package->success);
  EXPECT_EQ(unknown_package->error_message, "Could not find requested resource in ament index");

  auto unknown_class = load(kPackage, "test_rclcpp_components::Missing");
  EXPECT_FALSE(unknown_class->success);
  EXPECT_EQ(unknown_class->error_message, "Failed to find class with the requested plugin name.");

  auto unregistered = load(kPackage, "test_rclcpp_components::NotRegistered");
  EXPECT_FALSE(unregistered->success);
  EXPECT_EQ(unregistered->error_message, "Failed to find class with the requested plugin name.");

  // The index holds the plain class name; the factory's registered name is not a plugin name.
  auto factory_name = load(
    kPackage, "rclcpp_components::NodeFactoryTemplate<test_rclcpp_components::GoodNode>");
  EXPECT_FALSE(factory_name->success);
  EXPECT_EQ(factory_name->error_message, "Failed to find class with the requested plugin name.");

  auto request = std::make_shared<LoadNode::Request>();
  request->package_name = kPackage;
  request->plugin_name = "test_rclcpp_components::GoodNode";
  rcl_interfaces::msg::Parameter extra;
  extra.name = "use_intra_process_comms";
  extra.value = rclcpp::ParameterValue(1).to_value_msg();
  request->extra_arguments.push_back(extra);
  auto bad_extra = load(request);
  EXPECT_FALSE(bad_extra->success);
  EXPECT_EQ(
    bad_extra->error_message,
    "Extra component argument 'use_intra_process_comms' must be a boolean");

  auto bad_unload = unload(99);
  EXPECT_FALSE(bad_unload->success);
  EXPECT_EQ(bad_unload->error_message, "No node found with unique_id: 99");

  // None of the failures used up an id.
  EXPECT_TRUE(list()->unique_ids.empty());
  auto good = load(kPackage, "test_rclcpp_components::GoodNode");
  ASSERT_TRUE(good->success) << good->error_message;
  EXPECT_EQ(good->unique_id, 1u);
}

/// Gives the test access to the options a LoadNode request turns into.
class InspectableManager : public rclcpp_components::ComponentManager
{
public:
  using rclcpp_components::ComponentManager::ComponentManager;
  using rclcpp_components::ComponentManager::create_node_options;
};

TEST_F(ComponentManagerTest, RequestBecomesNodeOptionsWithoutGlobalArguments)
{
  auto manager = std::make_shared<InspectableManager>(exec_, "inspectable");
  auto request = std::make_shared<LoadNode::Request>();
  request->node_name = "renamed";
  request->node_namespace = "/cns";
  request->remap_rules = {"chatter:=remapped", "other:=elsewhere"};
  rcl_interfaces::msg::Parameter answer;
  answer.name = "answer";
  answer.value = rclcpp::ParameterValue(7).to_value_msg();
  request->parameters.push_back(answer);

  const auto options = manager->create_node_options(request);
  EXPECT_FALSE(options.use_global_arguments());
  EXPECT_EQ(
    options.arguments(),
    (std::vector<std::string>{"--ros-args", "-r", "chatter:=remapped", "-r", "other:=elsewhere",
      "-r", "__node:=renamed", "-r", "__ns:=/cns"}));
  ASSERT_EQ(options.parameter_overrides().size(), 1u);
  EXPECT_EQ(options.parameter_overrides()[0].get_name(), "answer");
  EXPECT_EQ(options.parameter_overrides()[0].as_int(), 7);

  rcl_interfaces::msg::Parameter forward;
  forward.name = "forward_global_arguments";
  forward.value = rclcpp::ParameterValue(true).to_value_msg();
  rcl_interfaces::msg::Parameter intra;
  intra.name = "use_intra_process_comms";
  intra.value = rclcpp::ParameterValue(true).to_value_msg();
  request->extra_arguments = {forward, intra};
  const auto forwarded = manager->create_node_options(request);
  EXPECT_TRUE(forwarded.use_global_arguments());
  EXPECT_TRUE(forwarded.use_intra_process_comms());

  // An empty request still gets "--ros-args", and nothing else.
  EXPECT_EQ(
    manager->create_node_options(std::make_shared<LoadNode::Request>()).arguments(),
    std::vector<std::string>{"--ros-args"});
}

TEST_F(ComponentManagerTest, IsolatedManagerSpinsEachComponentOnItsOwnThread)
{
  // A manager of its own, so that the fixture's services stay on the plain manager.
  auto isolated = std::make_shared<rclcpp_components::ComponentManagerIsolated<>>(
    exec_, "isolated_manager");
  exec_->add_node(isolated);
  auto load = client_node_->create_client<LoadNode>("/isolated_manager/_container/load_node");
  auto unload = client_node_->create_client<UnloadNode>(
    "/isolated_manager/_container/unload_node");
  ASSERT_TRUE(load->wait_for_service(5s));

  for (int i = 0; i < 2; ++i) {
    auto request = std::make_shared<LoadNode::Request>();
    request->package_name = kPackage;
    request->plugin_name = "test_rclcpp_components::GoodNode";
    request->node_name = "isolated_" + std::to_string(i);
    auto future = load->async_send_request(request);
    ASSERT_EQ(exec_->spin_until_future_complete(future, 10s), rclcpp::FutureReturnCode::SUCCESS);
    auto response = future.get();
    ASSERT_TRUE(response->success) << response->error_message;
  }

  // The first one is unloaded (its thread is stopped and joined); the second one is still
  // loaded when the manager goes away.
  auto unload_request = std::make_shared<UnloadNode::Request>();
  unload_request->unique_id = 1;
  auto unloaded = unload->async_send_request(unload_request);
  ASSERT_EQ(exec_->spin_until_future_complete(unloaded, 10s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_TRUE(unloaded.get()->success);
  EXPECT_EQ(isolated->count_publishers("/chatter"), 1u);

  exec_->remove_node(isolated);
  isolated.reset();
  EXPECT_EQ(manager_->count_publishers("/chatter"), 0u);
}

}  // namespace
