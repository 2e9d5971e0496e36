// Runs one TickerNode until shutdown (Ctrl-C or SIGTERM).
#include <memory>

#include "rclcpp/rclcpp.hpp"
#include "shim_fixture_pkg/ticker_node.hpp"

int main(int argc, char * argv[])
{
  rclcpp::init(argc, argv);
  auto node = std::make_shared<shim_fixture_pkg::TickerNode>(rclcpp::NodeOptions());
  rclcpp::spin(node);
  rclcpp::shutdown();
  return 0;
}
