// Copyright 2026 The twist_arbiter authors.
//
// The controller through its real topics and services: construction, the mode services'
// answers and log lines, switching, relay, watchdog, limiter ramp and refused configuration.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "arbiter_test_support.hpp"
#include "twist_arbiter/twist_arbiter_node.hpp"

using arbiter_test::Clock;
using arbiter_test::DefaultParameters;
using arbiter_test::IsZero;
using arbiter_test::LogCapture;
using arbiter_test::MakeTwist;
using arbiter_test::OptionsWith;
using arbiter_test::Probe;
using arbiter_test::Twist;
using namespace std::chrono_literals;

namespace
{

constexpr uint8_t kNone = 0;
constexpr uint8_t kManual = 10;
constexpr uint8_t kTeleops = 11;
constexpr uint8_t kMapping = 12;
constexpr uint8_t kAutopilot = 20;

constexpr int kInfo = RCUTILS_LOG_SEVERITY_INFO;
constexpr int kWarn = RCUTILS_LOG_SEVERITY_WARN;
constexpr int kError = RCUTILS_LOG_SEVERITY_ERROR;

const char kStaleText[] =
  "Last message exceeds time threshold. Sending empty message to reset target command.";

LogCapture & Logs() {return LogCapture::Instance();}

class ArbiterTest : public ::testing::Test
{
protected:
  void SetUp() override {Logs().Clear();}

  void Start(const std::map<std::string, rclcpp::ParameterValue> & values = DefaultParameters())
  {
    arbiter_ = std::make_shared<TwistArbiter>(OptionsWith(values));
    probe_ = std::make_unique<Probe>(arbiter_);
    // The late transient-local joiner must still see the start-up "none".
    ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 1;}));
    Logs().Clear();
  }

  void TearDown() override
  {
    probe_.reset();
    arbiter_.reset();
  }

  size_t StaleWarnings() const {return Logs().Count("twist_arbiter", kWarn, kStaleText);}

  std::shared_ptr<TwistArbiter> arbiter_;
  std::unique_ptr<Probe> probe_;
};

/// Builds the controller with @p values and expects it to refuse them: std::invalid_argument
/// with @p text, and that same text as the only ERROR line.
void ExpectRefused(
  const std::map<std::string, rclcpp::ParameterValue> & values, const std::string & text)
{
  Logs().Clear();
  try {
    auto node = std::make_shared<TwistArbiter>(OptionsWith(values));
    ADD_FAILURE() << "construction succeeded, expected: " << text;
  } catch (const std::invalid_argument & e) {
    EXPECT_EQ(text, e.what());
  }
  const auto errors = Logs().Texts("twist_arbiter", kError);
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("ERROR: " + text, errors[0]);
}

std::map<std::string, rclcpp::ParameterValue> With(
  const std::string & name, const rclcpp::ParameterValue & value)
{
  auto values = DefaultParameters();
  values[name] = value;
  return values;
}

}  // namespace

TEST_F(ArbiterTest, StartsInNoneAndPublishesOnlyTheStartMode)
{
  Start();
  EXPECT_EQ(std::vector<uint8_t>{kNone}, probe_->modes);
  EXPECT_EQ(0u, probe_->node()->count_subscribers("/in/manual"));
  EXPECT_EQ(0u, probe_->node()->count_subscribers("/in/teleops"));
  EXPECT_EQ(0u, probe_->node()->count_subscribers("/in/manual_mapping"));
  EXPECT_EQ(1u, probe_->node()->count_publishers("/out/cmd_vel"));

  // Input in mode none goes nowhere; the first output is the reset's zero Twist.
  probe_->Publish("/in/manual", MakeTwist(0.5), false);
  EXPECT_EQ("Control mode reset.", probe_->Reset(kNone).message);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return !probe_->twists.empty();}));
  EXPECT_TRUE(IsZero(probe_->twists[0].twist));
  EXPECT_EQ((std::vector<uint8_t>{kNone, kNone}), probe_->modes);

  // A late subscriber on the best-effort, volatile Twist topic gets nothing old, while a late
  // transient-local subscriber on the mode topic gets the history.
  probe_->SubscribeTwists("/out/cmd_vel");
  probe_->SubscribeModes("/out/control_mode");
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 2;}));
  EXPECT_EQ((std::vector<uint8_t>{kNone, kNone}), probe_->modes);
  probe_->SpinFor(200ms);
  EXPECT_TRUE(probe_->twists.empty());
  EXPECT_EQ(0u, StaleWarnings());
  EXPECT_TRUE(Logs().Texts("twist_arbiter", kWarn).empty());
}

