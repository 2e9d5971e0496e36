// Updater: the message sequence on /diagnostics, its parameters, status naming, hardware id
// handling, and the node kinds it can be built from.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "diagnostic_updater/diagnostic_updater.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#ifdef HAVE_RCLCPP_LIFECYCLE
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#endif

using namespace std::chrono_literals;
using diagnostic_msgs::msg::DiagnosticArray;
using diagnostic_updater::DiagnosticStatusWrapper;

namespace
{

// Log lines seen by rcutils, so that warnings can be counted.
struct LogLine
{
  int severity;
  std::string name;
  std::string text;
};
std::mutex g_log_mutex;
std::vector<LogLine> g_log;
rcutils_logging_output_handler_t g_previous_handler = nullptr;

void capture(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char buffer[2048];
  std::vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log.push_back(LogLine{severity, name ? name : "", buffer});
  }
  if (g_previous_handler) {
    g_previous_handler(location, severity, name, timestamp, format, args);
  }
}

size_t count_log(int severity, const std::string & text)
{
  std::lock_guard<std::mutex> lock(g_log_mutex);
  size_t n = 0;
  for (const auto & line : g_log) {
    if (line.severity == severity && line.text == text) {
      ++n;
    }
  }
  return n;
}

const char * const kNoHwIdWarning =
  "diagnostic_updater: No HW_ID was set. This is probably a bug. Please report it. For devices "
  "that do not have a HW_ID, set this value to 'none'. This warning only occurs once all "
  "diagnostics are OK. It is okay to wait until the device is open before calling setHardwareID.";

class UpdaterTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr);
    g_previous_handler = rcutils_logging_get_output_handler();
    rcutils_logging_set_output_handler(capture);
  }
  static void TearDownTestSuite()
  {
    rcutils_logging_set_output_handler(g_previous_handler);
    rclcpp::shutdown();
  }

  void SetUp() override
  {
    listener_ = std::make_shared<rclcpp::Node>("diag_listener");
    sub_ = listener_->create_subscription<DiagnosticArray>(
      "/diagnostics", 50, [this](const DiagnosticArray & msg) {
        arrays_.push_back(msg);
      });
    exec_.add_node(listener_);
  }

  void TearDown() override
  {
    for (const auto & node : added_) {
      exec_.remove_node(node);
    }
    exec_.remove_node(listener_);
  }

  template<typename NodeT>
  void spin_node(const std::shared_ptr<NodeT> & node)
  {
    added_.push_back(node->get_node_base_interface());
    exec_.add_node(node->get_node_base_interface());
  }

  /// Spins until `count` arrays have arrived (or 10 s passed); true if they did.
  bool wait_for_arrays(size_t count, std::chrono::seconds timeout = 10s)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (arrays_.size() < count && std::chrono::steady_clock::now() < deadline) {
      exec_.spin_once(10ms);
    }
    return arrays_.size() >= count;
  }

  /// Lets the executor run for a while (for checking that nothing else arrives).
  void spin_for(std::chrono::milliseconds duration)
  {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
      exec_.spin_once(10ms);
    }
  }

  rclcpp::executors::SingleThreadedExecutor exec_;
  rclcpp::Node::SharedPtr listener_;
  rclcpp::Subscription<DiagnosticArray>::SharedPtr sub_;
  std::vector<DiagnosticArray> arrays_;
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::SharedPtr> added_;
};

void fill_all_good(DiagnosticStatusWrapper & stat)
{
  stat.summary(DiagnosticStatusWrapper::OK, "all good");
  stat.add("flag_true", true);
  stat.add("int", 42);
}

