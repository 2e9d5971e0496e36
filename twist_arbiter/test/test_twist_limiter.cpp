// Copyright 2026 The twist_arbiter authors.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "rcutils/logging.h"
#include "rclcpp/rclcpp.hpp"
#include "twist_arbiter/config_checks.hpp"
#include "twist_arbiter/twist_arithmetic.hpp"
#include "twist_arbiter/twist_limiter.hpp"

using geometry_msgs::msg::Twist;

namespace
{

constexpr double kEps = 1.1920928955078125e-07;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Twist MakeTwist(double lx, double ly, double lz, double ax, double ay, double az)
{
  Twist t;
  t.linear.x = lx;
  t.linear.y = ly;
  t.linear.z = lz;
  t.angular.x = ax;
  t.angular.y = ay;
  t.angular.z = az;
  return t;
}

std::vector<double> Components(const Twist & t)
{
  return {t.linear.x, t.linear.y, t.linear.z, t.angular.x, t.angular.y, t.angular.z};
}

double & Component(Twist & t, int i)
{
  double * c[] = {&t.linear.x, &t.linear.y, &t.linear.z, &t.angular.x, &t.angular.y, &t.angular.z};
  return *c[i];
}

double Component(const Twist & t, int i)
{
  return Components(t)[static_cast<size_t>(i)];
}

void ExpectTwistNear(const Twist & actual, const Twist & expected, double tol = 1e-12)
{
  const auto a = Components(actual);
  const auto e = Components(expected);
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i], e[i], tol) << "component " << i;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic, without a node: the functions the limiter's members forward to.

TEST(TwistArithmetic, ComponentWiseOperationsKeepEveryComponentInPlace)
{
  const Twist a = MakeTwist(1, 2, 3, 4, 5, 6);
  const Twist b = MakeTwist(10, 20, 30, 40, 50, 60);
  EXPECT_EQ(Components(twist_arithmetic::ScaleTwist(a, 0.5)),
    (std::vector<double>{0.5, 1, 1.5, 2, 2.5, 3}));
  EXPECT_EQ(Components(twist_arithmetic::AddTwist(a, b)),
    (std::vector<double>{11, 22, 33, 44, 55, 66}));
  EXPECT_EQ(Components(twist_arithmetic::SubtractTwist(b, a)),
    (std::vector<double>{9, 18, 27, 36, 45, 54}));
}

