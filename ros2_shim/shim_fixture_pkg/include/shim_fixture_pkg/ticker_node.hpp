// TickerNode: publishes a Twist on a timer and reports its tick count as a diagnostic.
#ifndef SHIM_FIXTURE_PKG__TICKER_NODE_HPP_
#define SHIM_FIXTURE_PKG__TICKER_NODE_HPP_

#include <cstdint>
#include <memory>

#include "diagnostic_updater/diagnostic_updater.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "rclcpp/rclcpp.hpp"

namespace shim_fixture_pkg
{

/// Publishes Twist{linear.x = speed} on "ticks" every period_ms and counts its ticks.
/**
 * Parameters: "speed" (double, default 1.0), "period_ms" (int, default 100).
 */
class TickerNode : public rclcpp::Node
{
public:
  explicit TickerNode(const rclcpp::NodeOptions & options);

  uint64_t ticks() const {return ticks_;}

private:
  void on_timer();
  void report(diagnostic_updater::DiagnosticStatusWrapper & stat);

  double speed_;
  uint64_t ticks_{0};
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr publisher_;
  rclcpp::TimerBase::SharedPtr timer_;
  diagnostic_updater::Updater updater_;
};

}  // namespace shim_fixture_pkg

#endif  // SHIM_FIXTURE_PKG__TICKER_NODE_HPP_
