// Copyright 2026 The twist_arbiter authors.
//
// The controller as a node component: found by class name through the ament resource index,
// loaded with class_loader and created by its registered factory, the way a container does it.
// This program does not link the controller library; it only ever opens it at run time.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <ament_index_cpp/get_resource.hpp>
#include <class_loader/class_loader.hpp>
#include <composition_interfaces/srv/load_node.hpp>
#include <corvan_msgs/srv/set_control_mode.hpp>
#include <rclcpp/rclcpp.hpp>
#include <rclcpp_components/component_manager.hpp>
#include <rclcpp_components/node_factory.hpp>

#include "arbiter_test_support.hpp"

using arbiter_test::DefaultParameters;
using arbiter_test::LogCapture;
using namespace std::chrono_literals;

namespace
{

const char kFactoryClass[] = "rclcpp_components::NodeFactoryTemplate<TwistArbiter>";

class ComponentTest : public ::testing::Test
{
protected:
  using LoadNode = composition_interfaces::srv::LoadNode;

  void SetUp() override
  {
    LogCapture::Instance().Clear();
    executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    manager_ = std::make_shared<rclcpp_components::ComponentManager>(executor_);
    client_node_ = std::make_shared<rclcpp::Node>("component_test_client");
    load_client_ = client_node_->create_client<LoadNode>("/ComponentManager/_container/load_node");
    executor_->add_node(manager_);
    executor_->add_node(client_node_);
  }

  void TearDown() override
  {
    executor_->remove_node(client_node_);
    executor_->remove_node(manager_);
    load_client_.reset();
    client_node_.reset();
    manager_.reset();
    executor_.reset();
  }

  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr Call(
    const typename rclcpp::Client<ServiceT>::SharedPtr & client,
    const typename ServiceT::Request::SharedPtr & request)
  {
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (!client->service_is_ready() && std::chrono::steady_clock::now() < deadline) {
      executor_->spin_once(5ms);
    }
    if (!client->service_is_ready()) {
      return nullptr;
    }
    auto future = client->async_send_request(request).future.share();
    if (executor_->spin_until_future_complete(future, 8s) != rclcpp::FutureReturnCode::SUCCESS) {
      return nullptr;
    }
    return future.get();
  }

  LoadNode::Response::SharedPtr Load(
    const std::map<std::string, rclcpp::ParameterValue> & values, const std::string & name)
  {
    auto request = std::make_shared<LoadNode::Request>();
    request->package_name = "twist_arbiter";
    request->plugin_name = "TwistArbiter";
    request->node_name = name;
    for (const auto & p : arbiter_test::ToOverrides(values)) {
      request->parameters.push_back(p.to_parameter_msg());
    }
    return Call<LoadNode>(load_client_, request);
  }

  std::shared_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
  std::shared_ptr<rclcpp_components::ComponentManager> manager_;
  rclcpp::Node::SharedPtr client_node_;
  rclcpp::Client<LoadNode>::SharedPtr load_client_;
};

}  // namespace

TEST(ComponentRegistration, IndexNamesTheLibraryAndTheLibraryRegistersTheFactory)
{
  std::string content;
  std::string prefix;
  ASSERT_TRUE(ament_index_cpp::get_resource("rclcpp_components", "twist_arbiter", content, &prefix));
  EXPECT_EQ("TwistArbiter;lib/libTwistArbiter.so\n", content);

  class_loader::ClassLoader loader(prefix + "/lib/libTwistArbiter.so");
  const auto classes = loader.getAvailableClasses<rclcpp_components::NodeFactory>();
  ASSERT_EQ(1u, classes.size());
  EXPECT_EQ(kFactoryClass, classes[0]);

  // The factory builds the node with the options it is given: overrides and a new name.
  auto factory = loader.createInstance<rclcpp_components::NodeFactory>(kFactoryClass);
  rclcpp::NodeOptions options;
  options.use_global_arguments(false);
  options.parameter_overrides(arbiter_test::ToOverrides(DefaultParameters()));
  options.arguments({"--ros-args", "-r", "__node:=from_factory"});
  {
    auto wrapper = factory->create_node_instance(options);
    ASSERT_NE(nullptr, wrapper.get_node_instance());
    EXPECT_STREQ("/from_factory", wrapper.get_node_base_interface()->get_fully_qualified_name());
  }

  // A constructor that fails surfaces as the exception of create_node_instance.
  auto values = DefaultParameters();
  values["timeout_threshold"] = rclcpp::ParameterValue(-1.0);
  options.parameter_overrides(arbiter_test::ToOverrides(values));
  EXPECT_THROW(factory->create_node_instance(options), std::invalid_argument);
  factory.reset();
}

TEST_F(ComponentTest, ContainerLoadsTheControllerByClassNameWithOverrides)
{
  auto values = DefaultParameters();
  values["timeout_threshold"] = rclcpp::ParameterValue(5.0);
  const auto response = Load(values, "gate");
  ASSERT_NE(nullptr, response);
  EXPECT_TRUE(response->success) << response->error_message;
  EXPECT_EQ("/gate", response->full_node_name);
  EXPECT_EQ(
    1u, LogCapture::Instance().Count(
      "ComponentManager", RCUTILS_LOG_SEVERITY_INFO, std::string("Instantiate class: ") +
      kFactoryClass));

  // The loaded controller serves its mode services under its new name.
  using SetSrv = corvan_msgs::srv::SetControlMode;
  auto set_client = client_node_->create_client<SetSrv>("/gate/set_control_mode");
  auto request = std::make_shared<SetSrv::Request>();
  request->mode.mode = 11;
  const auto answer = Call<SetSrv>(set_client, request);
  ASSERT_NE(nullptr, answer);
  EXPECT_TRUE(answer->success);
  EXPECT_EQ("Control mode set to teleops.", answer->message);
}

TEST_F(ComponentTest, ConstructionFailureIsAnsweredAsAnError)
{
  // A missing parameter: the helper's plain exception, its reason on the ERROR line.
  auto values = DefaultParameters();
  values.erase("states.manual.topic");
  auto response = Load(values, "broken");
  ASSERT_NE(nullptr, response);
  EXPECT_FALSE(response->success);
  EXPECT_EQ("Component constructor threw an exception: std::exception", response->error_message);
  EXPECT_EQ(
    1u, LogCapture::Instance().Count(
      "broken", RCUTILS_LOG_SEVERITY_ERROR,
      "Something went wrong during parameter \"states.manual.topic\" configuration: "
      "Statically typed parameter 'states.manual.topic' must be initialized."));

  // A refused value: the reason is in the answer itself.
  values = DefaultParameters();
  values["states.manual_mapping.limiter.interpolation_rate"] = rclcpp::ParameterValue(-10.0);
  response = Load(values, "broken");
  ASSERT_NE(nullptr, response);
  EXPECT_FALSE(response->success);
  EXPECT_EQ(
    0u, response->error_message.find(
      "Component constructor threw an exception: Invalid value -10 for parameter "
      "\"states.manual_mapping.limiter.interpolation_rate\""))
    << response->error_message;

  // The container is still usable afterwards.
  response = Load(DefaultParameters(), "recovered");
  ASSERT_NE(nullptr, response);
  EXPECT_TRUE(response->success) << response->error_message;
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  LogCapture::Instance().Install();
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