TEST_F(ArbiterTest, SetServiceAnswersEveryCase)
{
  Start();
  // None to none: already active, not a reset.
  auto answer = probe_->Set(kNone);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Target control mode `none` is already active.", answer.message);

  // Unknown id, also from none: naming fails before anything is tested.
  answer = probe_->Set(99);
  EXPECT_FALSE(answer.success);
  EXPECT_EQ("Control mode identifier 99 not recognized.", answer.message);

  // From none any configured mode, without a transitions list.
  answer = probe_->Set(kTeleops);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to teleops.", answer.message);

  answer = probe_->Set(kTeleops);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Target control mode `teleops` is already active.", answer.message);

  // teleops' list lacks autopilot.
  answer = probe_->Set(kAutopilot);
  EXPECT_FALSE(answer.success);
  EXPECT_EQ(
    "Something went wrong. Requested control mode with id `20` is not one of the accepted "
    "control modes for mode 11.", answer.message);

  // Listed transition.
  answer = probe_->Set(kManual);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to manual.", answer.message);

  // Leaving for none needs no list entry (manual's list does not name none).
  answer = probe_->Set(kNone);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode reset, no current mode active.", answer.message);

  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 4;}));
  EXPECT_EQ((std::vector<uint8_t>{kNone, kTeleops, kManual, kNone}), probe_->modes);

  const std::vector<std::string> expected = {
    "INFO: Request received to change current mode `none` to `none`",
    "INFO: Target control mode `none` is already active.",
    "WARN: Control mode identifier 99 not recognized.",
    "INFO: Request received to change current mode `none` to `teleops`",
    "INFO: Control mode set to teleops.",
    "INFO: Request received to change current mode `teleops` to `teleops`",
    "INFO: Target control mode `teleops` is already active.",
    "INFO: Request received to change current mode `teleops` to `autopilot`",
    "WARN: Something went wrong. Requested control mode with id `20` is not one of the accepted "
    "control modes for mode 11.",
    "INFO: Request received to change current mode `teleops` to `manual`",
    "INFO: Control mode set to manual.",
    "INFO: Request received to change current mode `manual` to `none`",
    "INFO: Control mode reset, no current mode active.",
  };
  // The stale warning of the short direct-mode visits may interleave; leave it out.
  std::vector<std::string> service_lines;
  for (const auto & line : Logs().Texts("twist_arbiter")) {
    if (line != std::string("WARN: ") + kStaleText) {
      service_lines.push_back(line);
    }
  }
  EXPECT_EQ(expected, service_lines);

  // Exactly one zero Twist, from the switch to none.
  ASSERT_TRUE(probe_->SpinUntil([this]() {return !probe_->twists.empty();}));
  probe_->SpinFor(100ms);
  for (const auto & r : probe_->twists) {
    EXPECT_TRUE(IsZero(r.twist));
  }
}

