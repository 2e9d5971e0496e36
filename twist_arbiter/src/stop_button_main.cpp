// Copyright 2026 The twist_arbiter authors.
//
// A stand-in for a stop button, for trying the controller's stop input: publishes
// std_msgs/msg/Bool on `stop` (remap it to the controller's stop.topic) at a steady rate until
// SIGINT or SIGTERM. Parameters: `pressed` (bool, default false: the released button's
// heartbeat; true: the pressed button) and `rate` (Hz, default 10.0). Stopping the program is
// what a dead button does: with a heartbeat configured, the controller engages its stop.
//
//   twist_arbiter_stop_button --ros-args -r stop:=stop_button -p pressed:=true

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>

#include <rclcpp/rclcpp.hpp>
#include <std_msgs/msg/bool.hpp>

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  int status = EXIT_SUCCESS;
  try {
    auto node = std::make_shared<rclcpp::Node>("stop_button");
    const bool pressed = node->declare_parameter<bool>("pressed", false);
    const double rate = node->declare_parameter<double>("rate", 10.0);
    if (!(std::isfinite(rate) && rate >= 0.1 && rate <= 1000.0)) {
      throw std::invalid_argument("rate must be a finite number of Hz from 0.1 to 1000");
    }
    auto publisher = node->create_publisher<std_msgs::msg::Bool>("stop", rclcpp::QoS(1));
    std_msgs::msg::Bool msg;
    msg.data = pressed;
    RCLCPP_INFO(
      node->get_logger(), "publishing %s on %s at %g Hz (Ctrl-C to stop)",
      pressed ? "true" : "false", publisher->get_topic_name(), rate);
    auto timer = node->create_wall_timer(
      std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(1.0 / rate)),
      [&publisher, &msg]() {publisher->publish(msg);});
    publisher->publish(msg);
    rclcpp::spin(node);
  } catch (const std::exception & e) {
    RCLCPP_FATAL(rclcpp::get_logger("stop_button"), "%s", e.what());
    status = EXIT_FAILURE;
  }
  rclcpp::shutdown();
  return status;
}
