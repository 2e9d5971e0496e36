// Copyright 2026 The twist_arbiter authors.
//
// The console's parts that know no graph: access checks, rate limiter, dead man, request bodies,
// command line and decimation.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "twist_arbiter_console/access_guard.hpp"
#include "twist_arbiter_console/api_request.hpp"
#include "twist_arbiter_console/console_options.hpp"
#include "twist_arbiter_console/dead_man.hpp"
#include "twist_arbiter_console/extrema_decimator.hpp"
#include "twist_arbiter_console/live_history.hpp"
#include "twist_arbiter_console/rate_limiter.hpp"

namespace twist_arbiter_console
{
namespace
{

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

TEST(AccessGuard, LongRandomTokenFromQueryOrCookieOnly)
{
  const auto a = MakeToken();
  EXPECT_EQ(64u, a.size());  // 256 bits
  EXPECT_NE(a, MakeToken());
  EXPECT_FALSE(ConstantTimeEquals(a, a.substr(0, 63)));
  EXPECT_FALSE(ConstantTimeEquals("", a));

  const AccessGuard guard("secret", 8080, {});
  const std::string host = "127.0.0.1:8080";
  EXPECT_EQ(Verdict::kAllowed, guard.Check(host, "", "", "", std::string("secret")));
  EXPECT_EQ(
    Verdict::kAllowed,
    guard.Check(host, "", "", "a=b; twist_arbiter_console_8080=secret", std::nullopt));
  EXPECT_EQ(Verdict::kNoToken, guard.Check(host, "", "", "", std::nullopt));
  EXPECT_EQ(Verdict::kNoToken, guard.Check(host, "", "", "", std::string("secre")));
  // A cookie of a console on another port, or under another name, is not ours.
  EXPECT_EQ(
    Verdict::kNoToken,
    guard.Check(host, "", "", "twist_arbiter_console_8081=secret", std::nullopt));
  EXPECT_EQ(Verdict::kNoToken, guard.Check(host, "", "", "token=secret", std::nullopt));
  const auto set_cookie = guard.SetCookieHeader();
  EXPECT_NE(std::string::npos, set_cookie.find("HttpOnly"));
  EXPECT_NE(std::string::npos, set_cookie.find("SameSite=Strict"));
}

TEST(AccessGuard, HostMustBeAnAddressOrKnownName)
{
  const AccessGuard guard("secret", 8080, {"Robot1.local"});
  for (const char * host : {"127.0.0.1:8080", "localhost:8080", "[::1]:8080", "10.0.0.7:8080",
      "robot1.local:8080"})
  {
    EXPECT_TRUE(guard.HostAllowed(host)) << host;
  }
  // A DNS name could be rebound to this machine by an attacker's page; wrong port; no port.
  for (const char * host : {"evil.example:8080", "127.0.0.1:8081", "127.0.0.1", ":8080",
      "127.0.0.1.evil.example:8080", "[::1]"})
  {
    EXPECT_FALSE(guard.HostAllowed(host)) << host;
  }
  EXPECT_EQ(
    Verdict::kBadHost, guard.Check("evil.example:8080", "", "", "", std::string("secret")));
}

TEST(AccessGuard, OriginMustBeThePageItself)
{
  const AccessGuard guard("secret", 8080, {});
  const std::string host = "127.0.0.1:8080";
  EXPECT_TRUE(AccessGuard::OriginAllowed("", host));
  EXPECT_TRUE(AccessGuard::OriginAllowed("http://127.0.0.1:8080", host));
  EXPECT_FALSE(AccessGuard::OriginAllowed("http://evil.example", host));
  EXPECT_FALSE(AccessGuard::OriginAllowed("null", host));
  EXPECT_FALSE(AccessGuard::OriginAllowed("https://127.0.0.1:8080", host));
  EXPECT_EQ(
    Verdict::kBadOrigin,
    guard.Check(host, "http://evil.example", "", "", std::string("secret")));
  EXPECT_EQ(
    Verdict::kBadOrigin, guard.Check(host, "", "cross-site", "", std::string("secret")));
}

TEST(RateLimiter, BurstThenRefill)
{
  RateLimiter limiter(5.0, 3.0);
  const TimePoint t0{};
  EXPECT_TRUE(limiter.Allow(t0));
  EXPECT_TRUE(limiter.Allow(t0));
  EXPECT_TRUE(limiter.Allow(t0));
  EXPECT_FALSE(limiter.Allow(t0));
  EXPECT_FALSE(limiter.Allow(t0 + 100ms));  // 0.5 token
  EXPECT_TRUE(limiter.Allow(t0 + 200ms));   // 1 token
  EXPECT_FALSE(limiter.Allow(t0 + 200ms));
  // A long pause refills to the burst, no further.
  const TimePoint later = t0 + 10s;
  int allowed = 0;
  while (limiter.Allow(later)) {
    ++allowed;
  }
  EXPECT_EQ(3, allowed);
  EXPECT_FALSE(limiter.Allow(t0));  // a clock going back grants nothing
}

TEST(DeadMan, HoldsOnlyWhileConfirmed)
{
  DeadMan dead_man(0.5, 1.0, 250ms);
  const TimePoint t0{};
  EXPECT_FALSE(dead_man.Current(t0));
  EXPECT_FALSE(dead_man.TakeEnded(t0));

  dead_man.Hold(PadCommand{2.0, -3.0}, t0);
  auto command = dead_man.Current(t0 + 100ms);
  ASSERT_TRUE(command);
  EXPECT_DOUBLE_EQ(0.5, command->linear);    // clamped
  EXPECT_DOUBLE_EQ(-1.0, command->angular);
  EXPECT_TRUE(dead_man.Current(t0 + 250ms));
  EXPECT_FALSE(dead_man.TakeEnded(t0 + 250ms));
  // A page silent for longer than the grace period: nothing more, and the end reported once.
  EXPECT_FALSE(dead_man.Current(t0 + 251ms));
  EXPECT_TRUE(dead_man.TakeEnded(t0 + 251ms));
  EXPECT_FALSE(dead_man.TakeEnded(t0 + 300ms));

  // A release ends it at once, however fresh the last update.
  dead_man.Hold(PadCommand{0.1, 0.1}, t0 + 1s);
  dead_man.Release();
  EXPECT_FALSE(dead_man.Current(t0 + 1s));
  EXPECT_TRUE(dead_man.TakeEnded(t0 + 1s));
  dead_man.Release();  // a second release changes nothing
  EXPECT_FALSE(dead_man.TakeEnded(t0 + 1s));
}

TEST(ApiRequest, ModeBodies)
{
  EXPECT_EQ(11, ParseModeRequest(R"({"mode": "teleops"})").value.value());
  EXPECT_EQ(0, ParseModeRequest(R"({"mode": 0})").value.value());
  for (const char * bad : {"[]", "{}", R"({"mode": "Teleops"})", R"({"mode": 13})",
      R"({"mode": -1})", R"({"mode": 267})", R"({"mode": "teleops", "x": 1})"})
  {
    const auto parsed = ParseModeRequest(bad);
    EXPECT_FALSE(parsed.value) << bad;
    EXPECT_FALSE(parsed.error.empty()) << bad;
  }
  EXPECT_NE(std::string::npos, ParseModeRequest("{").error.find("malformed JSON"));
}

TEST(ApiRequest, ReturnAndPadBodies)
{
  EXPECT_FALSE(ParseReturnRequest("").value.value());
  EXPECT_FALSE(ParseReturnRequest("{}").value.value());
  EXPECT_EQ(11, ParseReturnRequest(R"({"from": "teleops"})").value.value().value());
  EXPECT_FALSE(ParseReturnRequest(R"({"from": "nowhere"})").value);
  EXPECT_FALSE(ParseReturnRequest(R"({"to": "none"})").value);

  const auto pad = ParsePadRequest(R"({"linear": 0.25, "angular": -1})");
  ASSERT_TRUE(pad.value);
  EXPECT_DOUBLE_EQ(0.25, pad.value->linear);
  EXPECT_DOUBLE_EQ(-1.0, pad.value->angular);
  for (const char * bad : {R"({"linear": 0.1})", R"({"linear": "1", "angular": 0})",
      R"({"linear": 1e999, "angular": 0})", R"({"linear": 0, "angular": 0, "z": 0})"})
  {
    EXPECT_FALSE(ParsePadRequest(bad).value) << bad;
  }
}

TEST(ConsoleOptions, DefaultsAndRefusals)
{
  auto parsed = ParseConsoleOptions({"prog"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ("127.0.0.1", parsed.options->bind);
  EXPECT_EQ(8080, parsed.options->port);
  EXPECT_FALSE(parsed.options->drive_mode);
  EXPECT_EQ("/twist_arbiter", FullyQualifiedName(*parsed.options));

  parsed = ParseConsoleOptions(
    {"prog", "--node", "/robot1/gate", "--drive-mode", "teleops", "--max-linear", "0.5",
      "--max-angular", "1"});
  ASSERT_TRUE(parsed.options) << parsed.message;
  EXPECT_EQ("/robot1/gate", FullyQualifiedName(*parsed.options));
  EXPECT_EQ(11, parsed.options->drive_mode.value());

  for (const std::vector<std::string> & bad : std::vector<std::vector<std::string>>{
      {"prog", "--drive-mode", "teleops", "--max-linear", "0.5"},
      {"prog", "--drive-mode", "none", "--max-linear", "1", "--max-angular", "1"},
      {"prog", "--drive-mode", "warp", "--max-linear", "1", "--max-angular", "1"},
      {"prog", "--max-linear", "1"},
      {"prog", "--drive-mode", "teleops", "--max-linear", "-1", "--max-angular", "1"},
      {"prog", "--node", "1robot"},
      {"prog", "--port", "70000"}})
  {
    const auto result = ParseConsoleOptions(bad);
    EXPECT_FALSE(result.options) << bad.back();
    EXPECT_EQ(2, result.exit_status) << bad.back();
    EXPECT_FALSE(result.message.empty());
  }
  EXPECT_EQ(0, ParseConsoleOptions({"prog", "--help"}).exit_status);
}

TEST(ExtremaDecimator, KeepsExtremesInTimeOrder)
{
  ExtremaDecimator decimator;
  EXPECT_TRUE(decimator.Take().empty());
  // A 1 kHz signal with one short spike: the spike survives decimation.
  for (int i = 0; i < 50; ++i) {
    decimator.Add(i * 0.001, i == 20 ? 5.0 : (i == 30 ? -2.0 : 0.1));
  }
  auto points = decimator.Take();
  ASSERT_EQ(2u, points.size());
  EXPECT_DOUBLE_EQ(0.020, points[0].t);
  EXPECT_DOUBLE_EQ(5.0, points[0].value);
  EXPECT_DOUBLE_EQ(-2.0, points[1].value);
  // A constant window is one point; a new window starts empty.
  decimator.Add(1.0, 0.3);
  decimator.Add(1.001, 0.3);
  points = decimator.Take();
  ASSERT_EQ(1u, points.size());
  EXPECT_DOUBLE_EQ(1.0, points[0].t);
  EXPECT_TRUE(decimator.Take().empty());
}

TEST(LiveHistory, IncrementsThenWindowAndLogBound)
{
  LiveHistory history;
  EXPECT_TRUE(history.TakeIncrement(100.0)["empty"].get<bool>());
  for (int i = 0; i < 1000; ++i) {
    history.AddOutput(100.0 + i * 0.00005, i % 2 ? 1.0 : -1.0, 0.0);
  }
  history.AddMark(100.01, "watchdog", "watchdog zero");
  auto increment = history.TakeIncrement(100.05);
  EXPECT_FALSE(increment["empty"].get<bool>());
  EXPECT_EQ(2u, increment["output"]["linear"].size());  // a thousand samples, two extremes
  EXPECT_EQ(1u, increment["marks"].size());
  EXPECT_TRUE(history.TakeIncrement(100.1)["marks"].empty());  // sent once only
  EXPECT_EQ(1u, history.Full()["marks"].size());

  for (int i = 0; i < 60; ++i) {
    history.AddLog(LogLine{101.0 + i, 20, "line " + std::to_string(i)});
  }
  history.TakeIncrement(161.0);
  const auto full = history.Full();
  ASSERT_EQ(LiveHistory::kLogLines, full["log"].size());
  EXPECT_EQ("line 59", full["log"].back()["text"]);
  // Older than 30 s: gone from the plot.
  EXPECT_TRUE(full["output"]["linear"].empty());
  EXPECT_TRUE(full["marks"].empty());
}

}  // namespace
}  // namespace twist_arbiter_console