TEST_F(ArbiterTest, UnknownIdIsRefusedWhateverTheLogLevel)
{
  Start();
  ASSERT_TRUE(probe_->Set(kTeleops).success);
  arbiter_->get_logger().set_level(rclcpp::Logger::Level::Error);
  Logs().Clear();
  for (auto answer : {probe_->Set(99), probe_->Previous(99), probe_->Reset(99)}) {
    EXPECT_FALSE(answer.success);
    EXPECT_EQ("Control mode identifier 99 not recognized.", answer.message);
  }
  arbiter_->get_logger().set_level(rclcpp::Logger::Level::Info);
  // Nothing switched: teleops is still current and the previous mode is still none.
  auto answer = probe_->Previous(kTeleops);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to previous mode none.", answer.message);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 3;}));
  EXPECT_EQ((std::vector<uint8_t>{kNone, kTeleops, kNone}), probe_->modes);
}

TEST_F(ArbiterTest, PreviousAndResetServicesAnswerEveryCase)
{
  Start();
  // Start state: both succeed and publish none and a zero Twist again.
  auto answer = probe_->Previous(kNone);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to previous mode none.", answer.message);
  answer = probe_->Reset(kNone);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode reset.", answer.message);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 2;}));
  EXPECT_TRUE(IsZero(probe_->twists[0].twist));
  EXPECT_TRUE(IsZero(probe_->twists[1].twist));

  ASSERT_TRUE(probe_->Set(kTeleops).success);
  ASSERT_TRUE(probe_->Set(kManual).success);

  // Mismatches change nothing.
  answer = probe_->Reset(kTeleops);
  EXPECT_FALSE(answer.success);
  EXPECT_EQ("Current mode 'manual' does not match 'teleops' in reset mode request.", answer.message);
  answer = probe_->Previous(kTeleops);
  EXPECT_FALSE(answer.success);
  EXPECT_EQ(
    "Current mode 'manual' does not match 'teleops' in previous mode request.", answer.message);

  // Returns toggle between the last two modes.
  answer = probe_->Previous(kManual);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to previous mode teleops.", answer.message);
  answer = probe_->Previous(kTeleops);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to previous mode manual.", answer.message);

  answer = probe_->Reset(kManual);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode reset.", answer.message);
  // ...and a return undoes the reset.
  answer = probe_->Previous(kNone);
  EXPECT_TRUE(answer.success);
  EXPECT_EQ("Control mode set to previous mode manual.", answer.message);

  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 9;}));
  EXPECT_EQ(
    (std::vector<uint8_t>{kNone, kNone, kNone, kTeleops, kManual, kTeleops, kManual, kNone,
      kManual}), probe_->modes);

  const auto infos = Logs().Texts("twist_arbiter", kInfo);
  EXPECT_EQ("INFO: Request received to return to previous control mode `none` from `none`", infos[0]);
  EXPECT_EQ("INFO: Control mode set to previous mode none.", infos[1]);
  EXPECT_EQ("INFO: Request received to return to reset control mode from `none`", infos[2]);
  EXPECT_EQ("INFO: Control mode reset.", infos[3]);
  EXPECT_EQ(
    1u, Logs().Count(
      "twist_arbiter", kWarn,
      "Current mode 'manual' does not match 'teleops' in reset mode request."));
  EXPECT_EQ(
    1u, Logs().Count(
      "twist_arbiter", kInfo,
      "Request received to return to previous control mode `teleops` from `manual`"));
}

