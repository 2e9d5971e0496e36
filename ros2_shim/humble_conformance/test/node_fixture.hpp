// A test fixture with one node on a single-threaded executor, in a freshly initialised
// default context, and bounded waits for a condition while spinning a node.
#ifndef NODE_FIXTURE_HPP_
#define NODE_FIXTURE_HPP_

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/rclcpp.hpp"

/// Spins `node` on an executor of its own until `done` holds or `timeout` passes; returns the
/// final value of `done`. Tests wait on conditions this way, never for a fixed time.
inline bool spin_node_until(
  const rclcpp::Node::SharedPtr & node, const std::function<bool()> & done,
  std::chrono::milliseconds timeout,
  std::chrono::milliseconds step = std::chrono::milliseconds(10))
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    executor.spin_once(step);
  }
  return done();
}

class NodeFixture : public ::testing::Test
{
protected:
  NodeFixture(
    std::string node_name, std::string node_namespace = "",
    std::chrono::milliseconds timeout = std::chrono::seconds(20),
    std::chrono::milliseconds step = std::chrono::milliseconds(10))
  : node_name_(std::move(node_name)), node_namespace_(std::move(node_namespace)),
    timeout_(timeout), step_(step)
  {}

  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    node_ = std::make_shared<rclcpp::Node>(node_name_, node_namespace_);
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(node_);
  }

  void TearDown() override
  {
    executor_.reset();
    node_.reset();
    rclcpp::shutdown();
  }

  /// Spins until `done` holds or the fixture's timeout passes; returns the final value of
  /// `done`. Tests wait on conditions this way, never for a fixed time.
  bool spin_until(const std::function<bool()> & done)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      executor_->spin_once(step_);
    }
    return done();
  }

  rclcpp::Node::SharedPtr node_;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;

private:
  std::string node_name_;
  std::string node_namespace_;
  std::chrono::milliseconds timeout_;
  std::chrono::milliseconds step_;
};

#endif  // NODE_FIXTURE_HPP_
