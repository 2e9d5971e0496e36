// Diagnostics of both node bases as seen by a subscriber on "/diagnostics".

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "diagnostic_msgs/msg/diagnostic_status.hpp"
#include "diagnostic_msgs/msg/key_value.hpp"
#include "diagnostic_updater/diagnostic_updater.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

#include "rclcpp_tarvek/lifecycle_node.hpp"
#include "rclcpp_tarvek/node.hpp"

using namespace std::chrono_literals;
using diagnostic_msgs::msg::DiagnosticStatus;
using diagnostic_msgs::msg::KeyValue;

namespace
{

/// One received status with the stamp of the array that carried it.
struct Received
{
  rclcpp::Time stamp;
  DiagnosticStatus status;
};

/// Records every status published on "/diagnostics".
class DiagnosticsListener : public rclcpp::Node
{
public:
  DiagnosticsListener()
  : rclcpp::Node("diagnostics_listener")
  {
    subscription_ = create_subscription<diagnostic_msgs::msg::DiagnosticArray>(
      "/diagnostics", rclcpp::QoS(100),
      [this](diagnostic_msgs::msg::DiagnosticArray::ConstSharedPtr msg) {
        for (const auto & status : msg->status) {
          received_.push_back({rclcpp::Time(msg->header.stamp), status});
        }
      });
  }

  /// Statuses with this name, in order of arrival.
  std::vector<Received> Of(const std::string & name) const
  {
    std::vector<Received> out;
    for (const auto & r : received_) {
      if (r.status.name == name) {
        out.push_back(r);
      }
    }
    return out;
  }

  /// Statuses with this name stamped strictly after `after`.
  std::vector<Received> Of(const std::string & name, const rclcpp::Time & after) const
  {
    std::vector<Received> out;
    for (const auto & r : Of(name)) {
      if (r.stamp > after) {
        out.push_back(r);
      }
    }
    return out;
  }

private:
  rclcpp::Subscription<diagnostic_msgs::msg::DiagnosticArray>::SharedPtr subscription_;
  std::vector<Received> received_;
};

rclcpp::NodeOptions WithPeriod(const std::string & period)
{
  return rclcpp::NodeOptions().arguments(
    {"--ros-args", "-p", "diagnostic_updater.period:=" + period});
}

void ExpectPairs(
  const DiagnosticStatus & status, const std::vector<std::pair<std::string, std::string>> & pairs)
{
  ASSERT_EQ(status.values.size(), pairs.size()) << status.name << ": " << status.message;
  for (size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(status.values[i].key, pairs[i].first) << "pair " << i;
    EXPECT_EQ(status.values[i].value, pairs[i].second) << "pair " << i;
  }
}

void ExpectStartUp(const DiagnosticStatus & status)
{
  EXPECT_EQ(status.level, DiagnosticStatus::OK);
  EXPECT_EQ(status.message, "Node starting up");
  EXPECT_EQ(status.hardware_id, "");
  EXPECT_TRUE(status.values.empty());
}

/// Level, message and pairs that the lifecycle variant's default update writes.
void ExpectLifecycleContent(const DiagnosticStatus & status, uint8_t id, const std::string & label)
{
  EXPECT_EQ(status.level, DiagnosticStatus::OK) << label;
  EXPECT_EQ(status.message, label);
  ExpectPairs(status, {{"LifecycleStateId", std::to_string(id)}, {"LifecycleStateLabel", label}});
}

/// A published lifecycle status, which also carries the hardware id.
void ExpectLifecycleState(const DiagnosticStatus & status, uint8_t id, const std::string & label)
{
  ExpectLifecycleContent(status, id, label);
  EXPECT_EQ(status.hardware_id, "none") << label;
}

class DiagnosticsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    listener_ = std::make_shared<DiagnosticsListener>();
    executor_->add_node(listener_);
  }

  void TearDown() override
  {
    executor_.reset();
    listener_.reset();
    rclcpp::shutdown();
  }

  /// Spin the executor until `done` holds or the timeout passes; returns `done()`.
  bool SpinUntil(const std::function<bool()> & done, std::chrono::seconds timeout = 10s)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      executor_->spin_once(20ms);
    }
    return done();
  }

  /// The first status of `name` stamped after `after` (spinning until one arrives).
  DiagnosticStatus NextStatus(const std::string & name, const rclcpp::Time & after)
  {
    EXPECT_TRUE(SpinUntil([&] {return !listener_->Of(name, after).empty();}))
      << "no status for " << name;
    const auto statuses = listener_->Of(name, after);
    return statuses.empty() ? DiagnosticStatus() : statuses.front().status;
  }

  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
  std::shared_ptr<DiagnosticsListener> listener_;
};