TEST_F(ArbiterTest, DirectModeRelaysAndWatchdogZeroesOncePerSilence)
{
  Start();  // threshold 0.3 s
  // Times are taken before the action that arms the watchdog, so lower bounds hold under load.
  const auto switched = Clock::now();
  ASSERT_TRUE(probe_->Set(kTeleops).success);

  // A source that never publishes: one warning and one zero Twist one threshold after the switch.
  ASSERT_TRUE(probe_->SpinUntil([this]() {return StaleWarnings() == 1;}));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 1;}));
  EXPECT_TRUE(IsZero(probe_->twists[0].twist));
  EXPECT_GE(probe_->twists[0].when - switched, 250ms);

  // Input faster than the threshold: relayed unchanged, nothing else. Other modes' input and
  // non-finite commands are dropped.
  probe_->twists.clear();
  Logs().Clear();
  for (int i = 1; i <= 8; ++i) {
    const Twist cmd = MakeTwist(0.1 * i, 0.0, 0.0, 0.0, 0.0, -0.05 * i);
    probe_->Publish("/in/teleops", cmd);
    probe_->Publish("/in/manual", MakeTwist(9.0), false);
    ASSERT_TRUE(probe_->SpinUntil([this, i]() {return probe_->twists.size() == size_t(i);}));
    EXPECT_EQ(cmd, probe_->twists.back().twist);
    probe_->SpinFor(50ms);
  }
  EXPECT_EQ(0u, StaleWarnings());
  const auto last_relay = probe_->twists.back().when;

  // Silence: one warning, one zero Twist, nothing more for several thresholds.
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 9;}));
  EXPECT_TRUE(IsZero(probe_->twists.back().twist));
  EXPECT_GE(probe_->twists.back().when - last_relay, 200ms);
  EXPECT_EQ(1u, StaleWarnings());
  probe_->SpinFor(1000ms);
  EXPECT_EQ(9u, probe_->twists.size());
  EXPECT_EQ(1u, StaleWarnings());

  // Resumed input is relayed at once and re-arms the watchdog.
  probe_->Publish("/in/teleops", MakeTwist(0.7));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 10;}));
  EXPECT_EQ(MakeTwist(0.7), probe_->twists.back().twist);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return StaleWarnings() == 2;}));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 11;}));
  EXPECT_TRUE(IsZero(probe_->twists.back().twist));

  // Back to none: one zero Twist, then nothing, no warning, input ignored.
  ASSERT_TRUE(probe_->Set(kNone).success);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 12;}));
  probe_->Publish("/in/teleops", MakeTwist(0.7), false);
  probe_->SpinFor(800ms);
  EXPECT_EQ(12u, probe_->twists.size());
  EXPECT_EQ(2u, StaleWarnings());
}

TEST_F(ArbiterTest, NonFiniteCommandsAreDroppedAndDoNotFeedTheWatchdog)
{
  Start();
  const auto switched = Clock::now();
  ASSERT_TRUE(probe_->Set(kTeleops).success);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // Garbage only: nothing relayed, one throttled warning, zeroed by the watchdog as if silent.
  for (int i = 0; i < 5; ++i) {
    probe_->Publish("/in/teleops", MakeTwist(nan));
    probe_->Publish("/in/teleops", MakeTwist(0.0, 0.0, 0.0, 0.0, 0.0, -inf));
    probe_->SpinFor(40ms);
  }
  ASSERT_TRUE(probe_->SpinUntil([this]() {return !probe_->twists.empty();}));
  EXPECT_TRUE(IsZero(probe_->twists[0].twist));
  const auto zero_after = probe_->twists[0].when - switched;
  EXPECT_GE(zero_after, 250ms);
  EXPECT_LT(zero_after, 2000ms);
  EXPECT_EQ(1u, StaleWarnings());
  EXPECT_EQ(
    1u, Logs().Count(
      "twist_arbiter", kWarn,
      "Ignoring a Twist with a non-finite component received on `/in/teleops`."));

  // The warning is throttled per mode, not per visit: leaving teleops and coming back within
  // the second does not report the same source again.
  ASSERT_TRUE(probe_->Set(kNone).success);
  ASSERT_TRUE(probe_->Set(kTeleops).success);
  probe_->Publish("/in/teleops", MakeTwist(nan));
  probe_->SpinFor(100ms);
  // A good command after it is relayed, so the garbage before it has been handled. (The
  // watchdog's zero Twist may come first on a slow machine.)
  probe_->Publish("/in/teleops", MakeTwist(0.25));
  ASSERT_TRUE(
    probe_->SpinUntil(
      [this]() {
        for (const auto & r : probe_->twists) {
          if (r.twist == MakeTwist(0.25)) {return true;}
        }
        return false;
      }));
  const size_t teleops_warnings = Logs().Count(
    "twist_arbiter", kWarn,
    "Ignoring a Twist with a non-finite component received on `/in/teleops`.");
  // The first warning came after `switched`, so less than 900 ms since then is within the second.
  if (Clock::now() - switched < 900ms) {
    EXPECT_EQ(1u, teleops_warnings);
  } else {
    EXPECT_LE(teleops_warnings, 2u);  // too slow a machine to tell within the second
  }

  // The limited mode: a non-finite command is not taken as the reference.
  ASSERT_TRUE(probe_->Set(kManual).success);
  ASSERT_TRUE(probe_->Set(kMapping).success);
  probe_->twists.clear();
  probe_->Publish("/in/manual_mapping", MakeTwist(0.05));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 1;}));
  probe_->Publish("/in/manual_mapping", MakeTwist(0.0, nan));
  ASSERT_TRUE(
    probe_->SpinUntil(
      []() {
        return Logs().Count(
          "twist_arbiter", kWarn,
          "Ignoring a Twist with a non-finite component received on `/in/manual_mapping`.") == 1;
      }));
  probe_->SpinFor(300ms);
  for (const auto & r : probe_->twists) {
    EXPECT_TRUE(std::isfinite(r.twist.linear.y));
    EXPECT_EQ(0.0, r.twist.linear.y);
  }
}