TEST(TwistArithmetic, LimitVelocityScalesAllComponentsByOneFactor)
{
  // Zero components never restrict the factor, also with zero bounds (q is inf or NaN).
  EXPECT_EQ(Components(twist_arithmetic::LimitVelocity(Twist(), 1.0, 1.0)), Components(Twist()));
  EXPECT_EQ(Components(twist_arithmetic::LimitVelocity(Twist(), 0.0, 0.0)), Components(Twist()));

  // The angular component is within its bound but is slowed with the linear one.
  ExpectTwistNear(
    twist_arithmetic::LimitVelocity(MakeTwist(2.0, 0, 0, 0, 0, 0.5), 1.0, 1.0),
    MakeTwist(1.0, 0, 0, 0, 0, 0.25));
  // And conversely: an angular excess slows the linear group.
  ExpectTwistNear(
    twist_arithmetic::LimitVelocity(MakeTwist(0.4, 0, 0, 0, 0, -2.0), 1.0, 0.5),
    MakeTwist(0.1, 0, 0, 0, 0, -0.5));

  // Within bounds, and exactly at the bounds: unchanged, bit for bit; never scaled up.
  const Twist within = MakeTwist(0.3, -0.2, 0.1, 0.05, -0.4, 0.6);
  EXPECT_EQ(Components(twist_arithmetic::LimitVelocity(within, 1.0, 1.0)), Components(within));
  const Twist at_bound = MakeTwist(1.5, -1.5, 0.7, -0.5, 0.5, 0.25);
  EXPECT_EQ(Components(twist_arithmetic::LimitVelocity(at_bound, 1.5, 0.5)), Components(at_bound));

  // Negative components are bounded by magnitude.
  ExpectTwistNear(
    twist_arithmetic::LimitVelocity(MakeTwist(1.0, -3.0, 0, 0, 0.2, 0), 1.5, 1.0),
    MakeTwist(0.5, -1.5, 0, 0, 0.1, 0));

  // The most demanding component, wherever it sits, lands exactly on its bound.
  for (int i = 0; i < 6; ++i) {
    Twist t = MakeTwist(0.1, 0.1, 0.1, 0.1, 0.1, 0.1);
    Component(t, i) = -4.0;
    const Twist limited = twist_arithmetic::LimitVelocity(t, 2.0, 2.0);
    EXPECT_DOUBLE_EQ(Component(limited, i), -2.0) << i;
    for (int j = 0; j < 6; ++j) {
      if (j != i) {
        EXPECT_DOUBLE_EQ(Component(limited, j), 0.05) << i << "," << j;
      }
    }
  }

  // A zero bound with a non-zero component in its group stops everything, the other group too.
  EXPECT_EQ(
    Components(twist_arithmetic::LimitVelocity(MakeTwist(0.5, 0, 0, 0, 0, 0.3), 0.0, 1.0)),
    Components(Twist()));
  EXPECT_EQ(
    Components(twist_arithmetic::LimitVelocity(MakeTwist(0.5, 0, 0, 0, 0, 0.3), 1.0, 0.0)),
    Components(Twist()));
  // A zero bound over a group that is all zero has no effect.
  const Twist angular_only = MakeTwist(0, 0, 0, 0.1, 0.2, 0.3);
  EXPECT_EQ(
    Components(twist_arithmetic::LimitVelocity(angular_only, 0.0, 1.0)), Components(angular_only));
}

namespace
{

// The scale-factor rule written out component by component, as the reference for the faster
// grouped form in the library.
Twist RuleVerbatim(const Twist & v, double linear_allowance, double angular_allowance)
{
  double s = 1.0;
  const auto c = Components(v);
  for (size_t i = 0; i < 6; ++i) {
    const double q = (i < 3 ? linear_allowance : angular_allowance) / std::fabs(c[i]);
    if (q < s) {
      s = q;
    }
  }
  return twist_arithmetic::ScaleTwist(v, s);
}

std::vector<uint64_t> Bits(const Twist & t)
{
  std::vector<uint64_t> bits;
  for (double c : Components(t)) {
    uint64_t b;
    std::memcpy(&b, &c, sizeof(b));
    bits.push_back(b);
  }
  return bits;
}

}  // namespace

TEST(TwistArithmetic, LimitVelocityMatchesTheRuleBitForBit)
{
  const double values[] = {0.0, -0.0, 1e-300, 0.1, -0.3, 0.7, 1.0, -1.5, 2.0, 3.0 + 1e-15, -1e9,
    kInf, -kInf, kNaN};
  const double allowances[] = {0.0, -0.0, 0.25, 1.0, 1.5, 7.0, kInf, -1.0, kNaN};
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick_value(0, std::size(values) - 1);
  std::uniform_int_distribution<size_t> pick_allowance(0, std::size(allowances) - 1);
  for (int n = 0; n < 20000; ++n) {
    Twist v;
    for (int i = 0; i < 6; ++i) {
      Component(v, i) = values[pick_value(random)];
    }
    const double la = allowances[pick_allowance(random)];
    const double aa = allowances[pick_allowance(random)];
    ASSERT_EQ(Bits(twist_arithmetic::LimitVelocity(v, la, aa)), Bits(RuleVerbatim(v, la, aa)))
      << "allowances " << la << ", " << aa << " twist " << ::testing::PrintToString(Components(v));
  }
}