/// Counts calls of the initialize hook across construction (a member would be reset by
/// the derived part's own initialisation).
int g_custom_initialize_calls = 0;

/// Uses both hooks and records what the update hook finds.
class HookedNode : public rclcpp_tarvek::Node
{
public:
  explicit HookedNode(const rclcpp::NodeOptions & options)
  : rclcpp_tarvek::Node("diag_hooked", options) {}

  void InitializeCustomDiagnostics() override
  {
    ++g_custom_initialize_calls;
  }

  void UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat) override
  {
    ++update_calls;
    seen_values = stat.values;
    seen_level = stat.level;
    seen_message = stat.message;
    stat.add("Battery", 42);
    stat.summary(diagnostic_updater::DiagnosticStatusWrapper::WARN, "Battery low");
  }

  int update_calls = 0;
  std::vector<KeyValue> seen_values;
  unsigned char seen_level = 255;
  std::string seen_message;
};

/// Looks at the status from inside a transition callback, where the current state is a
/// transition state with a two-digit id.
class ProbedLifecycleNode : public rclcpp_tarvek::LifecycleNode
{
public:
  using CallbackReturn =
    rclcpp_lifecycle::node_interfaces::LifecycleNodeInterface::CallbackReturn;

  explicit ProbedLifecycleNode(const rclcpp::NodeOptions & options)
  : rclcpp_tarvek::LifecycleNode("diag_lifecycle", options) {}

  CallbackReturn on_configure(const rclcpp_lifecycle::State & /*previous*/) override
  {
    diagnostic_updater::DiagnosticStatusWrapper stat;
    UpdateDefaultDiagnostics(stat);
    during_configure = stat;
    return CallbackReturn::SUCCESS;
  }

  void UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat) override
  {
    seen_pairs = stat.values.size();
  }

  DiagnosticStatus during_configure;
  size_t seen_pairs = 0;
};

TEST_F(DiagnosticsTest, DefaultStatusStartsUpThenReportsOperationalOncePerPeriod)
{
  auto node = std::make_shared<rclcpp_tarvek::Node>("diag_plain", rclcpp::NodeOptions());
  executor_->add_node(node);
  const std::string name = "diag_plain: State";

  ASSERT_TRUE(SpinUntil([&] {return listener_->Of(name).size() >= 3;}));
  const auto statuses = listener_->Of(name);
  ExpectStartUp(statuses[0].status);
  for (size_t i = 1; i < statuses.size(); ++i) {
    const auto & status = statuses[i].status;
    EXPECT_EQ(status.level, DiagnosticStatus::OK);
    EXPECT_EQ(status.message, "Operational");
    EXPECT_EQ(status.hardware_id, "none");
    ExpectPairs(status, {{"Operational", "True"}});
  }
  // One status per period of 1.0 s (a wide window: only a different period must fail).
  const double interval = (statuses[2].stamp - statuses[1].stamp).seconds();
  EXPECT_GT(interval, 0.5);
  EXPECT_LT(interval, 3.0);
  EXPECT_DOUBLE_EQ(node->get_parameter("diagnostic_updater.period").as_double(), 1.0);
}

TEST_F(DiagnosticsTest, CustomUpdateFindsDefaultsAndInitializeHookIsNotRunByBase)
{
  g_custom_initialize_calls = 0;
  auto node = std::make_shared<HookedNode>(WithPeriod("0.1"));
  executor_->add_node(node);
  const std::string name = "diag_hooked: State";

  ASSERT_TRUE(SpinUntil([&] {return listener_->Of(name).size() >= 3;}));
  EXPECT_EQ(g_custom_initialize_calls, 0);
  EXPECT_GE(node->update_calls, 2);

  ASSERT_EQ(node->seen_values.size(), 1u);
  EXPECT_EQ(node->seen_values[0].key, "Operational");
  EXPECT_EQ(node->seen_values[0].value, "True");
  EXPECT_EQ(node->seen_level, DiagnosticStatus::OK);
  EXPECT_EQ(node->seen_message, "Operational");

  const auto statuses = listener_->Of(name);
  ExpectStartUp(statuses[0].status);
  const auto & status = statuses.back().status;
  EXPECT_EQ(status.level, DiagnosticStatus::WARN);
  EXPECT_EQ(status.message, "Battery low");
  EXPECT_EQ(status.hardware_id, "none");
  ExpectPairs(status, {{"Operational", "True"}, {"Battery", "42"}});
}

