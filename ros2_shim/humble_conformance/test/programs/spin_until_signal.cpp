// Spins a node until a signal shuts the context down, then reports how it ended.
// Prints "spinning" on stdout once the executor runs, so a test knows when to signal.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "rclcpp/rclcpp.hpp"

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  auto node = std::make_shared<rclcpp::Node>("signal_probe");
  bool announced = false;
  auto timer = node->create_wall_timer(
    std::chrono::milliseconds(10), [&announced] {
      if (!announced) {
        std::printf("spinning\n");
        std::fflush(stdout);
        announced = true;
      }
    });
  rclcpp::spin(node);
  const bool still_ok = rclcpp::ok();
  const std::string reason = rclcpp::contexts::get_global_default_context()->shutdown_reason();
  const bool second_shutdown = rclcpp::shutdown();
  std::printf(
    "after spin: ok=%d reason=%s second_shutdown=%d\n", still_ok, reason.c_str(),
    second_shutdown);
  std::fflush(stdout);
  return 0;
}