TEST(TwistArithmetic, LimitAccelerationStepsTowardsTheTarget)
{
  // 1.0 m/s^2 at 10 Hz: 0.1 m/s per tick; the last step is the remainder.
  const Twist target = MakeTwist(0.35, 0, 0, 0, 0, 0);
  Twist current;
  const double expected[] = {0.1, 0.2, 0.3, 0.35};
  for (double e : expected) {
    current = twist_arithmetic::LimitAcceleration(target, current, 1.0, 1.0, 10.0);
    EXPECT_NEAR(current.linear.x, e, 1e-12);
  }
  EXPECT_TRUE(twist_arithmetic::IsTwistEqual(current, target));

  // Straight line in six dimensions: the angular part moves slower than its own allowance.
  ExpectTwistNear(
    twist_arithmetic::LimitAcceleration(MakeTwist(1.0, 0, 0, 0, 0, 0.2), Twist(), 1.0, 1.0, 10.0),
    MakeTwist(0.1, 0, 0, 0, 0, 0.02));
  // Starting from a non-zero output, moving down.
  ExpectTwistNear(
    twist_arithmetic::LimitAcceleration(MakeTwist(0, 0, 0, 0, 0, 0), MakeTwist(0.5, 0, 0, 0, 0, 0),
    2.0, 1.0, 10.0), MakeTwist(0.3, 0, 0, 0, 0, 0));

  // Target equal to current: current.
  const Twist here = MakeTwist(0.2, 0.1, 0, 0, 0, -0.3);
  EXPECT_EQ(
    Components(twist_arithmetic::LimitAcceleration(here, here, 1.0, 1.0, 10.0)), Components(here));

  // A zero acceleration bound freezes the output for any difference in that group (s = 0),
  // including the other group's.
  EXPECT_EQ(
    Components(
      twist_arithmetic::LimitAcceleration(MakeTwist(1, 0, 0, 0, 0, 1), here, 0.0, 1.0, 10.0)),
    Components(here));
  // ... but a group without difference does not block the other one.
  ExpectTwistNear(
    twist_arithmetic::LimitAcceleration(MakeTwist(0.2, 0.1, 0, 0, 0, 0.7), here, 1.0, 0.0, 10.0),
    MakeTwist(0.2, 0.1, 0, 0, 0, -0.3));
  ExpectTwistNear(
    twist_arithmetic::LimitAcceleration(MakeTwist(0.25, 0.1, 0, 0, 0, -0.3), here, 1.0, 0.0, 10.0),
    MakeTwist(0.25, 0.1, 0, 0, 0, -0.3));
}

TEST(TwistArithmetic, IsTwistEqualToleranceFollowsTheFirstArgument)
{
  const Twist zero;
  EXPECT_TRUE(twist_arithmetic::IsTwistEqual(zero, zero));

  // Relative tolerance above magnitude 1, absolute below.
  EXPECT_TRUE(twist_arithmetic::IsTwistEqual(MakeTwist(1000.0, 0, 0, 0, 0, 0),
    MakeTwist(1000.0001, 0, 0, 0, 0, 0)));
  EXPECT_FALSE(twist_arithmetic::IsTwistEqual(MakeTwist(0.5, 0, 0, 0, 0, 0),
    MakeTwist(0.5000002, 0, 0, 0, 0, 0)));

  // Strict: a difference exactly equal to the tolerance fails.
  EXPECT_FALSE(twist_arithmetic::IsTwistEqual(MakeTwist(0.5, 0, 0, 0, 0, 0),
    MakeTwist(0.5 + kEps, 0, 0, 0, 0, 0)));
  EXPECT_TRUE(twist_arithmetic::IsTwistEqual(MakeTwist(0.5, 0, 0, 0, 0, 0),
    MakeTwist(0.5 + kEps / 2, 0, 0, 0, 0, 0)));

  // Asymmetric: 4 + 4*eps differs from 4 by exactly 4's tolerance, but by less than its own.
  const Twist four = MakeTwist(0, 0, 0, 0, 4.0, 0);
  const Twist four_plus = MakeTwist(0, 0, 0, 0, 4.0 + 4 * kEps, 0);
  EXPECT_FALSE(twist_arithmetic::IsTwistEqual(four, four_plus));
  EXPECT_TRUE(twist_arithmetic::IsTwistEqual(four_plus, four));
  // At magnitude exactly 1 the tolerance is still absolute.
  EXPECT_FALSE(twist_arithmetic::IsTwistEqual(MakeTwist(-1.0, 0, 0, 0, 0, 0),
    MakeTwist(-1.0 - kEps, 0, 0, 0, 0, 0)));

  // Every component takes part; NaN and infinities never compare equal.
  for (int i = 0; i < 6; ++i) {
    Twist differs;
    Component(differs, i) = 1e-3;
    EXPECT_FALSE(twist_arithmetic::IsTwistEqual(zero, differs)) << i;
    EXPECT_FALSE(twist_arithmetic::IsTwistEqual(differs, zero)) << i;
    for (double bad : {kNaN, kInf}) {
      Twist odd;
      Component(odd, i) = bad;
      EXPECT_FALSE(twist_arithmetic::IsTwistEqual(odd, odd)) << i;
      EXPECT_FALSE(twist_arithmetic::IsTwistEqual(zero, odd)) << i;
      EXPECT_FALSE(twist_arithmetic::IsTwistEqual(odd, zero)) << i;
    }
  }
}