TEST_F(UpdaterTest, StartupStatusThenOneArrayPerPeriod)
{
  auto node = std::make_shared<rclcpp::Node>("cmd_probe");
  diagnostic_updater::Updater updater(node, 0.2);
  updater.setHardwareID("none");
  updater.add("State", fill_all_good);
  spin_node(node);

  ASSERT_TRUE(wait_for_arrays(5));
  const auto & startup = arrays_[0];
  ASSERT_EQ(startup.status.size(), 1u);
  EXPECT_EQ(startup.status[0].level, DiagnosticStatusWrapper::OK);
  EXPECT_EQ(startup.status[0].name, "cmd_probe: State");
  EXPECT_EQ(startup.status[0].message, "Node starting up");
  EXPECT_EQ(startup.status[0].hardware_id, "") << "the start-up status has no hardware id";
  EXPECT_TRUE(startup.status[0].values.empty());
  EXPECT_EQ(startup.header.frame_id, "");

  for (size_t i = 1; i < 5; ++i) {
    ASSERT_EQ(arrays_[i].status.size(), 1u);
    const auto & s = arrays_[i].status[0];
    EXPECT_EQ(s.name, "cmd_probe: State");
    EXPECT_EQ(s.level, DiagnosticStatusWrapper::OK);
    EXPECT_EQ(s.message, "all good");
    EXPECT_EQ(s.hardware_id, "none");
    ASSERT_EQ(s.values.size(), 2u);
    EXPECT_EQ(s.values[0].value, "True");
    EXPECT_EQ(s.values[1].value, "42");
  }
  // Four periodic arrays span three periods (0.6 s). Measured on the stamps the updater
  // sets when it publishes, so a slow receiver cannot squeeze them; the window is wide.
  const double span = rclcpp::Time(arrays_[4].header.stamp).seconds() -
    rclcpp::Time(arrays_[1].header.stamp).seconds();
  EXPECT_GT(span, 0.3);
  EXPECT_LT(span, 5.0);
  EXPECT_DOUBLE_EQ(updater.getPeriod().seconds(), 0.2);
}

TEST_F(UpdaterTest, ParametersAreDeclaredWithTheGivenDefaults)
{
  auto node = std::make_shared<rclcpp::Node>("defaults_probe");
  diagnostic_updater::Updater updater(node, 0.3);
  EXPECT_DOUBLE_EQ(node->get_parameter("diagnostic_updater.period").as_double(), 0.3);
  EXPECT_FALSE(node->get_parameter("diagnostic_updater.use_fqn").as_bool());
}

TEST_F(UpdaterTest, PeriodOverrideWinsOverTheConstructorArgument)
{
  auto node = std::make_shared<rclcpp::Node>(
    "fast_probe",
    rclcpp::NodeOptions().parameter_overrides({{"diagnostic_updater.period", 0.05}}));
  diagnostic_updater::Updater updater(node, 30.0);
  EXPECT_DOUBLE_EQ(updater.getPeriod().seconds(), 0.05);
  EXPECT_DOUBLE_EQ(node->get_parameter("diagnostic_updater.period").as_double(), 0.05);
  updater.setHardwareID("none");
  updater.add("State", fill_all_good);
  spin_node(node);
  // With the 30 s argument these would take minutes.
  ASSERT_TRUE(wait_for_arrays(4));
}

TEST_F(UpdaterTest, AlreadyDeclaredParametersAreReadNotRedeclared)
{
  auto node = std::make_shared<rclcpp::Node>("declared_probe", "/robot");
  node->declare_parameter("diagnostic_updater.period", 0.1);
  node->declare_parameter("diagnostic_updater.use_fqn", true);
  diagnostic_updater::Updater updater(node, 5.0);
  EXPECT_DOUBLE_EQ(updater.getPeriod().seconds(), 0.1);
  // A second updater on the same node reuses the declarations too.
  EXPECT_NO_THROW(diagnostic_updater::Updater second(node, 2.0));
  updater.add("State", fill_all_good);
  spin_node(node);
  ASSERT_TRUE(wait_for_arrays(1));
  EXPECT_EQ(arrays_[0].status[0].name, "/robot/declared_probe: State");
}

TEST_F(UpdaterTest, IntegerPeriodOverrideFailsConstruction)
{
  auto node = std::make_shared<rclcpp::Node>(
    "int_probe",
    rclcpp::NodeOptions().parameter_overrides({{"diagnostic_updater.period", 1}}));
  try {
    diagnostic_updater::Updater updater(node);
    ADD_FAILURE() << "an integer period was accepted";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(
      e.what(),
      "parameter 'diagnostic_updater.period' has invalid type: Wrong parameter type, parameter "
      "{diagnostic_updater.period} is of type {double}, setting it to {integer} is not allowed.");
  }
}

