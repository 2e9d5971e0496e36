#include "test_components.hpp"

#include "rclcpp_components/register_node_macro.hpp"

RCLCPP_COMPONENTS_REGISTER_NODE(test_rclcpp_components::GoodNode)
RCLCPP_COMPONENTS_REGISTER_NODE(test_rclcpp_components::ThrowingNode)
