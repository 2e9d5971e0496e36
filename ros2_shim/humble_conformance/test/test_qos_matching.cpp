// QoS matching between publishers and subscriptions, transient-local replay to late
// joiners, and keep-last / keep-all queueing.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/twist.hpp"
#include "rclcpp/rclcpp.hpp"

#include "node_fixture.hpp"
#include "rcutils/logging.h"
#include "std_msgs/msg/int32.hpp"

using namespace std::chrono_literals;
using Int32 = std_msgs::msg::Int32;

namespace
{

class QosMatchingTest : public NodeFixture
{
protected:
  QosMatchingTest()
  : NodeFixture("qos_probe", "/qos") {}

  rclcpp::Subscription<Int32>::SharedPtr subscribe(
    const std::string & topic, const rclcpp::QoS & qos, std::vector<int> & into)
  {
    return node_->create_subscription<Int32>(
      topic, qos, [&into](Int32::ConstSharedPtr msg) {into.push_back(msg->data);});
  }

  static Int32 make(int value)
  {
    Int32 msg;
    msg.data = value;
    return msg;
  }

};

TEST_F(QosMatchingTest, reliable_publisher_reaches_reliable_and_best_effort_subscriptions)
{
  std::vector<int> reliable;
  std::vector<int> best_effort;
  auto sub_r = subscribe("chatter", rclcpp::QoS(10).reliable(), reliable);
  auto sub_b = subscribe("chatter", rclcpp::QoS(10).best_effort(), best_effort);
  auto pub = node_->create_publisher<Int32>("chatter", rclcpp::QoS(10).reliable());
  // Each side learns of the match on its own.
  ASSERT_TRUE(
    spin_until(
      [&] {
        return pub->get_subscription_count() == 2u && sub_r->get_publisher_count() == 1u &&
        sub_b->get_publisher_count() == 1u;
      }));

  pub->publish(make(7));
  ASSERT_TRUE(spin_until([&] {return reliable.size() == 1u && best_effort.size() == 1u;}));
  EXPECT_EQ(reliable.front(), 7);
  EXPECT_EQ(best_effort.front(), 7);
  EXPECT_EQ(std::string(pub->get_topic_name()), "/qos/chatter");
}

TEST_F(QosMatchingTest, best_effort_publisher_does_not_reach_reliable_subscription)
{
  std::vector<int> reliable;
  std::vector<int> best_effort;
  auto sub_r = subscribe("lossy", rclcpp::QoS(10).reliable(), reliable);
  auto sub_b = subscribe("lossy", rclcpp::SensorDataQoS(), best_effort);
  auto pub = node_->create_publisher<Int32>("lossy", rclcpp::SensorDataQoS());
  // The graph still counts every endpoint, whatever its QoS, once discovery reports them.
  ASSERT_TRUE(
    spin_until(
      [&] {
        return pub->get_subscription_count() == 1u && sub_b->get_publisher_count() == 1u &&
        node_->count_subscribers("lossy") == 2u && node_->count_publishers("/qos/lossy") == 1u;
      }));
  EXPECT_EQ(sub_r->get_publisher_count(), 0u);

  pub->publish(make(1));
  pub->publish(make(2));
  ASSERT_TRUE(spin_until([&] {return best_effort.size() == 2u;}));
  executor_->spin_some();
  EXPECT_TRUE(reliable.empty());
}

TEST_F(QosMatchingTest, volatile_publisher_does_not_reach_transient_local_subscription)
{
  std::vector<int> durable;
  std::vector<int> plain;
  auto sub_d = subscribe("state", rclcpp::QoS(5).transient_local(), durable);
  auto sub_v = subscribe("state", rclcpp::QoS(5), plain);
  auto pub = node_->create_publisher<Int32>("state", rclcpp::QoS(5).durability_volatile());
  ASSERT_TRUE(
    spin_until(
      [&] {return pub->get_subscription_count() == 1u && sub_v->get_publisher_count() == 1u;}));
  EXPECT_EQ(sub_d->get_publisher_count(), 0u);

  pub->publish(make(3));
  ASSERT_TRUE(spin_until([&] {return plain.size() == 1u;}));
  executor_->spin_some();
  EXPECT_TRUE(durable.empty());
}

TEST_F(QosMatchingTest, incompatible_pair_is_reported_as_a_warning)
{
  static std::mutex mutex;
  static std::vector<std::string> warnings;
  {
    std::lock_guard<std::mutex> lock(mutex);
    warnings.clear();
  }
  const auto previous = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(
    [](const rcutils_log_location_t *, int severity, const char *, rcutils_time_point_value_t,
    const char * format, va_list * args) {
      char buffer[1024];
      va_list copy;
      va_copy(copy, *args);
      vsnprintf(buffer, sizeof(buffer), format, copy);
      va_end(copy);
      if (severity == RCUTILS_LOG_SEVERITY_WARN) {
        std::lock_guard<std::mutex> lock(mutex);
        warnings.emplace_back(buffer);
      }
    });
  std::vector<int> received;
  auto pub = node_->create_publisher<Int32>("mismatch", rclcpp::QoS(1).best_effort());
  auto sub = subscribe("mismatch", rclcpp::QoS(1).reliable(), received);
  auto seen = [&](const std::string & needle) {
      std::lock_guard<std::mutex> lock(mutex);
      for (const auto & w : warnings) {
        if (w.find(needle) != std::string::npos) {return true;}
      }
      return false;
    };
  const bool pub_side = spin_until(
    [&] {
      return seen(
        "New subscription discovered on topic '/qos/mismatch', requesting incompatible QoS. "
        "No messages will be sent to it. Last incompatible policy: RELIABILITY_QOS_POLICY");
    });
  const bool sub_side = spin_until(
    [&] {
      return seen(
        "New publisher discovered on topic '/qos/mismatch', offering incompatible QoS. "
        "No messages will be sent to it. Last incompatible policy: RELIABILITY_QOS_POLICY");
    });
  rcutils_logging_set_output_handler(previous);
  EXPECT_TRUE(pub_side);
  EXPECT_TRUE(sub_side);
}

TEST_F(QosMatchingTest, incompatible_qos_callbacks_run_on_the_spinning_thread)
{
  std::mutex mutex;
  std::vector<std::thread::id> threads;
  rclcpp::QOSRequestedIncompatibleQoSInfo requested{};
  rclcpp::QOSOfferedIncompatibleQoSInfo offered{};
  rclcpp::SubscriptionOptions sub_options;
  sub_options.event_callbacks.incompatible_qos_callback =
    [&](rclcpp::QOSRequestedIncompatibleQoSInfo & info) {
      std::lock_guard<std::mutex> lock(mutex);
      threads.push_back(std::this_thread::get_id());
      requested = info;
    };
  rclcpp::PublisherOptions pub_options;
  pub_options.event_callbacks.incompatible_qos_callback =
    [&](rclcpp::QOSOfferedIncompatibleQoSInfo & info) {
      std::lock_guard<std::mutex> lock(mutex);
      threads.push_back(std::this_thread::get_id());
      offered = info;
    };
  // Made on another thread, so that the pair does not meet on the spinning one.
  rclcpp::Subscription<Int32>::SharedPtr sub;
  rclcpp::Publisher<Int32>::SharedPtr pub;
  std::thread(
    [&] {
      sub = node_->create_subscription<Int32>(
        "mismatch_events", rclcpp::QoS(1).reliable(), [](Int32::ConstSharedPtr) {}, sub_options);
      pub = node_->create_publisher<Int32>(
        "mismatch_events", rclcpp::QoS(1).best_effort(), pub_options);
    }).join();
  ASSERT_TRUE(
    spin_until(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return requested.total_count > 0 && offered.total_count > 0;
      }));
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto & id : threads) {
    EXPECT_EQ(id, std::this_thread::get_id());
  }
  EXPECT_EQ(requested.total_count, 1);
  EXPECT_EQ(requested.last_policy_kind, RMW_QOS_POLICY_RELIABILITY);
  EXPECT_EQ(offered.total_count, 1);
  EXPECT_EQ(offered.last_policy_kind, RMW_QOS_POLICY_RELIABILITY);
  EXPECT_EQ(
    rclcpp::qos_policy_name_from_kind(offered.last_policy_kind), "RELIABILITY_QOS_POLICY");
}