TEST_F(ArbiterTest, ZeroThresholdZeroesAfterEveryCommand)
{
  Start(With("timeout_threshold", rclcpp::ParameterValue(0.0009)));  // 0 ms
  ASSERT_TRUE(probe_->Set(kManual).success);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 1;}));
  for (int i = 1; i <= 3; ++i) {
    probe_->Publish("/in/manual", MakeTwist(0.2 * i));
    ASSERT_TRUE(probe_->SpinUntil([this, i]() {return probe_->twists.size() == size_t(1 + 2 * i);}));
  }
  probe_->SpinFor(100ms);
  ASSERT_EQ(7u, probe_->twists.size());
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(MakeTwist(0.2 * i), probe_->twists[2 * i - 1].twist);
    EXPECT_TRUE(IsZero(probe_->twists[2 * i].twist));
  }
  EXPECT_EQ(4u, StaleWarnings());
}

TEST_F(ArbiterTest, LimitedModeRampsAndWatchdogCountsFromLastOutput)
{
  Start();  // 1.0 m/s, 1.0 m/s^2 at 10 Hz: 0.1 per tick; threshold 0.3 s
  ASSERT_TRUE(probe_->Set(kMapping).success);

  // From none no watchdog is armed: silence yields nothing.
  probe_->SpinFor(600ms);
  EXPECT_TRUE(probe_->twists.empty());
  EXPECT_EQ(0u, StaleWarnings());

  const auto sent = Clock::now();
  probe_->Publish("/in/manual_mapping", MakeTwist(0.35));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 4;}));
  const std::vector<double> ramp = {0.1, 0.2, 0.3, 0.35};
  for (size_t i = 0; i < ramp.size(); ++i) {
    EXPECT_NEAR(ramp[i], probe_->twists[i].twist.linear.x, 1e-9) << "step " << i;
  }
  EXPECT_GE(probe_->twists[0].when - sent, 80ms);  // one full period after the reference
  // While ramping (over 0.3 s in all) the watchdog did not run out; it does one threshold after
  // the last output, and resets the limiter.
  EXPECT_EQ(0u, StaleWarnings());
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 5;}));
  EXPECT_TRUE(IsZero(probe_->twists[4].twist));
  EXPECT_GE(probe_->twists[4].when - probe_->twists[3].when, 200ms);
  EXPECT_EQ(1u, StaleWarnings());

  // The limiter starts from zero again; velocity limiting scales all components together.
  probe_->Publish("/in/manual_mapping", MakeTwist(2.0, 0.0, 0.0, 0.0, 0.0, 0.5));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 6;}));
  EXPECT_NEAR(0.1, probe_->twists[5].twist.linear.x, 1e-9);
  EXPECT_NEAR(0.025, probe_->twists[5].twist.angular.z, 1e-9);
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 15;}));
  EXPECT_NEAR(1.0, probe_->twists[14].twist.linear.x, 1e-9);
  EXPECT_NEAR(0.25, probe_->twists[14].twist.angular.z, 1e-9);
}