TEST(TwistArithmetic, InterpolationPeriodTruncatesToWholeMilliseconds)
{
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(10.0), std::chrono::milliseconds(100));
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(30.0), std::chrono::milliseconds(33));
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(7.0), std::chrono::milliseconds(142));
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(1000.0), std::chrono::milliseconds(1));
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(1001.0), std::chrono::milliseconds(0));
  EXPECT_EQ(twist_arithmetic::InterpolationPeriod(5e-7), std::chrono::milliseconds(2000000000));
}

// ---------------------------------------------------------------------------------------------
// Configuration checks.

TEST(ConfigChecks, LimiterBoundsAreFiniteAndNotNegative)
{
  for (double ok : {0.0, 1e-9, 1.5, 1e300}) {
    EXPECT_FALSE(CheckLimiterBound("b", ok)) << ok;
  }
  EXPECT_EQ(CheckLimiterBound("states.manual_mapping.limiter.velocity.max_linear", -0.5).value(),
    "Invalid value -0.5 for parameter \"states.manual_mapping.limiter.velocity.max_linear\": "
    "allowed is a finite number >= 0.");
  EXPECT_EQ(CheckLimiterBound("b", kNaN).value(),
    "Invalid value nan for parameter \"b\": allowed is a finite number >= 0.");
  EXPECT_TRUE(CheckLimiterBound("b", kInf));
  EXPECT_TRUE(CheckLimiterBound("b", -kInf));
  EXPECT_TRUE(CheckLimiterBound("b", -std::numeric_limits<double>::denorm_min()));
}

TEST(ConfigChecks, InterpolationRateNeedsAValidPeriod)
{
  for (double ok : {10.0, 0.001, 1000.0, 5000.0, 4.7e-7}) {
    EXPECT_FALSE(CheckInterpolationRate("r", ok)) << ok;
  }
  for (double bad : {0.0, -0.0, -10.0, kNaN, kInf, -kInf, 4.6e-7}) {
    const auto text = CheckInterpolationRate("r", bad);
    ASSERT_TRUE(text) << bad;
    EXPECT_EQ(text->rfind("Invalid value ", 0), 0u) << *text;
    EXPECT_NE(text->find(" for parameter \"r\": allowed is a finite rate in Hz greater than "),
      std::string::npos) << *text;
  }
  EXPECT_EQ(CheckInterpolationRate("r", 0.0)->rfind("Invalid value 0 for", 0), 0u);
}

