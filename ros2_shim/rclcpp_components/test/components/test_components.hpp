// Components that the container tests load through class_loader.
#ifndef TEST_COMPONENTS_HPP_
#define TEST_COMPONENTS_HPP_

#include <memory>
#include <stdexcept>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/rclcpp.hpp"

namespace test_rclcpp_components
{

/// A well-behaved component: parameter "answer", a publisher on "chatter".
class GoodNode : public rclcpp::Node
{
public:
  explicit GoodNode(const rclcpp::NodeOptions & options)
  : rclcpp::Node("good_node", options),
    answer_(declare_parameter("answer", 0)),
    publisher_(create_publisher<rcl_interfaces::msg::ParameterDescriptor>("chatter", 10))
  {}

  int answer() const {return answer_;}

private:
  int answer_;
  rclcpp::Publisher<rcl_interfaces::msg::ParameterDescriptor>::SharedPtr publisher_;
};

/// A component whose constructor fails after its rclcpp::Node part exists.
class ThrowingNode : public rclcpp::Node
{
public:
  explicit ThrowingNode(const rclcpp::NodeOptions & options)
  : rclcpp::Node("throwing_node", options)
  {
    throw std::runtime_error("boom from ctor");
  }
};

}  // namespace test_rclcpp_components

#endif  // TEST_COMPONENTS_HPP_
