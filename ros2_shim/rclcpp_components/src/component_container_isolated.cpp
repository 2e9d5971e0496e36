// component_container_isolated: every component runs in its own executor and thread;
// --use_multi_threaded_executor gives each component a multi-threaded executor.
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_components/component_manager_isolated.hpp"

int main(int argc, char * argv[])
{
  rclcpp::init(argc, argv);
  bool use_multi_threaded_executor{false};
  const std::vector<std::string> args = rclcpp::remove_ros_arguments(argc, argv);
  for (const auto & arg : args) {
    if (arg == "--use_multi_threaded_executor") {
      use_multi_threaded_executor = true;
    }
  }
  auto exec = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  rclcpp::Node::SharedPtr node;
  if (use_multi_threaded_executor) {
    node = std::make_shared<rclcpp_components::ComponentManagerIsolated<
          rclcpp::executors::MultiThreadedExecutor>>(exec);
  } else {
    node = std::make_shared<rclcpp_components::ComponentManagerIsolated<
          rclcpp::executors::SingleThreadedExecutor>>(exec);
  }
  exec->add_node(node);
  exec->spin();
  exec->remove_node(node);
  node.reset();
  rclcpp::shutdown();
  return 0;
}