TEST_F(DiagnosticsTest, PeriodParameterOverridesDefault)
{
  auto fast = std::make_shared<rclcpp_tarvek::Node>("diag_fast", WithPeriod("0.1"));
  executor_->add_node(fast);
  EXPECT_DOUBLE_EQ(fast->get_parameter("diagnostic_updater.period").as_double(), 0.1);

  const std::string name = "diag_fast: State";
  ASSERT_TRUE(SpinUntil([&] {return listener_->Of(name).size() >= 12;}));
  const auto statuses = listener_->Of(name);
  // Ten intervals between periodic statuses: near 0.1 s each, far from the default 1.0 s.
  const double mean = (statuses[11].stamp - statuses[1].stamp).seconds() / 10.0;
  EXPECT_GT(mean, 0.05);
  EXPECT_LT(mean, 0.5);
}

TEST_F(DiagnosticsTest, PeriodOfWrongTypeFailsConstruction)
{
  EXPECT_THROW(
    std::make_shared<rclcpp_tarvek::Node>("diag_bad_period", WithPeriod("1")),
    rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(
    std::make_shared<rclcpp_tarvek::LifecycleNode>("diag_bad_period_lc", WithPeriod("true")),
    rclcpp::exceptions::InvalidParameterTypeException);
}

TEST_F(DiagnosticsTest, DisableDiagnosticsStopsPublishingForGood)
{
  auto plain = std::make_shared<rclcpp_tarvek::Node>("diag_disabled", WithPeriod("0.1"));
  auto managed = std::make_shared<rclcpp_tarvek::LifecycleNode>(
    "diag_disabled_lc", WithPeriod("0.1"));
  auto control = std::make_shared<rclcpp_tarvek::Node>("diag_control", WithPeriod("0.1"));
  executor_->add_node(plain);
  executor_->add_node(managed->get_node_base_interface());
  executor_->add_node(control);

  ASSERT_TRUE(SpinUntil([&] {
    return listener_->Of("diag_disabled: State").size() >= 3 &&
           listener_->Of("diag_disabled_lc: State").size() >= 3;
  }));

  plain->DisableDiagnostics();
  plain->DisableDiagnostics();
  managed->DisableDiagnostics();
  managed->DisableDiagnostics();
  // Without an updater there is nothing to register with; this must be harmless.
  plain->InitializeDefaultDiagnostics();
  managed->InitializeDefaultDiagnostics();
  const rclcpp::Time disabled_at = control->now();

  // The control node keeps publishing at the same period: after five of its statuses the
  // disabled nodes would have published too.
  ASSERT_TRUE(SpinUntil([&] {
    return listener_->Of("diag_control: State", disabled_at).size() >= 5;
  }));
  EXPECT_TRUE(listener_->Of("diag_disabled: State", disabled_at).empty());
  EXPECT_TRUE(listener_->Of("diag_disabled_lc: State", disabled_at).empty());
}

TEST_F(DiagnosticsTest, LifecycleStatusReportsEveryStateAtLevelOk)
{
  auto node = std::make_shared<ProbedLifecycleNode>(WithPeriod("0.1"));
  executor_->add_node(node->get_node_base_interface());
  const std::string name = "diag_lifecycle: State";

  ASSERT_TRUE(SpinUntil([&] {return listener_->Of(name).size() >= 2;}));
  const auto first = listener_->Of(name);
  ExpectStartUp(first[0].status);
  ExpectLifecycleState(first[1].status, 1, "unconfigured");
  EXPECT_EQ(node->seen_pairs, 2u);

  ASSERT_EQ(node->configure().id(), 2);
  ExpectLifecycleState(NextStatus(name, node->now()), 2, "inactive");
  // Inside the callback the node is in the transition state "configuring" (id 10).
  ExpectLifecycleContent(node->during_configure, 10, "configuring");

  ASSERT_EQ(node->activate().id(), 3);
  ExpectLifecycleState(NextStatus(name, node->now()), 3, "active");

  ASSERT_EQ(node->deactivate().id(), 2);
  ExpectLifecycleState(NextStatus(name, node->now()), 2, "inactive");

  ASSERT_EQ(node->shutdown().id(), 4);
  ExpectLifecycleState(NextStatus(name, node->now()), 4, "finalized");
}

}  // namespace
