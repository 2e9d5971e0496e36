// Service servers and clients: round trips in every callback form, waiting for a server,
// deferred replies, name errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rcl_interfaces/srv/get_parameter_types.hpp"
#include "rclcpp/rclcpp.hpp"

#include "node_fixture.hpp"

using namespace std::chrono_literals;
using Srv = rcl_interfaces::srv::GetParameterTypes;

namespace
{

class ServicesTest : public NodeFixture
{
protected:
  ServicesTest()
  : NodeFixture("srv_probe", "/svc") {}

  /// Replies with one entry per name: the name's length.
  rclcpp::Service<Srv>::SharedPtr make_length_service(const std::string & name)
  {
    return node_->create_service<Srv>(
      name,
      [this](const std::shared_ptr<Srv::Request> request, std::shared_ptr<Srv::Response> response) {
        ++served_;
        for (const auto & n : request->names) {
          response->types.push_back(static_cast<uint8_t>(n.size()));
        }
      });
  }

  static std::shared_ptr<Srv::Request> request_of(std::vector<std::string> names)
  {
    auto request = std::make_shared<Srv::Request>();
    request->names = std::move(names);
    return request;
  }

  int served_ = 0;
};

TEST_F(ServicesTest, future_round_trip_and_request_ids)
{
  auto service = make_length_service("lengths");
  auto client = node_->create_client<Srv>("lengths");
  ASSERT_TRUE(client->wait_for_service(20s));
  EXPECT_TRUE(client->service_is_ready());
  EXPECT_EQ(std::string(client->get_service_name()), "/svc/lengths");
  EXPECT_EQ(std::string(service->get_service_name()), "/svc/lengths");

  auto first = client->async_send_request(request_of({"a", "abc"}));
  auto second = client->async_send_request(request_of({"abcd"}));
  EXPECT_NE(first.request_id, second.request_id);
  ASSERT_EQ(executor_->spin_until_future_complete(first, 5s), rclcpp::FutureReturnCode::SUCCESS);
  ASSERT_EQ(executor_->spin_until_future_complete(second, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(first.get()->types, (std::vector<uint8_t>{1, 3}));
  EXPECT_EQ(second.future.get()->types, (std::vector<uint8_t>{4}));
  EXPECT_EQ(served_, 2);
}

TEST_F(ServicesTest, free_spin_until_future_complete_with_a_node)
{
  executor_->remove_node(node_);
  auto service = make_length_service("free");
  auto client = node_->create_client<Srv>("free");
  ASSERT_TRUE(client->wait_for_service(20s));
  auto result = client->async_send_request(request_of({"xy"}));
  ASSERT_EQ(
    rclcpp::spin_until_future_complete(node_, result, 20s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(result.get()->types, (std::vector<uint8_t>{2}));
}

TEST_F(ServicesTest, callback_forms_run_in_the_executor)
{
  auto service = make_length_service("cb");
  auto client = node_->create_client<Srv>("cb");
  ASSERT_TRUE(client->wait_for_service(20s));

  std::vector<uint8_t> plain;
  client->async_send_request(
    request_of({"abc"}),
    [&plain](rclcpp::Client<Srv>::SharedFuture future) {plain = future.get()->types;});

  std::vector<std::string> echoed;
  std::vector<uint8_t> with_request;
  client->async_send_request(
    request_of({"q", "qq"}),
    [&](rclcpp::Client<Srv>::SharedFutureWithRequest future) {
      echoed = future.get().first->names;
      with_request = future.get().second->types;
    });
  ASSERT_TRUE(spin_until([&] {return !plain.empty() && !with_request.empty();}));
  EXPECT_EQ(plain, (std::vector<uint8_t>{3}));
  EXPECT_EQ(echoed, (std::vector<std::string>{"q", "qq"}));
  EXPECT_EQ(with_request, (std::vector<uint8_t>{1, 2}));
}

TEST_F(ServicesTest, header_and_deferred_service_forms)
{
  auto with_header = node_->create_service<Srv>(
    "header",
    [](
      const std::shared_ptr<rmw_request_id_t> header,
      const std::shared_ptr<Srv::Request>, std::shared_ptr<Srv::Response> response) {
      response->types.push_back(static_cast<uint8_t>(header->sequence_number > 0));
    });

  std::vector<std::pair<rmw_request_id_t, std::shared_ptr<Srv::Request>>> parked;
  rclcpp::Service<Srv>::SharedPtr deferred;
  deferred = node_->create_service<Srv>(
    "deferred",
    [&parked](std::shared_ptr<rmw_request_id_t> header, std::shared_ptr<Srv::Request> request) {
      parked.emplace_back(*header, request);
    });

  auto c1 = node_->create_client<Srv>("header");
  auto c2 = node_->create_client<Srv>("deferred");
  ASSERT_TRUE(c1->wait_for_service(20s));
  ASSERT_TRUE(c2->wait_for_service(20s));

  auto r1 = c1->async_send_request(request_of({}));
  ASSERT_EQ(executor_->spin_until_future_complete(r1, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(r1.get()->types, (std::vector<uint8_t>{1}));

  auto r2 = c2->async_send_request(request_of({"later"}));
  ASSERT_TRUE(spin_until([&] {return parked.size() == 1u;}));
  // Nothing was sent back yet.
  EXPECT_EQ(executor_->spin_until_future_complete(r2, 50ms), rclcpp::FutureReturnCode::TIMEOUT);
  Srv::Response response;
  response.types = {42};
  deferred->send_response(parked.front().first, response);
  ASSERT_EQ(executor_->spin_until_future_complete(r2, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(r2.get()->types, (std::vector<uint8_t>{42}));
}

TEST_F(ServicesTest, wait_for_service_tracks_the_server)
{
  auto client = node_->create_client<Srv>("appears");
  EXPECT_FALSE(client->service_is_ready());
  EXPECT_FALSE(client->wait_for_service(0s));
  EXPECT_FALSE(client->wait_for_service(20ms));

  // A server created from another thread while the client waits.
  std::atomic<bool> created{false};
  rclcpp::Service<Srv>::SharedPtr service;
  std::thread creator([&] {
      std::this_thread::sleep_for(100ms);
      service = make_length_service("appears");
      created = true;
    });
  EXPECT_TRUE(client->wait_for_service(10s));
  creator.join();
  EXPECT_TRUE(created.load());

  service.reset();
  ASSERT_TRUE(spin_until([&] {return !client->service_is_ready();}));
}

TEST_F(ServicesTest, wait_for_service_gives_up_on_shutdown)
{
  auto client = node_->create_client<Srv>("never");
  std::thread stopper([] {
      std::this_thread::sleep_for(100ms);
      rclcpp::shutdown();
    });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->wait_for_service(30s));
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(ServicesTest, request_without_server_times_out_and_can_be_removed)
{
  auto client = node_->create_client<Srv>("nobody");
  auto pending = client->async_send_request(request_of({"x"}));
  EXPECT_EQ(
    executor_->spin_until_future_complete(pending, 50ms), rclcpp::FutureReturnCode::TIMEOUT);
  EXPECT_TRUE(client->remove_pending_request(pending.request_id));
  EXPECT_FALSE(client->remove_pending_request(pending.request_id));
  client->async_send_request(request_of({"y"}));
  client->async_send_request(request_of({"z"}));
  EXPECT_EQ(client->prune_pending_requests(), 2u);
}

TEST_F(ServicesTest, bad_names_and_null_callbacks_are_rejected)
{
  EXPECT_THROW(node_->create_client<Srv>("bad srv"), rclcpp::exceptions::InvalidServiceNameError);
  EXPECT_THROW(make_length_service("1st"), rclcpp::exceptions::InvalidServiceNameError);
  std::function<void(std::shared_ptr<Srv::Request>, std::shared_ptr<Srv::Response>)> empty;
  try {
    node_->create_service<Srv>("null_cb", empty);
    FAIL() << "no exception";
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ(e.what(), "AnyServiceCallback::set(): callback cannot be nullptr");
  }
}

}  // namespace