TEST_F(ArbiterTest, LeavingLimitedModeCutsTheRampOff)
{
  Start();
  ASSERT_TRUE(probe_->Set(kMapping).success);
  probe_->Publish("/in/manual_mapping", MakeTwist(1.0));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 2;}));
  const auto switched = Clock::now();
  ASSERT_TRUE(probe_->Set(kManual).success);
  const size_t ramp_outputs = probe_->twists.size();
  // The next and only output is the watchdog's zero Twist one threshold after the switch.
  ASSERT_TRUE(probe_->SpinUntil([this, ramp_outputs]() {return probe_->twists.size() > ramp_outputs;}));
  probe_->SpinFor(500ms);
  ASSERT_EQ(ramp_outputs + 1, probe_->twists.size());
  EXPECT_TRUE(IsZero(probe_->twists.back().twist));
  EXPECT_GE(probe_->twists.back().when - switched, 250ms);
  for (size_t i = 0; i < ramp_outputs; ++i) {
    EXPECT_LT(probe_->twists[i].twist.linear.x, 0.35);
  }
  EXPECT_EQ(1u, StaleWarnings());
}

TEST_F(ArbiterTest, WatchdogArmedInDirectModeRunsOnIntoLimitedMode)
{
  Start();
  ASSERT_TRUE(probe_->Set(kManual).success);
  probe_->Publish("/in/manual", MakeTwist(0.4));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 1;}));
  const auto relayed = probe_->twists[0].when;
  ASSERT_TRUE(probe_->Set(kMapping).success);
  // No limited input: the timer armed by the direct relay still runs out.
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 2;}));
  EXPECT_TRUE(IsZero(probe_->twists[1].twist));
  EXPECT_GE(probe_->twists[1].when - relayed, 200ms);
  EXPECT_EQ(1u, StaleWarnings());
  probe_->SpinFor(600ms);
  EXPECT_EQ(2u, probe_->twists.size());
}

TEST_F(ArbiterTest, ServicesAndRelativeTopicsFollowTheNodeNamespace)
{
  auto values = DefaultParameters();
  values["states.teleops.topic"] = rclcpp::ParameterValue("cmd_vel/teleops");
  values["topics.out.twist"] = rclcpp::ParameterValue("cmd_vel");
  values["topics.out.control_mode"] = rclcpp::ParameterValue("~/mode");
  auto options = OptionsWith(values);
  options.arguments({"--ros-args", "-r", "__ns:=/robot", "-r", "__node:=gate"});
  arbiter_ = std::make_shared<TwistArbiter>(options);
  EXPECT_STREQ("/robot/gate", arbiter_->get_fully_qualified_name());
  probe_ = std::make_unique<Probe>(arbiter_, "/robot/gate", "/robot/cmd_vel", "/robot/gate/mode");
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->modes.size() == 1;}));
  ASSERT_TRUE(probe_->Set(kTeleops).success);
  probe_->Publish("/robot/cmd_vel/teleops", MakeTwist(0.3));
  ASSERT_TRUE(probe_->SpinUntil([this]() {return probe_->twists.size() == 1;}));
  EXPECT_EQ(MakeTwist(0.3), probe_->twists[0].twist);
  EXPECT_EQ(1u, Logs().Count("robot.gate", kInfo, "Control mode set to teleops."));
}