TEST(ConfigChecks, TimeoutThresholdFitsMillisecondsAndIsNotNegative)
{
  // Below one millisecond is allowed: the watchdog then fires on the next pass, once.
  for (double ok : {0.0, 0.0009, 0.5, 2147483.647}) {
    EXPECT_FALSE(CheckTimeoutThreshold("timeout_threshold", ok)) << ok;
  }
  for (double bad : {-0.25, -1e-12, 2147483.648, 1e12, kNaN, kInf, -kInf}) {
    EXPECT_TRUE(CheckTimeoutThreshold("timeout_threshold", bad)) << bad;
  }
  EXPECT_EQ(CheckTimeoutThreshold("timeout_threshold", -0.25).value(),
    "Invalid value -0.25 for parameter \"timeout_threshold\": allowed is a finite number of "
    "seconds >= 0 and below 2147483.648 (value * 1000 must fit a 32-bit signed number of "
    "milliseconds).");
}

TEST(ConfigChecks, TopicNamesAreCheckedAsRclcppExpandsThem)
{
  for (const char * ok : {"cmd_vel", "/robot/cmd_vel", "~/cmd_vel", "a/b"}) {
    EXPECT_FALSE(CheckTopicName("t", ok, "twist_arbiter", "/ns")) << ok;
  }
  for (const char * bad : {"", "bad topic", "9abc", "/a//b", "cmd_vel/", "a~"}) {
    const auto text = CheckTopicName("states.manual.topic", bad, "twist_arbiter", "/");
    ASSERT_TRUE(text) << bad;
    EXPECT_EQ(text->rfind(
        std::string("Invalid value \"") + bad + "\" for parameter \"states.manual.topic\": "
        "allowed is a topic name that rclcpp accepts, and it refuses this one: ", 0), 0u) << *text;
    EXPECT_EQ(text->find('\n'), std::string::npos) << *text;
  }
  EXPECT_NE(
    CheckTopicName("t", "bad topic", "n", "/")->find(
      "topic name must not contain characters other than alphanumerics"),
    std::string::npos);
}

namespace
{

// Collects what reaches rcutils' output handler, so log lines can be asserted.
struct LogRecord
{
  int severity;
  std::string name;
  std::string message;
};
std::vector<LogRecord> g_log;

void CaptureLog(
  const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
  const char * format, va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char buffer[2048];
  vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  g_log.push_back({severity, name ? name : "", buffer});
}

}  // namespace

TEST(ConfigChecks, RefusalLogsOneErrorLineAndThrowsTheSameText)
{
  const auto previous = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(CaptureLog);
  g_log.clear();

  const auto logger = rclcpp::get_logger("refusal_test");
  EXPECT_NO_THROW(RefuseInvalidValue(logger, std::nullopt));
  EXPECT_TRUE(g_log.empty());

  std::string thrown;
  try {
    RefuseInvalidValue(logger, CheckLimiterBound("states.x", -1.0));
  } catch (const std::invalid_argument & e) {
    thrown = e.what();
  }
  rcutils_logging_set_output_handler(previous);

  EXPECT_EQ(
    thrown, "Invalid value -1 for parameter \"states.x\": allowed is a finite number >= 0.");
  ASSERT_EQ(g_log.size(), 1u);
  EXPECT_EQ(g_log[0].severity, RCUTILS_LOG_SEVERITY_ERROR);
  EXPECT_EQ(g_log[0].name, "refusal_test");
  EXPECT_EQ(g_log[0].message, thrown);
}

// ---------------------------------------------------------------------------------------------
// The interpolation loop on a real node.

class LimiterLoop : public ::testing::Test
{
protected:
  static void SetUpTestSuite() {rclcpp::init(0, nullptr);}
  static void TearDownTestSuite() {rclcpp::shutdown();}

  void SetUp() override
  {
    node_ = std::make_shared<rclcpp::Node>("limiter_loop_test");
    executor_.add_node(node_);
  }

  void TearDown() override
  {
    limiter_.reset();
    executor_.remove_node(node_);
  }

  // 10 ms ticks; both per-tick allowances 0.1.
  void MakeLimiter(
    double max_linear_velocity = 10.0, double max_angular_velocity = 10.0,
    double max_linear_acceleration = 10.0, double max_angular_acceleration = 10.0,
    double rate = 100.0)
  {
    limiter_ = std::make_unique<TwistLimiter>(
      node_.get(), [this](std::shared_ptr<Twist> out) {outputs_.push_back(*out);},
      max_linear_velocity, max_angular_velocity, max_linear_acceleration,
      max_angular_acceleration, rate);
  }