TEST_F(QosMatchingTest, transient_local_publisher_replays_its_depth_to_late_joiners)
{
  auto pub = node_->create_publisher<Int32>("latched", rclcpp::QoS(3).transient_local());
  for (int i = 1; i <= 5; ++i) {
    pub->publish(make(i));
  }
  std::vector<int> late_durable;
  std::vector<int> late_volatile;
  auto sub_d = subscribe("latched", rclcpp::QoS(10).transient_local(), late_durable);
  auto sub_v = subscribe("latched", rclcpp::QoS(10), late_volatile);
  ASSERT_TRUE(spin_until([&] {return late_durable.size() == 3u;}));
  EXPECT_EQ(late_durable, (std::vector<int>{3, 4, 5}));
  EXPECT_TRUE(late_volatile.empty());

  // After matching both get new samples.
  ASSERT_TRUE(spin_until([&] {return pub->get_subscription_count() == 2u;}));
  pub->publish(make(6));
  ASSERT_TRUE(spin_until([&] {return late_durable.size() == 4u && late_volatile.size() == 1u;}));
  EXPECT_EQ(late_durable.back(), 6);
  EXPECT_EQ(late_volatile.back(), 6);
}

TEST_F(QosMatchingTest, late_joiner_with_smaller_depth_gets_only_the_newest)
{
  auto pub = node_->create_publisher<Int32>("latched_small", rclcpp::QoS(5).transient_local());
  for (int i = 1; i <= 5; ++i) {
    pub->publish(make(i));
  }
  std::vector<int> received;
  auto sub = subscribe("latched_small", rclcpp::QoS(2).transient_local(), received);
  ASSERT_TRUE(spin_until([&] {return !received.empty() && received.back() == 5;}));
  EXPECT_EQ(received, (std::vector<int>{4, 5}));
}