TEST(ArbiterConstruction, MissingOrMistypedParametersFailInTheSpecifiedOrder)
{
  // A missing output topic is reported only after all six modes were read.
  auto values = DefaultParameters();
  values.erase("topics.out.twist");
  Logs().Clear();
  try {
    auto node = std::make_shared<TwistArbiter>(OptionsWith(values));
    ADD_FAILURE() << "construction succeeded";
  } catch (const std::exception & e) {
    EXPECT_EQ(typeid(std::exception), typeid(e));
  }
  auto errors = Logs().Texts("twist_arbiter", kError);
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(
    "ERROR: Something went wrong during parameter \"topics.out.twist\" configuration: "
    "Statically typed parameter 'topics.out.twist' must be initialized.", errors[0]);

  // With a mode parameter missing as well, the mode's error comes first and alone.
  values.erase("states.user.transitions_to");
  Logs().Clear();
  EXPECT_ANY_THROW(std::make_shared<TwistArbiter>(OptionsWith(values)));
  errors = Logs().Texts("twist_arbiter", kError);
  ASSERT_EQ(1u, errors.size());
  EXPECT_NE(std::string::npos, errors[0].find("\"states.user.transitions_to\""));

  // A double given as an integer.
  Logs().Clear();
  EXPECT_ANY_THROW(
    std::make_shared<TwistArbiter>(OptionsWith(With("timeout_threshold", rclcpp::ParameterValue(1)))));
  errors = Logs().Texts("twist_arbiter", kError);
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(
    0u, errors[0].find(
      "ERROR: Something went wrong during parameter \"timeout_threshold\" configuration: "));

  // An unknown mode name in a transitions list.
  try {
    auto node = std::make_shared<TwistArbiter>(
      OptionsWith(
        With(
          "states.docking.transitions_to",
          rclcpp::ParameterValue(std::vector<std::string>{"manual", "Docking"}))));
    ADD_FAILURE() << "construction succeeded";
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ("Control mode string Docking not recognized.", e.what());
  }
}

TEST(ArbiterConstruction, RefusesValuesThatCouldOnlyFailLater)
{
  using V = rclcpp::ParameterValue;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::string threshold_allowed =
    "allowed is a finite number of seconds >= 0 and below 2147483.648 (value * 1000 must fit a "
    "32-bit signed number of milliseconds).";
  ExpectRefused(
    With("timeout_threshold", V(-0.25)),
    "Invalid value -0.25 for parameter \"timeout_threshold\": " + threshold_allowed);
  ExpectRefused(
    With("timeout_threshold", V(2147483.649)),
    "Invalid value 2147483.649 for parameter \"timeout_threshold\": " + threshold_allowed);
  ExpectRefused(
    With("timeout_threshold", V(nan)),
    "Invalid value nan for parameter \"timeout_threshold\": " + threshold_allowed);
  ExpectRefused(
    With("timeout_threshold", V(inf)),
    "Invalid value inf for parameter \"timeout_threshold\": " + threshold_allowed);

  const std::string bound_allowed = "allowed is a finite number >= 0.";
  ExpectRefused(
    With("states.manual_mapping.limiter.velocity.max_linear", V(-1.0)),
    "Invalid value -1 for parameter \"states.manual_mapping.limiter.velocity.max_linear\": " +
    bound_allowed);
  ExpectRefused(
    With("states.manual_mapping.limiter.acceleration.max_angular", V(inf)),
    "Invalid value inf for parameter \"states.manual_mapping.limiter.acceleration.max_angular\": " +
    bound_allowed);

  for (double rate : {0.0, -5.0, nan}) {
    Logs().Clear();
    try {
      auto node = std::make_shared<TwistArbiter>(
        OptionsWith(With("states.manual_mapping.limiter.interpolation_rate", V(rate))));
      ADD_FAILURE() << "rate " << rate << " accepted";
    } catch (const std::invalid_argument & e) {
      EXPECT_EQ(0u, std::string(e.what()).find("Invalid value "));
      EXPECT_NE(
        std::string::npos,
        std::string(e.what()).find("\"states.manual_mapping.limiter.interpolation_rate\""));
    }
    EXPECT_EQ(1u, Logs().Texts("twist_arbiter", kError).size());
  }

  const std::vector<std::string> topic_parameters = {
    "states.teleops.topic", "topics.out.twist", "topics.out.control_mode"};
  for (const auto & name : topic_parameters) {
    Logs().Clear();
    try {
      auto node = std::make_shared<TwistArbiter>(OptionsWith(With(name, V("bad topic"))));
      ADD_FAILURE() << name << " accepted";
    } catch (const std::invalid_argument & e) {
      EXPECT_EQ(
        0u, std::string(e.what()).find(
          "Invalid value \"bad topic\" for parameter \"" + name + "\": allowed is a topic name"))
        << e.what();
      const auto errors = Logs().Texts("twist_arbiter", kError);
      ASSERT_EQ(1u, errors.size());
      EXPECT_EQ(std::string("ERROR: ") + e.what(), errors[0]);
    }
  }

  // Zero bounds and a sub-millisecond threshold stay valid.
  auto values = DefaultParameters();
  values["timeout_threshold"] = V(0.0);
  values["states.manual_mapping.limiter.velocity.max_linear"] = V(0.0);
  values["states.manual_mapping.limiter.acceleration.max_angular"] = V(0.0);
  EXPECT_NO_THROW(std::make_shared<TwistArbiter>(OptionsWith(values)));
  EXPECT_NO_THROW(
    std::make_shared<TwistArbiter>(OptionsWith(With("timeout_threshold", V(2147483.647)))));
}