  void Reference(const Twist & t) {limiter_->SetTwistReference(std::make_shared<Twist>(t));}

  // Spins until @p count outputs were seen; generous timeout so a loaded machine still passes.
  bool SpinUntilOutputs(size_t count, std::chrono::seconds timeout = std::chrono::seconds(10))
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (outputs_.size() < count && std::chrono::steady_clock::now() < deadline) {
      executor_.spin_once(std::chrono::milliseconds(5));
    }
    return outputs_.size() >= count;
  }

  // Spins for @p duration; used only to show that nothing more happens.
  void SpinFor(std::chrono::milliseconds duration)
  {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
      executor_.spin_once(std::chrono::milliseconds(5));
    }
  }

  std::vector<double> LinearX() const
  {
    std::vector<double> xs;
    for (const auto & t : outputs_) {
      xs.push_back(t.linear.x);
    }
    return xs;
  }

  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::vector<Twist> outputs_;
  std::unique_ptr<TwistLimiter> limiter_;
};

TEST_F(LimiterLoop, MembersApplyThisLimitersBoundsAndRate)
{
  // Distinct bounds, so that a member reading the wrong one shows.
  MakeLimiter(1.0, 0.5, 2.0, 3.0, 20.0);
  const TwistLimiter & limiter = *limiter_;
  const Twist a = MakeTwist(2.0, -0.5, 0.25, 0.1, 0, -4.0);
  const Twist b = MakeTwist(0.5, 0.5, -1.0, 0, 2.0, 1.0);

  EXPECT_EQ(Bits(limiter.ScaleTwist(a, 0.3)), Bits(twist_arithmetic::ScaleTwist(a, 0.3)));
  EXPECT_EQ(Bits(limiter.AddTwist(a, b)), Bits(twist_arithmetic::AddTwist(a, b)));
  EXPECT_EQ(Bits(limiter.SubtractTwist(a, b)), Bits(twist_arithmetic::SubtractTwist(a, b)));
  EXPECT_TRUE(limiter.IsTwistEqual(a, a));
  EXPECT_FALSE(limiter.IsTwistEqual(a, b));
  EXPECT_TRUE(limiter.IsTwistEqual(MakeTwist(1000.0, 0, 0, 0, 0, 0),
    MakeTwist(1000.0001, 0, 0, 0, 0, 0)));

  // Velocity: linear bound 1.0, angular 0.5.
  ExpectTwistNear(limiter.LimitVelocity(MakeTwist(2.0, 0, 0, 0, 0, 0)),
    MakeTwist(1.0, 0, 0, 0, 0, 0));
  ExpectTwistNear(limiter.LimitVelocity(MakeTwist(0, 0, 0, 0, 0, 2.0)),
    MakeTwist(0, 0, 0, 0, 0, 0.5));
  EXPECT_EQ(Bits(limiter.LimitVelocity(a)), Bits(twist_arithmetic::LimitVelocity(a, 1.0, 0.5)));

  // Acceleration per tick: linear 2.0 / 20 = 0.1, angular 3.0 / 20 = 0.15.
  ExpectTwistNear(limiter.LimitAcceleration(MakeTwist(1.0, 0, 0, 0, 0, 0), Twist()),
    MakeTwist(0.1, 0, 0, 0, 0, 0));
  ExpectTwistNear(limiter.LimitAcceleration(MakeTwist(0, 0, 0, 0, 0, -1.0), Twist()),
    MakeTwist(0, 0, 0, 0, 0, -0.15));
  EXPECT_EQ(Bits(limiter.LimitAcceleration(a, b)),
    Bits(twist_arithmetic::LimitAcceleration(a, b, 2.0, 3.0, 20.0)));
}

