// Copyright 2026 The twist_arbiter authors.
//
// Runs one controller node on the calling thread until SIGINT or SIGTERM.
// Every setting arrives as a ROS 2 command-line argument (parameter file, overrides, remaps).

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

#include <rclcpp/rclcpp.hpp>

#include "twist_arbiter/twist_arbiter_node.hpp"

namespace
{

/// Explains why the program gives up. The parameter helper throws a bare std::exception after
/// logging the details at ERROR, so its what() says nothing; point the reader to that line.
std::string Reason(const std::exception & e)
{
  if (typeid(e) == typeid(std::exception)) {
    return "invalid configuration, see the ERROR line above";
  }
  return e.what();
}

/// One FATAL line, the client library shut down, status 1: a robot that lacks its gate must
/// not look as if it were running, and a supervisor must see the failure in the exit status.
int Abort(const std::string & what)
{
  RCLCPP_FATAL(rclcpp::get_logger("twist_arbiter_main"), "%s", what.c_str());
  rclcpp::shutdown();
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char ** argv)
{
  try {
    rclcpp::init(argc, argv, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::All);
  } catch (const std::exception & e) {
    return Abort(std::string("Initialisation of the ROS 2 client library failed: ") + Reason(e));
  }

  std::shared_ptr<TwistArbiter> node;
  try {
    rclcpp::NodeOptions options;
    node = std::make_shared<TwistArbiter>(options);
  } catch (const std::exception & e) {
    return Abort(std::string("Construction of the twist_arbiter node failed: ") + Reason(e));
  }

  try {
    rclcpp::spin(std::shared_ptr<rclcpp::Node>(node));
  } catch (const std::exception & e) {
    return Abort(std::string("The twist_arbiter node stopped on an error: ") + e.what());
  }

  rclcpp::shutdown();
  // The node goes only now, after the client library has been shut down.
  node.reset();
  return EXIT_SUCCESS;
}
