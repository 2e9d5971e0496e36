// Executors: node bookkeeping, spin variants, wake-ups, shutdown, callback groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/int32.hpp"

using namespace std::chrono_literals;
using Int32 = std_msgs::msg::Int32;

namespace
{

class ExecutorsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    node_ = std::make_shared<rclcpp::Node>("exec_probe", "/ex");
  }

  void TearDown() override
  {
    node_.reset();
    rclcpp::shutdown();
  }

  template<typename Fn>
  static std::string runtime_error_of(Fn && fn)
  {
    try {
      fn();
    } catch (const std::runtime_error & e) {
      return e.what();
    }
    return "<no exception>";
  }

  rclcpp::Node::SharedPtr node_;
};

TEST_F(ExecutorsTest, a_node_belongs_to_one_executor_at_a_time)
{
  rclcpp::executors::SingleThreadedExecutor first;
  rclcpp::executors::SingleThreadedExecutor second;
  first.add_node(node_);
  EXPECT_EQ(
    runtime_error_of([&] {first.add_node(node_);}),
    "Node '/ex/exec_probe' has already been added to an executor.");
  EXPECT_EQ(
    runtime_error_of([&] {second.add_node(node_->get_node_base_interface());}),
    "Node '/ex/exec_probe' has already been added to an executor.");
  first.remove_node(node_);
  EXPECT_EQ(
    runtime_error_of([&] {first.remove_node(node_);}),
    "Node needs to be associated with an executor.");
  EXPECT_NO_THROW(second.add_node(node_));
  EXPECT_EQ(
    runtime_error_of([&] {first.remove_node(node_);}),
    "Node needs to be associated with this executor.");
  second.remove_node(node_->get_node_base_interface());
}

TEST_F(ExecutorsTest, spin_some_runs_each_ready_item_once_and_never_blocks)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  std::vector<int> received;
  auto sub = node_->create_subscription<Int32>(
    "numbers", 10, [&received](Int32::ConstSharedPtr m) {received.push_back(m->data);});
  auto pub = node_->create_publisher<Int32>("numbers", 10);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (pub->get_subscription_count() == 0u && std::chrono::steady_clock::now() < deadline) {
    executor.spin_some();
  }
  ASSERT_EQ(pub->get_subscription_count(), 1u);

  const auto start = std::chrono::steady_clock::now();
  executor.spin_some();  // nothing ready: returns at once
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(received.empty());

  for (int i = 1; i <= 3; ++i) {
    Int32 m;
    m.data = i;
    pub->publish(m);
  }
  // One wait, one take per ready subscription: the three samples need three calls.
  while (received.empty() && std::chrono::steady_clock::now() < deadline) {
    executor.spin_some();
  }
  EXPECT_EQ(received, (std::vector<int>{1}));
  while (received.size() < 3u && std::chrono::steady_clock::now() < deadline) {
    executor.spin_some();
  }
  EXPECT_EQ(received, (std::vector<int>{1, 2, 3}));
}

TEST_F(ExecutorsTest, work_dropped_before_its_turn_does_not_run)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  // Two subscriptions, each with a sample when spin_some looks: whichever runs first drops the
  // other, whose pending sample must then reach no callback. The same for two due timers.
  int sub_runs = 0;
  rclcpp::Subscription<Int32>::SharedPtr subs[2];
  for (int i = 0; i < 2; ++i) {
    subs[i] = node_->create_subscription<Int32>(
      "drop", 10, [&, i](Int32::ConstSharedPtr) {
        ++sub_runs;
        subs[1 - i].reset();
      });
  }
  auto pub = node_->create_publisher<Int32>("drop", 10);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (pub->get_subscription_count() < 2u && std::chrono::steady_clock::now() < deadline) {
    executor.spin_some();
  }
  ASSERT_EQ(pub->get_subscription_count(), 2u);
  pub->publish(Int32());
  while (sub_runs == 0 && std::chrono::steady_clock::now() < deadline) {
    executor.spin_some();
  }
  executor.spin_some();
  EXPECT_EQ(sub_runs, 1);

  int timer_runs = 0;
  rclcpp::TimerBase::SharedPtr timers[2];
  for (int i = 0; i < 2; ++i) {
    timers[i] = node_->create_wall_timer(
      1ms, [&, i] {
        ++timer_runs;
        timers[1 - i].reset();
      });
  }
  std::this_thread::sleep_for(20ms);  // both due: a clock condition, not an event awaited
  executor.spin_some();
  EXPECT_EQ(timer_runs, 1);
}