TEST_F(LimiterLoop, ConstructorRefusesBoundsAndRatesWithoutAPeriod)
{
  const auto make = [this](double lv, double av, double la, double aa, double rate) {
      TwistLimiter limiter(node_.get(), [](std::shared_ptr<Twist>) {}, lv, av, la, aa, rate);
    };
  EXPECT_NO_THROW(make(0.0, 0.0, 0.0, 0.0, 10.0));
  EXPECT_NO_THROW(make(1.0, 1.0, 1.0, 1.0, 5000.0));

  const char * names[] = {"max_linear_velocity", "max_angular_velocity",
    "max_linear_acceleration", "max_angular_acceleration"};
  for (int i = 0; i < 4; ++i) {
    for (double bad : {-1.0, kNaN, kInf}) {
      double v[4] = {1.0, 1.0, 1.0, 1.0};
      v[i] = bad;
      try {
        make(v[0], v[1], v[2], v[3], 10.0);
        ADD_FAILURE() << names[i] << " = " << bad << " accepted";
      } catch (const std::invalid_argument & e) {
        EXPECT_NE(std::string(e.what()).find(std::string("\"") + names[i] + "\""),
          std::string::npos) << e.what();
      }
    }
  }
  for (double bad : {0.0, -10.0, -2000.0, kNaN, kInf, 1e-9}) {
    try {
      make(1.0, 1.0, 1.0, 1.0, bad);
      ADD_FAILURE() << "rate " << bad << " accepted";
    } catch (const std::invalid_argument & e) {
      EXPECT_NE(std::string(e.what()).find("\"interpolation_rate\""), std::string::npos)
        << e.what();
    }
  }
}

