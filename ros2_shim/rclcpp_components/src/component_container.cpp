// component_container: a ComponentManager spun by a single-threaded executor.
#include <memory>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_components/component_manager.hpp"

int main(int argc, char * argv[])
{
  rclcpp::init(argc, argv);
  auto exec = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  auto node = std::make_shared<rclcpp_components::ComponentManager>(exec);
  exec->add_node(node);
  exec->spin();
  // The manager takes its components out of the executor before the executor goes away.
  node.reset();
  rclcpp::shutdown();
  return 0;
}
