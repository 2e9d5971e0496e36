#include "shim_fixture_pkg/ticker_node.hpp"

#include <chrono>
#include <memory>

#include "rclcpp_components/register_node_macro.hpp"

namespace shim_fixture_pkg
{

TickerNode::TickerNode(const rclcpp::NodeOptions & options)
: rclcpp::Node("ticker", options),
  speed_(declare_parameter("speed", 1.0)),
  updater_(this)
{
  const auto period_ms = declare_parameter("period_ms", 100);
  publisher_ = create_publisher<geometry_msgs::msg::Twist>("ticks", rclcpp::QoS(10));
  timer_ = create_wall_timer(
    std::chrono::milliseconds(period_ms), [this]() {on_timer();});
  updater_.setHardwareID("none");
  updater_.add("Ticks", this, &TickerNode::report);
}

void TickerNode::on_timer()
{
  ++ticks_;
  geometry_msgs::msg::Twist msg;
  msg.linear.x = speed_;
  publisher_->publish(msg);
}

void TickerNode::report(diagnostic_updater::DiagnosticStatusWrapper & stat)
{
  stat.summary(diagnostic_updater::DiagnosticStatusWrapper::OK, "ticking");
  stat.add("ticks", ticks_);
}

}  // namespace shim_fixture_pkg

RCLCPP_COMPONENTS_REGISTER_NODE(shim_fixture_pkg::TickerNode)