TEST_F(LimiterLoop, RampsToTheReferenceAndStops)
{
  MakeLimiter();
  // A fresh limiter is idle.
  SpinFor(std::chrono::milliseconds(60));
  EXPECT_TRUE(outputs_.empty());

  Reference(MakeTwist(0.35, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(4));
  SpinFor(std::chrono::milliseconds(80));
  const auto xs = LinearX();
  ASSERT_EQ(xs.size(), 4u);
  EXPECT_NEAR(xs[0], 0.1, 1e-12);
  EXPECT_NEAR(xs[1], 0.2, 1e-12);
  EXPECT_NEAR(xs[2], 0.3, 1e-12);
  EXPECT_NEAR(xs[3], 0.35, 1e-12);

  // The same reference again: exactly one more output, equal to it.
  Reference(MakeTwist(0.35, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(5));
  SpinFor(std::chrono::milliseconds(60));
  ASSERT_EQ(outputs_.size(), 5u);
  EXPECT_NEAR(outputs_[4].linear.x, 0.35, 1e-12);

  // Back down, starting from where the output stands.
  Reference(MakeTwist(0.15, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(7));
  SpinFor(std::chrono::milliseconds(60));
  ASSERT_EQ(outputs_.size(), 7u);
  EXPECT_NEAR(outputs_[5].linear.x, 0.25, 1e-12);
  EXPECT_NEAR(outputs_[6].linear.x, 0.15, 1e-12);
}

TEST_F(LimiterLoop, ReferenceIsVelocityLimitedAndTheLatestOneWins)
{
  MakeLimiter(0.2, 1.0);
  // Two references before the first tick: only the second is headed for.
  Reference(MakeTwist(0, 0, 0, 0, 0, 0.5));
  Reference(MakeTwist(5.0, 0, 0, 0, 0, 0.5));  // scaled by 0.04: linear.x 0.2, angular.z 0.02
  ASSERT_TRUE(SpinUntilOutputs(2));
  SpinFor(std::chrono::milliseconds(60));
  ASSERT_EQ(outputs_.size(), 2u);
  ExpectTwistNear(outputs_[0], MakeTwist(0.1, 0, 0, 0, 0, 0.01));
  ExpectTwistNear(outputs_[1], MakeTwist(0.2, 0, 0, 0, 0, 0.02));

  // A reference reachable in one step gives exactly one output, equal to it.
  Reference(MakeTwist(0.15, 0, 0, 0, 0, 0.0));
  ASSERT_TRUE(SpinUntilOutputs(3));
  SpinFor(std::chrono::milliseconds(60));
  ASSERT_EQ(outputs_.size(), 3u);
  ExpectTwistNear(outputs_[2], MakeTwist(0.15, 0, 0, 0, 0, 0));
}

TEST_F(LimiterLoop, ResetStopsAtOnceAndTheNextRampStartsFromZero)
{
  MakeLimiter();
  Reference(MakeTwist(1.0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(3));
  limiter_->Reset();
  const size_t at_reset = outputs_.size();
  SpinFor(std::chrono::milliseconds(80));
  EXPECT_EQ(outputs_.size(), at_reset);
  EXPECT_LT(outputs_.back().linear.x, 1.0);

  Reference(MakeTwist(0.15, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(at_reset + 2));
  SpinFor(std::chrono::milliseconds(60));
  ASSERT_EQ(outputs_.size(), at_reset + 2);
  EXPECT_NEAR(outputs_[at_reset].linear.x, 0.1, 1e-12);
  EXPECT_NEAR(outputs_[at_reset + 1].linear.x, 0.15, 1e-12);

  // Reset of an idle limiter is harmless and publishes nothing.
  limiter_->Reset();
  SpinFor(std::chrono::milliseconds(30));
  EXPECT_EQ(outputs_.size(), at_reset + 2);
}

TEST_F(LimiterLoop, ZeroAccelerationKeepsTickingUntilTheReferenceMatches)
{
  MakeLimiter(10.0, 10.0, 0.0, 10.0);
  Reference(MakeTwist(1.0, 0, 0, 0, 0, 0.3));
  ASSERT_TRUE(SpinUntilOutputs(6));
  for (const auto & t : outputs_) {
    EXPECT_EQ(Components(t), Components(Twist()));
  }
  // A reference equal to the output: the next tick reaches it and stops.
  Reference(Twist());
  SpinFor(std::chrono::milliseconds(60));
  const size_t stopped = outputs_.size();
  SpinFor(std::chrono::milliseconds(60));
  EXPECT_EQ(outputs_.size(), stopped);
}

TEST_F(LimiterLoop, RatesAboveOneKilohertzTickEveryPassButStepByTheRate)
{
  // 0 ms period; per-tick allowance 2000 / 2000 = 1.0.
  MakeLimiter(10.0, 10.0, 2000.0, 2000.0, 2000.0);
  Reference(MakeTwist(3.0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(3));
  SpinFor(std::chrono::milliseconds(30));
  const auto xs = LinearX();
  ASSERT_EQ(xs.size(), 3u);
  EXPECT_NEAR(xs[0], 1.0, 1e-12);
  EXPECT_NEAR(xs[1], 2.0, 1e-12);
  EXPECT_NEAR(xs[2], 3.0, 1e-12);
}

TEST_F(LimiterLoop, AnIdleLimiterWakesOneFullPeriodAfterItsReference)
{
  // 100 ms period, one step to the reference. Only a lower bound: a busy machine may be late,
  // but the restarted timer must never fire early (e.g. for ticks missed while cancelled).
  MakeLimiter(10.0, 10.0, 100.0, 100.0, 10.0);
  for (int round = 0; round < 2; ++round) {
    SpinFor(std::chrono::milliseconds(150));  // idle for longer than a period
    const auto start = std::chrono::steady_clock::now();
    Reference(MakeTwist(0.5 + round, 0, 0, 0, 0, 0));
    ASSERT_TRUE(SpinUntilOutputs(static_cast<size_t>(round + 1)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95)) << round;
    EXPECT_NEAR(outputs_.back().linear.x, 0.5 + round, 1e-12);
  }
}

TEST_F(LimiterLoop, DestroyingTheLimiterRemovesItsTimer)
{
  MakeLimiter();
  Reference(MakeTwist(1.0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(SpinUntilOutputs(2));
  limiter_.reset();
  const size_t at_destruction = outputs_.size();
  SpinFor(std::chrono::milliseconds(80));
  EXPECT_EQ(outputs_.size(), at_destruction);
}
