// Copyright 2026 The twist_arbiter authors.
//
// twist_arbiter_console over HTTP, connected to twist_arbiter_main in another process; the test
// checks over DDS what reached the controller: refusals change nothing, a switch switches, the
// pad's dead man ends the commands.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "corvan_msgs/msg/control_mode.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/bool.hpp"
#include "subprocess.hpp"

namespace
{

using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr auto kDiscovery = 20s;

class ConsoleHttp : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr);
    controller_ = new subprocess::Program(
      TWIST_ARBITER_MAIN, {"--ros-args", "--params-file", SHIPPED_CONFIG});
    console_ = new subprocess::Program(
      TWIST_ARBITER_CONSOLE,
      {"--port", "0", "--web-root", WEB_ROOT, "--drive-mode", "teleops", "--max-linear", "0.5",
        "--max-angular", "1.0"});
    ASSERT_TRUE(console_->WaitForOutput("?token=")) << console_->Output();
    std::smatch match;
    const std::string output = console_->Output();
    ASSERT_TRUE(
      std::regex_search(
        output, match, std::regex(R"(http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+))")));
    port_ = std::stoi(match[1]);
    token_ = match[2];
  }
  static void TearDownTestSuite()
  {
    console_->Signal(SIGINT);
    const auto run = console_->Wait(20s);
    EXPECT_TRUE(run.exited && run.status == 0) << run.output;
    delete console_;
    if (!controller_gone_) {
      controller_->Signal(SIGINT);
      controller_->Wait(20s);
    }
    delete controller_;
    rclcpp::shutdown();
  }

  void SetUp() override
  {
    probe_ = std::make_shared<rclcpp::Node>("console_http_probe");
    executor_.add_node(probe_);
    mode_subscription_ = probe_->create_subscription<corvan_msgs::msg::ControlMode>(
      "/control_mode", rclcpp::QoS(10).reliable().transient_local(),
      [this](const corvan_msgs::msg::ControlMode & msg) {mode_ = msg.mode;});
    input_subscription_ = probe_->create_subscription<geometry_msgs::msg::Twist>(
      "/cmd_vel/teleops", rclcpp::QoS(10).best_effort(),
      [this](const geometry_msgs::msg::Twist & msg) {inputs_.push_back(msg.linear.x);});
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_read_timeout(10, 0);
    // The console has found the controller and the probe hears the mode.
    ASSERT_TRUE(
      SpinUntil(
        [&] {
          const auto state = State();
          return mode_ && state && state->at("configured").get<bool>() &&
          !state->at("mode").is_null();
        })) << console_->Output();
  }

  void TearDown() override {executor_.remove_node(probe_);}

  bool SpinUntil(const std::function<bool()> & done, std::chrono::nanoseconds timeout = kDiscovery)
  {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() > deadline) {
        return false;
      }
      executor_.spin_some(20ms);
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  std::string Cookie() const
  {
    return "twist_arbiter_console_" + std::to_string(port_) + "=" + token_;
  }

  std::optional<json> State()
  {
    const auto res = client_->Get("/api/state", {{"Cookie", Cookie()}});
    if (!res || res->status != 200) {
      return std::nullopt;
    }
    return json::parse(res->body);
  }

  httplib::Result Post(
    const std::string & path, const std::string & body, httplib::Headers headers = {})
  {
    if (headers.find("Cookie") == headers.end()) {
      headers.emplace("Cookie", Cookie());
    }
    return client_->Post(path, headers, body, "application/json");
  }

  void SpinFor(std::chrono::nanoseconds duration) {SpinUntil([] {return false;}, duration);}

  /// Switches through the API and waits until both the controller and the console say so.
  httplib::Result ToTeleops()
  {
    auto res = Post("/api/mode", R"({"mode": "teleops"})");
    EXPECT_TRUE(SpinUntil([&] {return mode_ == 11;}));
    EXPECT_TRUE(SpinUntil([&] {return State()->at("mode").at("id") == 11;}));
    return res;
  }

  static subprocess::Program * controller_;
  static subprocess::Program * console_;
  static int port_;
  static std::string token_;
  static bool controller_gone_;
  rclcpp::Node::SharedPtr probe_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::SubscriptionBase::SharedPtr mode_subscription_;
  rclcpp::SubscriptionBase::SharedPtr input_subscription_;
  std::optional<uint8_t> mode_;
  std::vector<double> inputs_;
  std::unique_ptr<httplib::Client> client_;
};

subprocess::Program * ConsoleHttp::controller_ = nullptr;
subprocess::Program * ConsoleHttp::console_ = nullptr;
int ConsoleHttp::port_ = 0;
std::string ConsoleHttp::token_;
bool ConsoleHttp::controller_gone_ = false;

