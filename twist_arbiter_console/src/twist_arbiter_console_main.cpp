// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_console: the operator's console of one controller in the browser.

#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <ament_index_cpp/get_package_share_directory.hpp>
#include <rclcpp/rclcpp.hpp>

#include "controller_watch.hpp"
#include "twist_arbiter_console/access_guard.hpp"
#include "twist_arbiter_console/console_options.hpp"
#include "web_server.hpp"

int main(int argc, char ** argv)
{
  using twist_arbiter_console::ConsoleOptions;
  const std::vector<std::string> args = rclcpp::init_and_remove_ros_arguments(argc, argv);
  const auto parsed = twist_arbiter_console::ParseConsoleOptions(args);
  if (!parsed.options) {
    (parsed.exit_status == 0 ? std::cout : std::cerr) << parsed.message << std::endl;
    rclcpp::shutdown();
    return parsed.exit_status;
  }
  ConsoleOptions options = *parsed.options;
  int status = 0;
  try {
    if (options.web_root.empty()) {
      options.web_root =
        ament_index_cpp::get_package_share_directory("twist_arbiter_console") + "/web";
    }
    auto node = std::make_shared<rclcpp::Node>("twist_arbiter_console");
    twist_arbiter_console::ControllerWatch watch(node, options);
    twist_arbiter_console::WebServer server(watch, options.web_root, CHART_JS_PATH);
    const int port = server.Bind(options.bind, options.port);
    if (port <= 0) {
      std::cerr << "cannot listen on " << options.bind << ":" << options.port << std::endl;
      rclcpp::shutdown();
      return 1;
    }
    auto guard = std::make_unique<twist_arbiter_console::AccessGuard>(
      twist_arbiter_console::MakeToken(), port, options.allow_hosts);
    // A wildcard address is reached through some other one; loopback always works here.
    const bool wildcard = options.bind == "0.0.0.0" || options.bind == "::";
    std::string host = wildcard ? "127.0.0.1" : options.bind;
    if (host.find(':') != std::string::npos) {
      host = "[" + host + "]";
    }
    std::cout << "twist_arbiter_console for controller " <<
      twist_arbiter_console::FullyQualifiedName(options) << ": open\n  http://" << host << ":" <<
      port << "/?token=" << guard->token() << std::endl;
    server.SetGuard(std::move(guard));

    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    std::thread spinner([&] {
        executor.spin();
        // Ctrl-C ends the spin (rclcpp's signal handler shuts the context down); the server
        // follows, and open streams end.
        server.Stop();
      });
    if (!server.Run()) {
      std::cerr << "the web server stopped unexpectedly" << std::endl;
      status = 1;
    }
    rclcpp::shutdown();
    spinner.join();
    executor.remove_node(node);
  } catch (const std::exception & e) {
    std::cerr << "twist_arbiter_console: " << e.what() << std::endl;
    status = 1;
  }
  rclcpp::shutdown();
  return status;
}
