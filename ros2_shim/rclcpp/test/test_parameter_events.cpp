// Parameter events a node sends while it is being built: only a subscription of the same
// process, matched with the node's event publisher as that is made, can receive them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using rcl_interfaces::msg::ParameterEvent;

TEST(ParameterEvents, overrides_declared_automatically_are_announced_before_use_sim_time)
{
  rclcpp::init(0, nullptr);
  auto observer = std::make_shared<rclcpp::Node>("observer");
  std::vector<std::string> announced;
  auto subscription = observer->create_subscription<ParameterEvent>(
    "/parameter_events", rclcpp::ParameterEventsQoS(),
    [&announced](const ParameterEvent & event) {
      if (event.node != "/tuned") {
        return;
      }
      EXPECT_TRUE(event.changed_parameters.empty());
      EXPECT_TRUE(event.deleted_parameters.empty());
      for (const auto & parameter : event.new_parameters) {
        announced.push_back(parameter.name);
      }
    });
  auto tuned = std::make_shared<rclcpp::Node>(
    "tuned", rclcpp::NodeOptions()
    .parameter_overrides({rclcpp::Parameter("gain", 4), rclcpp::Parameter("axis.limit", 0.5)})
    .automatically_declare_parameters_from_overrides(true));

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(observer);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (announced.size() < 3u && std::chrono::steady_clock::now() < deadline) {
    executor.spin_once(std::chrono::milliseconds(10));
  }
  // The read-only QoS parameters of the event publisher come before it exists: never sent.
  EXPECT_EQ(announced, (std::vector<std::string>{"axis.limit", "gain", "use_sim_time"}));
  rclcpp::shutdown();
}

}  // namespace