TEST_F(UpdaterTest, UseFqnNamesStatusesWithTheFullyQualifiedName)
{
  auto fqn_node = std::make_shared<rclcpp::Node>(
    "cmd_probe", "/robot",
    rclcpp::NodeOptions().parameter_overrides({{"diagnostic_updater.use_fqn", true}}));
  diagnostic_updater::Updater fqn_updater(fqn_node);
  fqn_updater.add("State", fill_all_good);

  auto plain_node = std::make_shared<rclcpp::Node>("cmd_probe", "/other");
  diagnostic_updater::Updater plain_updater(plain_node);
  plain_updater.add("State", fill_all_good);

  ASSERT_TRUE(wait_for_arrays(2));
  EXPECT_EQ(arrays_[0].status[0].name, "/robot/cmd_probe: State");
  EXPECT_EQ(arrays_[1].status[0].name, "cmd_probe: State");
}

TEST_F(UpdaterTest, TaskThatSetsNothingIsReportedAsError)
{
  auto node = std::make_shared<rclcpp::Node>("silent_probe");
  diagnostic_updater::Updater updater(node, 30.0);
  updater.setHardwareID("hw-7");
  updater.add("Silent", [](DiagnosticStatusWrapper &) {});
  updater.force_update();
  ASSERT_TRUE(wait_for_arrays(2));
  const auto & s = arrays_[1].status.at(0);
  EXPECT_EQ(s.name, "silent_probe: Silent");
  EXPECT_EQ(s.level, DiagnosticStatusWrapper::ERROR);
  EXPECT_EQ(s.message, "No message was set");
  EXPECT_EQ(s.hardware_id, "hw-7");
}

TEST_F(UpdaterTest, MissingHardwareIdWarnsOnceAndOnlyWhileEmptyAndAllOk)
{
  const size_t before = count_log(RCUTILS_LOG_SEVERITY_WARN, kNoHwIdWarning);
  {
    auto node = std::make_shared<rclcpp::Node>("nohwid_probe");
    diagnostic_updater::Updater updater(node, 30.0);
    updater.add("State", fill_all_good);
    EXPECT_EQ(count_log(RCUTILS_LOG_SEVERITY_WARN, kNoHwIdWarning), before) << "not at add";
    updater.force_update();
    updater.force_update();
    updater.force_update();
    EXPECT_EQ(count_log(RCUTILS_LOG_SEVERITY_WARN, kNoHwIdWarning), before + 1);
    ASSERT_TRUE(wait_for_arrays(4));
    EXPECT_EQ(arrays_[3].status[0].hardware_id, "");
  }
  {
    auto node = std::make_shared<rclcpp::Node>("hwid_probe");
    diagnostic_updater::Updater updater(node, 30.0);
    updater.setHardwareID("none");
    updater.add("State", fill_all_good);
    updater.force_update();
  }
  {
    auto node = std::make_shared<rclcpp::Node>("warn_probe");
    diagnostic_updater::Updater updater(node, 30.0);
    updater.add(
      "State", [](DiagnosticStatusWrapper & stat) {
        stat.summary(DiagnosticStatusWrapper::WARN, "degraded");
      });
    updater.force_update();
  }
  EXPECT_EQ(count_log(RCUTILS_LOG_SEVERITY_WARN, kNoHwIdWarning), before + 1);
}

class CountingTask : public diagnostic_updater::DiagnosticTask
{
public:
  CountingTask()
  : diagnostic_updater::DiagnosticTask("Counter") {}
  void run(DiagnosticStatusWrapper & stat) override
  {
    ++runs;
    stat.summary(DiagnosticStatusWrapper::OK, "counted");
  }
  int runs = 0;
};

class MemberTaskOwner
{
public:
  void fill(DiagnosticStatusWrapper & stat) {stat.summary(DiagnosticStatusWrapper::WARN, "member");}
};