TEST_F(QosMatchingTest, keep_last_drops_the_oldest_and_keep_all_keeps_everything)
{
  std::vector<int> last_two;
  std::vector<int> all;
  auto sub_last = subscribe("burst", rclcpp::QoS(rclcpp::KeepLast(2)), last_two);
  auto sub_all = subscribe("burst", rclcpp::QoS(rclcpp::KeepAll()), all);
  auto pub = node_->create_publisher<Int32>("burst", rclcpp::QoS(rclcpp::KeepAll()));
  ASSERT_TRUE(
    spin_until(
      [&] {
        return pub->get_subscription_count() == 2u && sub_last->get_publisher_count() == 1u &&
        sub_all->get_publisher_count() == 1u;
      }));
  for (int i = 1; i <= 50; ++i) {
    pub->publish(make(i));
  }
  ASSERT_TRUE(
    spin_until(
      [&] {return all.size() == 50u && !last_two.empty() && last_two.back() == 50;}));
  EXPECT_EQ(last_two, (std::vector<int>{49, 50}));
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(all[static_cast<size_t>(i)], i + 1);
  }
}

TEST_F(QosMatchingTest, every_callback_form_receives_the_message)
{
  using Twist = geometry_msgs::msg::Twist;
  int calls = 0;
  auto check = [&calls](double x) {
      EXPECT_DOUBLE_EQ(x, 0.5);
      ++calls;
    };
  auto s1 = node_->create_subscription<Twist>(
    "forms", 10, [&](const Twist & m) {check(m.linear.x);});
  auto s2 = node_->create_subscription<Twist>(
    "forms", 10, [&](std::unique_ptr<Twist> m) {check(m->linear.x);});
  auto s3 = node_->create_subscription<Twist>(
    "forms", 10, [&](std::shared_ptr<const Twist> m) {check(m->linear.x);});
  auto s4 = node_->create_subscription<Twist>(
    "forms", 10, [&](const std::shared_ptr<const Twist> & m) {check(m->linear.x);});
  auto s5 = node_->create_subscription<Twist>(
    "forms", 10, [&](const Twist & m, const rclcpp::MessageInfo & info) {
      EXPECT_GT(info.get_rmw_message_info().source_timestamp, 0);
      check(m.linear.x);
    });
  std::function<void(std::shared_ptr<const Twist>)> as_function =
    [&](std::shared_ptr<const Twist> m) {check(m->linear.x);};
  auto s6 = node_->create_subscription<Twist>("forms", 10, as_function);
  auto pub = node_->create_publisher<Twist>("forms", 10);
  ASSERT_TRUE(spin_until([&] {return pub->get_subscription_count() == 6u;}));
  auto msg = std::make_unique<Twist>();
  msg->linear.x = 0.5;
  pub->publish(std::move(msg));
  ASSERT_TRUE(spin_until([&] {return calls == 6;}));
}

TEST_F(QosMatchingTest, invalid_topic_names_throw_name_errors)
{
  EXPECT_THROW(
    node_->create_publisher<Int32>("bad topic", 10), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
    node_->create_subscription<Int32>("9abc", 10, [](Int32::ConstSharedPtr) {}),
    rclcpp::exceptions::InvalidTopicNameError);
  auto private_pub = node_->create_publisher<Int32>("~/out", 10);
  EXPECT_EQ(std::string(private_pub->get_topic_name()), "/qos/qos_probe/out");
}

TEST_F(QosMatchingTest, publishing_after_shutdown_is_silently_ignored)
{
  auto pub = node_->create_publisher<Int32>("late", 10);
  rclcpp::shutdown();
  EXPECT_NO_THROW(pub->publish(make(1)));
}

}  // namespace
