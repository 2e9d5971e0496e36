// The lifecycle services and the transition event topic, used as a supervising node would.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "lifecycle_msgs/msg/transition_event.hpp"
#include "lifecycle_msgs/srv/change_state.hpp"
#include "lifecycle_msgs/srv/get_available_states.hpp"
#include "lifecycle_msgs/srv/get_available_transitions.hpp"
#include "lifecycle_msgs/srv/get_state.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

using namespace std::chrono_literals;
using lifecycle_msgs::msg::State;
using lifecycle_msgs::msg::Transition;
using lifecycle_msgs::msg::TransitionEvent;
using lifecycle_msgs::srv::ChangeState;
using lifecycle_msgs::srv::GetAvailableStates;
using lifecycle_msgs::srv::GetAvailableTransitions;
using lifecycle_msgs::srv::GetState;

namespace
{

class LifecycleServicesTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void SetUp() override
  {
    node_ = std::make_shared<rclcpp_lifecycle::LifecycleNode>("managed", "/lc");
    supervisor_ = std::make_shared<rclcpp::Node>("supervisor");
    exec_.add_node(node_->get_node_base_interface());
    exec_.add_node(supervisor_);
    events_sub_ = supervisor_->create_subscription<TransitionEvent>(
      "/lc/managed/transition_event", 10,
      [this](const TransitionEvent & e) {events_.push_back(e);});
  }

  void TearDown() override
  {
    exec_.remove_node(node_->get_node_base_interface());
    exec_.remove_node(supervisor_);
  }

  template<typename ServiceT>
  typename ServiceT::Response::SharedPtr call(
    const std::string & name, typename ServiceT::Request::SharedPtr request)
  {
    auto client = supervisor_->create_client<ServiceT>(name);
    EXPECT_TRUE(client->wait_for_service(5s)) << name;
    auto future = client->async_send_request(request);
    EXPECT_EQ(exec_.spin_until_future_complete(future, 10s), rclcpp::FutureReturnCode::SUCCESS);
    return future.get();
  }

  bool change(uint8_t id, const std::string & label = "")
  {
    auto request = std::make_shared<ChangeState::Request>();
    request->transition.id = id;
    request->transition.label = label;
    return call<ChangeState>("/lc/managed/change_state", request)->success;
  }

  State get_state()
  {
    return call<GetState>("/lc/managed/get_state", std::make_shared<GetState::Request>())
           ->current_state;
  }

  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node_;
  rclcpp::Node::SharedPtr supervisor_;
  rclcpp::executors::SingleThreadedExecutor exec_;
  rclcpp::Subscription<TransitionEvent>::SharedPtr events_sub_;
  std::vector<TransitionEvent> events_;
};

TEST_F(LifecycleServicesTest, ChangeStateByIdOrLabelAndGetState)
{
  EXPECT_EQ(get_state().id, State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(get_state().label, "unconfigured");

  EXPECT_TRUE(change(Transition::TRANSITION_CONFIGURE));
  EXPECT_EQ(get_state().label, "inactive");
  // The label wins over the id (the id is left 0 by callers that give only a label).
  EXPECT_TRUE(change(0, "activate"));
  EXPECT_EQ(get_state().id, State::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);

  // Refused: no such label from active, and an id not valid from active.
  EXPECT_FALSE(change(0, "configure"));
  EXPECT_FALSE(change(Transition::TRANSITION_CLEANUP));
  EXPECT_EQ(get_state().id, State::PRIMARY_STATE_ACTIVE);

  EXPECT_TRUE(change(0, "shutdown"));
  EXPECT_EQ(get_state().label, "finalized");
}

TEST_F(LifecycleServicesTest, FailingCallbackIsReportedAsNoSuccess)
{
  node_->register_on_configure(
    [](const rclcpp_lifecycle::State &) {
      return rclcpp_lifecycle::node_interfaces::LifecycleNodeInterface::CallbackReturn::FAILURE;
    });
  EXPECT_FALSE(change(Transition::TRANSITION_CONFIGURE));
  EXPECT_EQ(get_state().id, State::PRIMARY_STATE_UNCONFIGURED);
}

TEST_F(LifecycleServicesTest, AvailableStatesAndTransitions)
{
  auto states = call<GetAvailableStates>(
    "/lc/managed/get_available_states", std::make_shared<GetAvailableStates::Request>());
  ASSERT_EQ(states->available_states.size(), 11u);
  EXPECT_EQ(states->available_states[3].label, "active");
  EXPECT_EQ(states->available_states[10].id, State::TRANSITION_STATE_ERRORPROCESSING);

  ASSERT_TRUE(change(Transition::TRANSITION_CONFIGURE));
  auto transitions = call<GetAvailableTransitions>(
    "/lc/managed/get_available_transitions",
    std::make_shared<GetAvailableTransitions::Request>());
  std::vector<std::string> labels;
  for (const auto & d : transitions->available_transitions) {
    labels.push_back(d.transition.label);
    EXPECT_EQ(d.start_state.label, "inactive");
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"cleanup", "activate", "shutdown"}));
}

TEST_F(LifecycleServicesTest, EveryStateChangeIsPublishedAsATransitionEvent)
{
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (events_.size() < 4 && std::chrono::steady_clock::now() < deadline) {
    exec_.spin_once(10ms);
  }
  ASSERT_EQ(events_.size(), 4u);
  const std::vector<std::pair<std::string, std::string>> expected = {
    {"unconfigured", "configuring"}, {"configuring", "inactive"},
    {"inactive", "activating"}, {"activating", "active"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(events_[i].start_state.label, expected[i].first) << i;
    EXPECT_EQ(events_[i].goal_state.label, expected[i].second) << i;
  }
  EXPECT_EQ(events_[1].goal_state.id, State::PRIMARY_STATE_INACTIVE);
}

TEST_F(LifecycleServicesTest, WithoutCommunicationInterfaceThereAreNoServices)
{
  auto quiet = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
    "quiet", rclcpp::NodeOptions(), false);
  auto client = supervisor_->create_client<GetState>("/quiet/get_state");
  EXPECT_FALSE(client->wait_for_service(200ms));
  EXPECT_EQ(quiet->configure().id(), State::PRIMARY_STATE_INACTIVE);
}

}  // namespace