TEST_F(UpdaterTest, AddFormsRemoveByNameBroadcastAndForceUpdate)
{
  auto node = std::make_shared<rclcpp::Node>("forms_probe");
  diagnostic_updater::Updater updater(node, 30.0);
  updater.setHardwareID("none");
  CountingTask counter;
  MemberTaskOwner owner;
  updater.add(counter);
  updater.add("Member", &owner, &MemberTaskOwner::fill);
  updater.add("Function", fill_all_good);
  EXPECT_TRUE(updater.removeByName("Function"));
  EXPECT_FALSE(updater.removeByName("Function"));

  updater.force_update();
  EXPECT_EQ(counter.runs, 1);
  updater.broadcast(DiagnosticStatusWrapper::WARN, "paused");
  EXPECT_EQ(counter.runs, 1) << "broadcast does not run the tasks";

  ASSERT_TRUE(wait_for_arrays(5));  // three start-up statuses, one update, one broadcast
  const auto & update = arrays_[3];
  ASSERT_EQ(update.status.size(), 2u);
  EXPECT_EQ(update.status[0].name, "forms_probe: Counter");
  EXPECT_EQ(update.status[0].message, "counted");
  EXPECT_EQ(update.status[1].name, "forms_probe: Member");
  EXPECT_EQ(update.status[1].level, DiagnosticStatusWrapper::WARN);
  const auto & broadcast = arrays_[4];
  ASSERT_EQ(broadcast.status.size(), 2u);
  for (const auto & s : broadcast.status) {
    EXPECT_EQ(s.level, DiagnosticStatusWrapper::WARN);
    EXPECT_EQ(s.message, "paused");
    EXPECT_EQ(s.hardware_id, "");
  }
}

/// A node that owns its updater and hands it `this`, as node classes usually do.
class SelfReportingNode : public rclcpp::Node
{
public:
  SelfReportingNode()
  : rclcpp::Node("self_reporting"), updater_(this, 0.1)
  {
    updater_.setHardwareID("none");
    updater_.add("State", this, &SelfReportingNode::fill);
  }

private:
  void fill(DiagnosticStatusWrapper & stat) {stat.summary(DiagnosticStatusWrapper::OK, "self");}
  diagnostic_updater::Updater updater_;
};

TEST_F(UpdaterTest, WorksFromARawNodePointerInsideTheConstructor)
{
  auto node = std::make_shared<SelfReportingNode>();
  spin_node(node);
  ASSERT_TRUE(wait_for_arrays(2));
  EXPECT_EQ(arrays_[1].status.at(0).name, "self_reporting: State");
  EXPECT_EQ(arrays_[1].status.at(0).message, "self");
}

TEST_F(UpdaterTest, DestroyedUpdaterPublishesNothingMore)
{
  auto node = std::make_shared<rclcpp::Node>("gone_probe");
  spin_node(node);
  {
    diagnostic_updater::Updater updater(node, 0.05);
    updater.setHardwareID("none");
    updater.add("State", fill_all_good);
    ASSERT_TRUE(wait_for_arrays(3));
  }
  const size_t seen = arrays_.size();
  spin_for(300ms);
  EXPECT_EQ(arrays_.size(), seen);
}

#ifdef HAVE_RCLCPP_LIFECYCLE
TEST_F(UpdaterTest, WorksWithLifecycleNodesInEveryState)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("managed_probe");
  diagnostic_updater::Updater updater(node, 0.1);
  updater.setHardwareID("none");
  updater.add(
    "State", [&node](DiagnosticStatusWrapper & stat) {
      stat.summary(DiagnosticStatusWrapper::OK, node->get_current_state().label());
    });
  // A second updater from the raw pointer shares the node's parameters.
  diagnostic_updater::Updater raw_updater(node.get(), 0.1);
  raw_updater.setHardwareID("none");
  EXPECT_TRUE(node->has_parameter("diagnostic_updater.period"));
  spin_node(node);
  ASSERT_TRUE(wait_for_arrays(3));
  EXPECT_EQ(arrays_[0].status.at(0).name, "managed_probe: State");

  // The task reports the current state; diagnostics run in every lifecycle state.
  auto last_label = [this]() {
      for (auto it = arrays_.rbegin(); it != arrays_.rend(); ++it) {
        if (!it->status.empty()) {
          return it->status[0].message;
        }
      }
      return std::string();
    };
  EXPECT_EQ(last_label(), "unconfigured");
  ASSERT_EQ(node->configure().label(), "inactive");
  const size_t seen = arrays_.size();
  ASSERT_TRUE(wait_for_arrays(seen + 4));
  EXPECT_EQ(last_label(), "inactive");
}
#endif

}  // namespace