TEST_F(ExecutorsTest, spin_until_future_complete_codes)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);

  std::promise<int> ready_promise;
  ready_promise.set_value(1);
  auto ready = ready_promise.get_future().share();
  EXPECT_EQ(executor.spin_until_future_complete(ready, 0s), rclcpp::FutureReturnCode::SUCCESS);

  std::promise<int> never_promise;
  auto never = never_promise.get_future().share();
  EXPECT_EQ(executor.spin_until_future_complete(never, 30ms), rclcpp::FutureReturnCode::TIMEOUT);

  // Completed by a timer callback run by the executor itself.
  std::promise<int> timer_promise;
  auto by_timer = timer_promise.get_future().share();
  bool set = false;
  auto timer = node_->create_wall_timer(
    5ms, [&] {
      if (!set) {
        timer_promise.set_value(7);
        set = true;
      }
    });
  EXPECT_EQ(executor.spin_until_future_complete(by_timer, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(by_timer.get(), 7);

  std::thread stopper([] {
      std::this_thread::sleep_for(50ms);
      rclcpp::shutdown();
    });
  EXPECT_EQ(
    executor.spin_until_future_complete(never, 30s), rclcpp::FutureReturnCode::INTERRUPTED);
  stopper.join();
}

TEST_F(ExecutorsTest, spin_wakes_for_data_from_another_thread_and_ends_on_shutdown)
{
  std::vector<int> received;
  auto sub = node_->create_subscription<Int32>(
    "remote", 10, [&received](Int32::ConstSharedPtr m) {
      received.push_back(m->data);
      if (m->data == 3) {
        rclcpp::shutdown();
      }
    });
  auto other = std::make_shared<rclcpp::Node>("sender", "/ex");
  auto pub = other->create_publisher<Int32>("remote", 10);
  std::thread sender([&] {
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (pub->get_subscription_count() == 0u && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
      }
      for (int i = 1; i <= 3; ++i) {
        std::this_thread::sleep_for(20ms);
        Int32 m;
        m.data = i;
        pub->publish(m);
      }
    });
  const auto start = std::chrono::steady_clock::now();
  rclcpp::spin(node_);  // returns when the callback shuts the context down
  sender.join();
  EXPECT_EQ(received, (std::vector<int>{1, 2, 3}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(rclcpp::ok());
}

TEST_F(ExecutorsTest, cancel_ends_spin_and_nested_spins_are_refused)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  std::string nested_error;
  int calls = 0;
  auto timer = node_->create_wall_timer(
    1ms, [&] {
      ++calls;
      nested_error = runtime_error_of([&] {executor.spin_some();});
      executor.cancel();
    });
  executor.spin();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(nested_error, "spin_some() called while already spinning");
  EXPECT_FALSE(executor.is_spinning());
  EXPECT_TRUE(rclcpp::ok());
}

TEST_F(ExecutorsTest, exceptions_from_callbacks_leave_spin)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  auto timer = node_->create_wall_timer(1ms, [] {throw std::logic_error("from callback");});
  EXPECT_THROW(executor.spin(), std::logic_error);
  EXPECT_FALSE(executor.is_spinning());
  // The default group is released again.
  timer->cancel();
  int calls = 0;
  auto next = node_->create_wall_timer(1ms, [&] {++calls; executor.cancel();});
  executor.spin();
  EXPECT_EQ(calls, 1);
}

/// Largest number of callbacks of `group` that ran at the same time on a 2-thread executor.
int max_overlap(rclcpp::Node::SharedPtr node, rclcpp::CallbackGroup::SharedPtr group)
{
  std::mutex mutex;
  std::condition_variable cv;
  int running = 0;
  int peak = 0;
  int finished = 0;
  auto body = [&] {
      std::unique_lock<std::mutex> lock(mutex);
      ++running;
      peak = std::max(peak, running);
      cv.notify_all();
      // Wait (bounded) for the other callback to start too.
      cv.wait_for(lock, 300ms, [&] {return running >= 2;});
      --running;
      ++finished;
      cv.notify_all();
    };
  std::vector<rclcpp::TimerBase::SharedPtr> timers;
  for (int i = 0; i < 2; ++i) {
    timers.push_back(
      node->create_wall_timer(
        1ms, [&, i] {
          body();
          timers[static_cast<size_t>(i)]->cancel();
        }, group));
  }
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
  executor.add_node(node);
  std::thread spinner([&] {executor.spin();});
  {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait_for(lock, 10s, [&] {return finished >= 2;});
  }
  executor.cancel();
  spinner.join();
  executor.remove_node(node);
  return peak;
}

TEST_F(ExecutorsTest, multi_threaded_executor_honours_callback_groups)
{
  auto reentrant = node_->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
  EXPECT_EQ(max_overlap(node_, reentrant), 2);
  auto exclusive = node_->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive);
  EXPECT_EQ(max_overlap(node_, exclusive), 1);
}

TEST_F(ExecutorsTest, groups_not_added_with_the_node_need_their_own_executor)
{
  auto separate = node_->create_callback_group(
    rclcpp::CallbackGroupType::MutuallyExclusive, false);
  int calls = 0;
  auto timer = node_->create_wall_timer(1ms, [&calls] {++calls;}, separate);
  rclcpp::executors::SingleThreadedExecutor node_executor;
  node_executor.add_node(node_);
  std::promise<void> never;
  node_executor.spin_until_future_complete(never.get_future().share(), 50ms);
  EXPECT_EQ(calls, 0);

  rclcpp::executors::SingleThreadedExecutor group_executor;
  group_executor.add_callback_group(separate, node_->get_node_base_interface());
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (calls < 2 && std::chrono::steady_clock::now() < deadline) {
    group_executor.spin_once(50ms);
  }
  EXPECT_GE(calls, 2);
}

}  // namespace