TEST(ArbiterConstruction, OptionalParametersAreChecked)
{
  using V = rclcpp::ParameterValue;
  const std::string heartbeat_allowed = "allowed is 0 (no heartbeat) or a finite number of "
    "seconds from 0.001 to below 2147483.648 (the timer period must be at least 1 ms and fit a "
    "32-bit signed number of milliseconds).";
  const std::vector<std::pair<std::map<std::string, V>, std::string>> refused = {
    {{{"states.teleops.max_age", V(0.2)}},
      "Invalid value 0.2 for parameter \"states.teleops.max_age\": allowed is 0 (no age gate) "
      "while \"states.teleops.stamped\" is false: a Twist carries no stamp to judge its age by."},
    {{{"states.teleops.stamped", V(true)}, {"states.teleops.max_age", V(-0.1)}},
      "Invalid value -0.1 for parameter \"states.teleops.max_age\": allowed is 0 (no age gate) "
      "or a finite number of seconds > 0 and below 9223372036.854 (value * 1e9 must fit a "
      "64-bit signed number of nanoseconds)."},
    {{{"stop.heartbeat", V(0.5)}},
      "Invalid value 0.5 for parameter \"stop.heartbeat\": allowed is 0 (no heartbeat) while "
      "\"stop.topic\" is empty: there is no stop input."},
    {{{"stop.topic", V("stop")}, {"stop.heartbeat", V(0.0005)}},
      "Invalid value 0.0005 for parameter \"stop.heartbeat\": " + heartbeat_allowed},
    {{{"topics.out.frame_id", V("/base_link")}},
      "Invalid value \"/base_link\" for parameter \"topics.out.frame_id\": allowed is a frame "
      "name that is not empty and does not start with '/' (tf2 refuses both)."},
    {{{"topics.out.stamped", V(1)}},
      "Something went wrong during parameter \"topics.out.stamped\" configuration: "},
  };
  for (const auto & entry : refused) {
    auto values = DefaultParameters();
    for (const auto & value : entry.first) {
      values[value.first] = value.second;
    }
    Logs().Clear();
    try {
      auto node = std::make_shared<TwistArbiter>(OptionsWith(values));
      ADD_FAILURE() << "accepted: " << entry.second;
    } catch (const std::invalid_argument & e) {
      EXPECT_EQ(0u, std::string(e.what()).find(entry.second)) << e.what();
      EXPECT_EQ(
        std::vector<std::string>{std::string("ERROR: ") + e.what()},
        Logs().Texts("twist_arbiter", kError));
    }
  }
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  LogCapture::Instance().Install();
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
