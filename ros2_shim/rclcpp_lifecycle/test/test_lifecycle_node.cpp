// LifecycleNode state machine: transitions and their callbacks, refused transitions, FAILURE
// and ERROR results, exceptions, registered callbacks and lifecycle publishers.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

using namespace std::chrono_literals;
using lifecycle_msgs::msg::State;
using lifecycle_msgs::msg::Transition;
using CallbackReturn = rclcpp_lifecycle::node_interfaces::LifecycleNodeInterface::CallbackReturn;

namespace
{

struct Seen
{
  std::string callback;
  uint8_t current_id;
  std::string current_label;
  uint8_t previous_id;
  std::string previous_label;
};

/// Records every callback with the state seen inside it; results are set per callback.
class RecordingNode : public rclcpp_lifecycle::LifecycleNode
{
public:
  explicit RecordingNode(const std::string & name = "recording")
  : rclcpp_lifecycle::LifecycleNode(name) {}

  CallbackReturn configure_result{CallbackReturn::SUCCESS};
  CallbackReturn activate_result{CallbackReturn::SUCCESS};
  CallbackReturn error_result{CallbackReturn::SUCCESS};
  bool throw_in_configure{false};
  std::vector<Seen> seen;

  CallbackReturn on_configure(const rclcpp_lifecycle::State & previous) override
  {
    record("configure", previous);
    if (throw_in_configure) {
      throw std::runtime_error("configure blew up");
    }
    return configure_result;
  }
  CallbackReturn on_activate(const rclcpp_lifecycle::State & previous) override
  {
    record("activate", previous);
    rclcpp_lifecycle::LifecycleNode::on_activate(previous);
    return activate_result;
  }
  CallbackReturn on_deactivate(const rclcpp_lifecycle::State & previous) override
  {
    record("deactivate", previous);
    return rclcpp_lifecycle::LifecycleNode::on_deactivate(previous);
  }
  CallbackReturn on_cleanup(const rclcpp_lifecycle::State & previous) override
  {
    record("cleanup", previous);
    return CallbackReturn::SUCCESS;
  }
  CallbackReturn on_shutdown(const rclcpp_lifecycle::State & previous) override
  {
    record("shutdown", previous);
    return CallbackReturn::SUCCESS;
  }
  CallbackReturn on_error(const rclcpp_lifecycle::State & previous) override
  {
    record("error", previous);
    return error_result;
  }

private:
  void record(const std::string & name, const rclcpp_lifecycle::State & previous)
  {
    const auto & current = get_current_state();
    seen.push_back(Seen{name, current.id(), current.label(), previous.id(), previous.label()});
  }
};

class LifecycleNodeTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}
};

TEST_F(LifecycleNodeTest, StartsUnconfiguredAndListsStatesAndTransitions)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("lc_states", "/ns");
  EXPECT_STREQ(node->get_name(), "lc_states");
  EXPECT_STREQ(node->get_namespace(), "/ns");
  EXPECT_STREQ(node->get_fully_qualified_name(), "/ns/lc_states");
  EXPECT_EQ(node->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->get_current_state().label(), "unconfigured");

  const std::vector<std::pair<uint8_t, std::string>> expected_states = {
    {0, "unknown"}, {1, "unconfigured"}, {2, "inactive"}, {3, "active"}, {4, "finalized"},
    {10, "configuring"}, {11, "cleaningup"}, {12, "shuttingdown"}, {13, "activating"},
    {14, "deactivating"}, {15, "errorprocessing"}};
  const auto states = node->get_available_states();
  ASSERT_EQ(states.size(), expected_states.size());
  for (size_t i = 0; i < states.size(); ++i) {
    EXPECT_EQ(states[i].id(), expected_states[i].first);
    EXPECT_EQ(states[i].label(), expected_states[i].second);
  }

  const auto transitions = node->get_available_transitions();
  ASSERT_EQ(transitions.size(), 2u);
  EXPECT_EQ(transitions[0].id(), Transition::TRANSITION_CONFIGURE);
  EXPECT_EQ(transitions[0].label(), "configure");
  EXPECT_EQ(transitions[0].start_state().label(), "unconfigured");
  EXPECT_EQ(transitions[0].goal_state().label(), "configuring");
  EXPECT_EQ(transitions[1].id(), Transition::TRANSITION_UNCONFIGURED_SHUTDOWN);
  EXPECT_EQ(transitions[1].label(), "shutdown");
  EXPECT_EQ(transitions[1].goal_state().label(), "shuttingdown");

  EXPECT_EQ(node->get_transition_graph().size(), 25u);

  const rclcpp_lifecycle::State unknown;
  EXPECT_EQ(unknown.id(), 0);
  EXPECT_EQ(unknown.label(), "unknown");
}

