// component_container_mt: a ComponentManager spun by a multi-threaded executor whose thread
// count comes from the manager's "thread_num" parameter.
#include <memory>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_components/component_manager.hpp"

int main(int argc, char * argv[])
{
  rclcpp::init(argc, argv);
  auto exec = std::make_shared<rclcpp::executors::MultiThreadedExecutor>();
  auto node = std::make_shared<rclcpp_components::ComponentManager>();
  if (node->has_parameter("thread_num")) {
    const auto thread_num = node->get_parameter("thread_num").as_int();
    exec = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
      rclcpp::ExecutorOptions{}, static_cast<size_t>(thread_num));
  }
  node->set_executor(exec);
  exec->add_node(node);
  exec->spin();
  node.reset();
  rclcpp::shutdown();
  return 0;
}