// Every refusal: no token (401), a foreign Host or Origin (403), bad bodies (400, 413, 415).
// None of them reaches the controller, and the console stays up.
TEST_F(ConsoleHttp, RefusalsReachNothing)
{
  for (const char * path : {"/", "/api/state", "/console.js", "/chart.js"}) {
    const auto res = client_->Get(path);
    ASSERT_TRUE(res);
    EXPECT_EQ(401, res->status) << path;
  }
  // Without the token nothing reaches the controller.
  const auto refused = client_->Post("/api/mode", R"({"mode": "teleops"})", "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(401, refused->status);
  const auto wrong = client_->Get(("/api/state?token=" + token_.substr(1) + "0").c_str());
  EXPECT_EQ(401, wrong->status);

  // The token in the URL: a cookie scripts cannot read, and the token leaves the address bar.
  const auto first = client_->Get(("/?token=" + token_).c_str());
  ASSERT_TRUE(first);
  EXPECT_EQ(303, first->status);
  const auto cookie = first->get_header_value("Set-Cookie");
  EXPECT_NE(std::string::npos, cookie.find(Cookie()));
  EXPECT_NE(std::string::npos, cookie.find("HttpOnly"));
  EXPECT_NE(std::string::npos, cookie.find("SameSite=Strict"));
  const auto page = client_->Get("/", {{"Cookie", Cookie()}});
  ASSERT_TRUE(page);
  EXPECT_EQ(200, page->status);
  EXPECT_NE(std::string::npos, page->body.find("<canvas id=\"plot\">"));
  const auto chart = client_->Get("/chart.js", {{"Cookie", Cookie()}});
  EXPECT_EQ(200, chart->status);
  EXPECT_NE(std::string::npos, chart->body.find("Chart.js"));

  // DNS rebinding: the right token under a name that is not ours.
  const auto rebound = client_->Get(
    ("/api/state?token=" + token_).c_str(),
    {{"Host", "attacker.example:" + std::to_string(port_)}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(403, rebound->status);
  // A page of another site posting with the browser's cookie.
  const auto cross = Post(
    "/api/mode", R"({"mode": "teleops"})", {{"Origin", "http://attacker.example"}});
  ASSERT_TRUE(cross);
  EXPECT_EQ(403, cross->status);
  const auto fetch_site = Post(
    "/api/mode", R"({"mode": "teleops"})", {{"Sec-Fetch-Site", "cross-site"}});
  EXPECT_EQ(403, fetch_site->status);

  auto res = Post("/api/mode", R"({"mode": "teleops")");
  ASSERT_TRUE(res);
  EXPECT_EQ(400, res->status);
  EXPECT_NE(std::string::npos, json::parse(res->body)["message"].get<std::string>().find("JSON"));
  EXPECT_EQ(400, Post("/api/mode", R"({"mode": "warp"})")->status);
  EXPECT_EQ(400, Post("/api/pad", R"({"linear": "fast", "angular": 0})")->status);
  EXPECT_EQ(413, Post("/api/mode", std::string(64 * 1024, ' '))->status);
  const auto text = client_->Post(
    "/api/mode", {{"Cookie", Cookie()}}, R"({"mode": "teleops"})", "text/plain");
  EXPECT_EQ(415, text->status);
  SpinFor(300ms);
  EXPECT_EQ(0, *mode_);
  EXPECT_TRUE(State());
}

TEST_F(ConsoleHttp, ModeServicesThroughTheApi)
{
  auto res = ToTeleops();
  ASSERT_TRUE(res);
  EXPECT_EQ(200, res->status);
  EXPECT_TRUE(json::parse(res->body)["success"].get<bool>()) << res->body;
  // The page's buttons: the transitions the controller's parameters allow from teleops.
  const auto transitions = State()->at("mode").at("transitions");
  EXPECT_EQ(json::array({"manual", "manual_mapping", "autopilot", "docking"}), transitions);

  // A switch the controller refuses is reported as its answer, not as an error of the console.
  res = Post("/api/mode", R"({"mode": "user"})");
  EXPECT_EQ(200, res->status);
  EXPECT_FALSE(json::parse(res->body)["success"].get<bool>());
  EXPECT_FALSE(json::parse(res->body)["message"].get<std::string>().empty());

  // Previous from a mode that is not current is refused; from the current one it works.
  res = Post("/api/previous", R"({"from": "manual"})");
  EXPECT_FALSE(json::parse(res->body)["success"].get<bool>());
  res = Post("/api/previous", R"({"from": "teleops"})");
  EXPECT_TRUE(json::parse(res->body)["success"].get<bool>()) << res->body;
  ASSERT_TRUE(SpinUntil([&] {return mode_ == 0;}));

  ASSERT_TRUE(ToTeleops());
  res = Post("/api/stop", "{}");
  EXPECT_TRUE(json::parse(res->body)["success"].get<bool>()) << res->body;
  ASSERT_TRUE(SpinUntil([&] {return mode_ == 0;}));
}

TEST_F(ConsoleHttp, PadDeadManEndsTheCommands)
{
  // Not in the pad's mode: refused, nothing published.
  EXPECT_EQ(409, Post("/api/pad", R"({"linear": 0.2, "angular": 0})")->status);

  ASSERT_TRUE(ToTeleops());
  inputs_.clear();
  // One update, then silence: the console publishes for at most the grace period (250 ms at
  // 20 Hz is about five commands), then one zero, then nothing.
  auto res = Post("/api/pad", R"({"linear": 2.0, "angular": 0})");
  ASSERT_EQ(200, res->status) << res->body;
  ASSERT_TRUE(SpinUntil([&] {return !inputs_.empty() && inputs_.back() == 0.0;}, 5s));
  SpinFor(1s);
  const auto moving = [this] {
      return std::count_if(inputs_.begin(), inputs_.end(), [](double x) {return x != 0.0;});
    };
  EXPECT_LE(*std::max_element(inputs_.begin(), inputs_.end()), 0.5);  // clamped to --max-linear
  EXPECT_GE(moving(), 1);
  EXPECT_LE(moving(), 10);
  EXPECT_EQ(0.0, inputs_.back());

  // Kept alive, it keeps publishing; a release ends it at once.
  inputs_.clear();
  for (int i = 0; i < 10; ++i) {
    Post("/api/pad", R"({"linear": 0.1, "angular": 0})");
    SpinFor(50ms);
  }
  Post("/api/pad/release", "{}");
  ASSERT_TRUE(SpinUntil([&] {return !inputs_.empty() && inputs_.back() == 0.0;}, 5s));
  EXPECT_GE(moving(), 3);
  const auto count = inputs_.size();
  SpinFor(500ms);
  EXPECT_EQ(count, inputs_.size());

  Post("/api/stop", "{}");
  ASSERT_TRUE(SpinUntil([&] {return mode_ == 0;}));
}

TEST_F(ConsoleHttp, StopStateOnlyWhereThereIsAStopInput)
{
  // The shipped configuration has no stop input: nothing to show.
  EXPECT_TRUE(State()->at("stop").is_null());
  // A controller with one announces its state on ~/stopped (reliable, transient local).
  auto stopped = probe_->create_publisher<std_msgs::msg::Bool>(
    "/twist_arbiter/stopped", rclcpp::QoS(1).reliable().transient_local());
  std_msgs::msg::Bool engaged;
  engaged.data = true;
  stopped->publish(engaged);
  ASSERT_TRUE(
    SpinUntil(
      [&] {
        const auto stop = State()->at("stop");
        return !stop.is_null() && stop.at("engaged") == true;
      }));
  engaged.data = false;
  stopped->publish(engaged);
  ASSERT_TRUE(SpinUntil([&] {return State()->at("stop").at("engaged") == false;}));
  stopped.reset();
  ASSERT_TRUE(SpinUntil([&] {return State()->at("stop").is_null();}));
}

TEST_F(ConsoleHttp, CommandFloodIs429)
{
  int limited = 0;
  for (int i = 0; i < 30; ++i) {
    const auto res = Post("/api/mode", R"({"mode": "none"})");
    ASSERT_TRUE(res);
    limited += res->status == 429;
  }
  EXPECT_GE(limited, 10);
  // Letting go of the pad is never limited.
  EXPECT_EQ(200, Post("/api/pad/release", "{}")->status);
}

TEST_F(ConsoleHttp, ControllerGoneShowsAtOnce)
{
  // Frozen (as a killed process looks until its lease runs out): still in the graph, silent.
  controller_->Signal(SIGSTOP);
  auto start = Clock::now();
  const bool silent =
    SpinUntil([&] {return !State()->at("answering").get<bool>();}, 10s);
  const auto silent_s = std::chrono::duration<double>(Clock::now() - start).count();
  controller_->Signal(SIGCONT);
  ASSERT_TRUE(silent);
  RecordProperty("not_answering_after_s", std::to_string(silent_s));
  EXPECT_LT(silent_s, 3.0);  // within a second on an idle machine
  ASSERT_TRUE(SpinUntil([&] {return State()->at("answering").get<bool>();}, 10s));

  controller_->Signal(SIGINT);
  controller_gone_ = true;
  start = Clock::now();
  ASSERT_TRUE(SpinUntil([&] {return !State()->at("reachable").get<bool>();}, 10s));
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  RecordProperty("gone_after_s", std::to_string(seconds));
  EXPECT_LT(seconds, 3.0);  // 1 s on an idle machine; a wide window on a loaded one
  EXPECT_TRUE(State()->at("mode").is_null());  // no longer known
  // Once the flood test's rate limit has refilled, commands say the controller is not there.
  int status = 0;
  SpinUntil([&] {return (status = Post("/api/stop", "{}")->status) != 429;}, 10s);
  EXPECT_EQ(503, status);
  controller_->Wait(20s);
}

}  // namespace