TEST_F(LifecycleNodeTest, FullCycleRunsEachCallbackInItsTransitionState)
{
  auto node = std::make_shared<RecordingNode>();
  EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(node->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
  const auto & final_state = node->shutdown();
  EXPECT_EQ(final_state.id(), State::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(final_state.label(), "finalized");

  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
    {"configure", "configuring", "unconfigured"},
    {"activate", "activating", "inactive"},
    {"deactivate", "deactivating", "active"},
    {"cleanup", "cleaningup", "inactive"},
    {"configure", "configuring", "unconfigured"},
    {"activate", "activating", "inactive"},
    {"shutdown", "shuttingdown", "active"}};
  ASSERT_EQ(node->seen.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(node->seen[i].callback, std::get<0>(expected[i])) << i;
    EXPECT_EQ(node->seen[i].current_label, std::get<1>(expected[i])) << i;
    EXPECT_EQ(node->seen[i].previous_label, std::get<2>(expected[i])) << i;
  }
  EXPECT_EQ(node->seen[0].current_id, State::TRANSITION_STATE_CONFIGURING);
  EXPECT_EQ(node->seen[0].previous_id, State::PRIMARY_STATE_UNCONFIGURED);

  // Shutdown from finalized is not a transition: nothing runs.
  EXPECT_EQ(node->shutdown().id(), State::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(node->seen.size(), expected.size());
}

TEST_F(LifecycleNodeTest, InvalidTransitionsAreRefusedAndLeaveTheStateAlone)
{
  auto node = std::make_shared<RecordingNode>();
  EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->deactivate().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->trigger_transition(Transition::TRANSITION_ON_CONFIGURE_SUCCESS).id(),
    State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->trigger_transition(200).id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_TRUE(node->seen.empty());

  ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(
    node->trigger_transition(rclcpp_lifecycle::Transition(Transition::TRANSITION_ACTIVATE), code)
    .id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_NE(code, CallbackReturn::SUCCESS) << "a refused transition is not reported as success";
  EXPECT_EQ(node->seen.size(), 2u);

  ASSERT_EQ(node->shutdown().id(), State::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(node->seen.size(), 3u);
}

TEST_F(LifecycleNodeTest, FailureFallsBackToTheStartStateWithoutErrorHandling)
{
  auto node = std::make_shared<RecordingNode>();
  node->configure_result = CallbackReturn::FAILURE;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(node->configure(code).id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(code, CallbackReturn::FAILURE);
  ASSERT_EQ(node->seen.size(), 1u);

  node->configure_result = CallbackReturn::SUCCESS;
  EXPECT_EQ(node->configure(code).id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(static_cast<int>(code), 97);

  node->activate_result = CallbackReturn::FAILURE;
  EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_INACTIVE);
  for (const auto & s : node->seen) {
    EXPECT_NE(s.callback, "error");
  }
}

TEST_F(LifecycleNodeTest, ErrorRunsOnErrorWhichDecidesUnconfiguredOrFinalized)
{
  {
    auto node = std::make_shared<RecordingNode>();
    node->configure_result = CallbackReturn::ERROR;
    node->error_result = CallbackReturn::SUCCESS;
    CallbackReturn code = CallbackReturn::SUCCESS;
    EXPECT_EQ(node->configure(code).id(), State::PRIMARY_STATE_UNCONFIGURED);
    EXPECT_EQ(code, CallbackReturn::ERROR);
    ASSERT_EQ(node->seen.size(), 2u);
    EXPECT_EQ(node->seen[1].callback, "error");
    EXPECT_EQ(node->seen[1].current_id, State::TRANSITION_STATE_ERRORPROCESSING);
    EXPECT_EQ(node->seen[1].current_label, "errorprocessing");
    // on_error sees the state the failed transition started from.
    EXPECT_EQ(node->seen[1].previous_id, State::PRIMARY_STATE_UNCONFIGURED);
  }
  {
    auto node = std::make_shared<RecordingNode>();
    node->configure_result = CallbackReturn::ERROR;
    node->error_result = CallbackReturn::FAILURE;
    EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_FINALIZED);
  }
  {
    auto node = std::make_shared<RecordingNode>();
    ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
    node->activate_result = CallbackReturn::ERROR;
    node->error_result = CallbackReturn::ERROR;
    EXPECT_EQ(node->activate().id(), State::PRIMARY_STATE_FINALIZED);
    EXPECT_EQ(node->seen.back().callback, "error");
    EXPECT_EQ(node->seen.back().previous_label, "inactive");
  }
}

TEST_F(LifecycleNodeTest, ExceptionInACallbackIsHandledAsError)
{
  auto node = std::make_shared<RecordingNode>();
  node->throw_in_configure = true;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(node->configure(code).id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(code, CallbackReturn::ERROR);
  ASSERT_EQ(node->seen.size(), 2u);
  EXPECT_EQ(node->seen[1].callback, "error");
}

TEST_F(LifecycleNodeTest, RegisteredCallbacksReplaceTheVirtualOnes)
{
  auto node = std::make_shared<RecordingNode>();
  int calls = 0;
  node->register_on_configure(
    [&calls](const rclcpp_lifecycle::State & previous) {
      ++calls;
      EXPECT_EQ(previous.id(), State::PRIMARY_STATE_UNCONFIGURED);
      return CallbackReturn::FAILURE;
    });
  EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(node->seen.empty());
}

TEST_F(LifecycleNodeTest, NodeApiForwardsToTheUnderlyingNode)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
    "lc_params", rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter("gain", 2.5)}));
  EXPECT_DOUBLE_EQ(node->declare_parameter("gain", 1.0), 2.5);
  EXPECT_EQ(node->declare_parameter("count", 3), 3);
  EXPECT_TRUE(node->has_parameter("gain"));
  EXPECT_FALSE(node->has_parameter("nope"));
  EXPECT_DOUBLE_EQ(node->get_parameter("gain").as_double(), 2.5);
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("count", 4)).successful);
  int count = 0;
  EXPECT_TRUE(node->get_parameter("count", count));
  EXPECT_EQ(count, 4);
  EXPECT_STREQ(node->get_logger().get_name(), "lc_params");
  EXPECT_STREQ(node->get_node_base_interface()->get_fully_qualified_name(), "/lc_params");
}

TEST_F(LifecycleNodeTest, LifecyclePublisherPublishesOnlyWhileActive)
{
  using Msg = rcl_interfaces::msg::ParameterDescriptor;
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("lc_pub");
  auto pub = node->create_publisher<Msg>("lc_topic", 10);
  auto listener = std::make_shared<rclcpp::Node>("lc_listener");
  std::vector<std::string> received;
  auto sub = listener->create_subscription<Msg>(
    "/lc_topic", 10, [&received](const Msg & msg) {received.push_back(msg.name);});

  rclcpp::executors::SingleThreadedExecutor exec;
  exec.add_node(node->get_node_base_interface());
  exec.add_node(listener);

  auto send = [&pub](const std::string & text) {
      Msg msg;
      msg.name = text;
      pub->publish(msg);
    };
  send("unconfigured");
  ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_FALSE(pub->is_activated());
  send("inactive");
  ASSERT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_TRUE(pub->is_activated());
  send("active");
  ASSERT_EQ(node->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  send("deactivated");
  ASSERT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
  send("reactivated");

  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (received.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    exec.spin_once(10ms);
  }
  exec.spin_some();
  EXPECT_EQ(received, (std::vector<std::string>{"active", "reactivated"}));
}

}  // namespace
