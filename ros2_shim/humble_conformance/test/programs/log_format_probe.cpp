// Logs one line per severity from a node in /robot; the logging test checks what lands on
// the console.
#include <memory>

#include "rclcpp/rclcpp.hpp"

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  {
    rclcpp::NodeOptions options;
    options.start_parameter_services(false);
    options.start_parameter_event_publisher(false);
    auto node = std::make_shared<rclcpp::Node>("probe_log", "/robot", options);
    RCLCPP_DEBUG(node->get_logger(), "debug %d", 0);
    RCLCPP_INFO(node->get_logger(), "info %d", 1);
    RCLCPP_WARN(node->get_logger(), "warn %d", 2);
    RCLCPP_ERROR(node->get_logger(), "error %d", 3);
    RCLCPP_FATAL(node->get_logger(), "fatal %d", 4);
  }
  rclcpp::shutdown();
  return 0;
}
