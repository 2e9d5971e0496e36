// Wall timers: firing, cancel/reset semantics, destruction inside callbacks, period checks.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"

#include "node_fixture.hpp"

using namespace std::chrono_literals;

namespace
{

class TimersTest : public NodeFixture
{
protected:
  TimersTest()
  : NodeFixture("timer_probe", "", std::chrono::seconds(10), std::chrono::milliseconds(50)) {}

  /// A second timer that counts ticks; used as the clock of "nothing more happened".
  int run_ticks(int ticks)
  {
    int count = 0;
    auto ticker = node_->create_wall_timer(2ms, [&count] {++count;});
    spin_until([&] {return count >= ticks;});
    return count;
  }

  template<typename ExceptionT, typename Fn>
  static std::string what_of(Fn && fn)
  {
    try {
      fn();
    } catch (const ExceptionT & e) {
      return e.what();
    }
    return "<no exception>";
  }

};

TEST_F(TimersTest, fires_repeatedly_and_reports_its_schedule)
{
  int calls = 0;
  auto timer = node_->create_wall_timer(5ms, [&calls] {++calls;});
  EXPECT_TRUE(timer->is_steady());
  EXPECT_FALSE(timer->is_canceled());
  const auto until = timer->time_until_trigger();
  EXPECT_GT(until, 0ns);
  EXPECT_LE(until, 5ms);
  ASSERT_TRUE(spin_until([&] {return calls >= 5;}));

  // The TimerBase & form gets the timer itself.
  rclcpp::TimerBase * seen = nullptr;
  auto self_aware = node_->create_wall_timer(
    1ms, [&seen](rclcpp::TimerBase & t) {seen = &t; t.cancel();});
  ASSERT_TRUE(spin_until([&] {return seen != nullptr;}));
  EXPECT_EQ(seen, self_aware.get());
  EXPECT_TRUE(self_aware->is_canceled());
}

TEST_F(TimersTest, cancel_stops_calls_and_reset_rearms)
{
  int calls = 0;
  rclcpp::TimerBase::SharedPtr timer;
  timer = node_->create_wall_timer(
    2ms, [&] {
      if (++calls == 3) {
        timer->cancel();
      }
    });
  ASSERT_TRUE(spin_until([&] {return calls == 3;}));
  EXPECT_TRUE(timer->is_canceled());
  EXPECT_EQ(timer->time_until_trigger(), std::chrono::nanoseconds::max());
  run_ticks(20);
  EXPECT_EQ(calls, 3);

  timer->reset();
  EXPECT_FALSE(timer->is_canceled());
  ASSERT_TRUE(spin_until([&] {return calls == 4;}));

  // Cancelling from outside, before the executor sees it ready, drops the pending call.
  timer->cancel();
  run_ticks(20);
  EXPECT_EQ(calls, 4);
}

TEST_F(TimersTest, reset_inside_the_callback_postpones_the_next_call)
{
  // A watchdog: a fast timer keeps resetting a slow one, which therefore never fires.
  int watchdog_calls = 0;
  auto watchdog = node_->create_wall_timer(2s, [&watchdog_calls] {++watchdog_calls;});
  int kicks = 0;
  auto kicker = node_->create_wall_timer(
    5ms, [&] {
      ++kicks;
      watchdog->reset();
    });
  ASSERT_TRUE(spin_until([&] {return kicks >= 50;}));
  kicker->cancel();
  EXPECT_EQ(watchdog_calls, 0);
  ASSERT_TRUE(spin_until([&] {return watchdog_calls == 1;}));
}

TEST_F(TimersTest, destroying_a_timer_inside_its_own_callback_is_safe)
{
  int calls = 0;
  rclcpp::TimerBase::SharedPtr timer;
  timer = node_->create_wall_timer(
    1ms, [&] {
      ++calls;
      timer.reset();  // drops the last user reference while the callback runs
    });
  ASSERT_TRUE(spin_until([&] {return calls == 1;}));
  EXPECT_EQ(timer, nullptr);
  run_ticks(20);
  EXPECT_EQ(calls, 1);
}

TEST_F(TimersTest, destroying_another_timer_from_a_callback_stops_it)
{
  int victim_calls = 0;
  auto victim = node_->create_wall_timer(1ms, [&victim_calls] {++victim_calls;});
  bool killed = false;
  auto killer = node_->create_wall_timer(
    3ms, [&] {
      if (!killed) {
        victim.reset();
        killed = true;
      }
    });
  ASSERT_TRUE(spin_until([&] {return killed;}));
  const int at_kill = victim_calls;
  run_ticks(20);
  EXPECT_EQ(victim_calls, at_kill);
}

TEST_F(TimersTest, timers_created_inside_callbacks_are_picked_up)
{
  std::vector<rclcpp::TimerBase::SharedPtr> spawned;
  int child_calls = 0;
  auto parent = node_->create_wall_timer(
    1ms, [&] {
      if (spawned.empty()) {
        spawned.push_back(node_->create_wall_timer(1ms, [&child_calls] {++child_calls;}));
      }
    });
  ASSERT_TRUE(spin_until([&] {return child_calls >= 3;}));
}

TEST_F(TimersTest, period_checks_match_humble)
{
  EXPECT_EQ(
    what_of<std::invalid_argument>([&] {node_->create_wall_timer(-1ms, [] {});}),
    "timer period cannot be negative");
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {node_->create_wall_timer(std::chrono::duration<double>(-1.0), [] {});}),
    "timer period cannot be negative");
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {node_->create_wall_timer(std::chrono::hours::max(), [] {});}),
    "timer period must be less than std::chrono::nanoseconds::max()");
  EXPECT_NO_THROW(node_->create_wall_timer(std::chrono::nanoseconds::max(), [] {}));
  int zero_calls = 0;
  auto zero = node_->create_wall_timer(0ms, [&zero_calls] {++zero_calls;});
  ASSERT_TRUE(spin_until([&] {return zero_calls >= 3;}));
  zero->cancel();

  EXPECT_THROW(
    rclcpp::create_timer(
      node_, node_->get_clock(), rclcpp::Duration::from_seconds(-1.0), [] {}),
    rclcpp::exceptions::RCLInvalidArgument);
}

TEST_F(TimersTest, node_clock_timer_fires)
{
  int calls = 0;
  auto timer = rclcpp::create_timer(
    node_, node_->get_clock(), rclcpp::Duration::from_seconds(0.002), [&calls] {++calls;});
  EXPECT_FALSE(timer->is_steady());
  ASSERT_TRUE(spin_until([&] {return calls >= 3;}));
}

}  // namespace
