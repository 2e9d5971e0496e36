// A second process for the cross-process tests: one ROS role per run, chosen by the first
// argument. It reports on stdout, one line per event, flushed at once, and (except `client`)
// spins until SIGINT/SIGTERM.
//
//   talker TOPIC COUNT [options]    publish "1".."COUNT" (std_msgs/String), print "published"
//   listener TOPIC [options]        print "ready", then "got <data>" per message
//   server SERVICE                  GetParameters: each name comes back as "<name>@<pid>"
//   client SERVICE NAME             wait for the service, call it once, print "reply <value>"
//   node                            a node with no endpoints; prints "ready"
//   static                          endpoints of every kind in static storage, destroyed only
//                                   after exit began (main shuts down and returns)
//
// Options: --best-effort, --transient-local, --depth N, --wait-subscribers N (publish only
// once N subscriptions have matched), --every-ms N (talker: one message every N ms, counting
// on until stopped, instead of COUNT at once), --name NODE_NAME.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rcl_interfaces/msg/parameter_type.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

namespace
{

struct Options
{
  bool best_effort = false;
  bool transient_local = false;
  size_t depth = 10;
  size_t wait_subscribers = 0;
  int every_ms = 0;
  std::string name = "dds_peer";
};

void say(const std::string & line)
{
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

rclcpp::QoS make_qos(const Options & options)
{
  rclcpp::QoS qos(options.depth);
  if (options.best_effort) {
    qos.best_effort();
  }
  if (options.transient_local) {
    qos.transient_local();
  }
  return qos;
}

int talker(const std::string & topic, int count, const Options & options)
{
  auto node = std::make_shared<rclcpp::Node>(options.name);
  auto publisher = node->create_publisher<std_msgs::msg::String>(topic, make_qos(options));
  if (options.wait_subscribers > 0) {
    while (rclcpp::ok() && publisher->get_subscription_count() < options.wait_subscribers) {
      rclcpp::spin_some(node);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  int sent = 0;
  auto send = [&publisher, &sent] {
      std_msgs::msg::String message;
      message.data = std::to_string(++sent);
      publisher->publish(message);
    };
  rclcpp::TimerBase::SharedPtr timer;
  if (options.every_ms > 0) {
    timer = node->create_wall_timer(std::chrono::milliseconds(options.every_ms), send);
  } else {
    while (sent < count) {
      send();
    }
    say("published");
  }
  rclcpp::spin(node);
  return 0;
}

int listener(const std::string & topic, const Options & options)
{
  auto node = std::make_shared<rclcpp::Node>(options.name);
  auto subscription = node->create_subscription<std_msgs::msg::String>(
    topic, make_qos(options),
    [](const std_msgs::msg::String & message) {say("got " + message.data);});
  say("ready");
  rclcpp::spin(node);
  return 0;
}

int server(const std::string & service_name, const Options & options)
{
  using Srv = rcl_interfaces::srv::GetParameters;
  auto node = std::make_shared<rclcpp::Node>(options.name);
  const std::string suffix = "@" + std::to_string(getpid());
  auto service = node->create_service<Srv>(
    service_name,
    [suffix](const std::shared_ptr<Srv::Request> request, std::shared_ptr<Srv::Response> response) {
      for (const auto & name : request->names) {
        rcl_interfaces::msg::ParameterValue value;
        value.type = rcl_interfaces::msg::ParameterType::PARAMETER_STRING;
        value.string_value = name + suffix;
        response->values.push_back(value);
      }
    });
  say("serving");
  rclcpp::spin(node);
  return 0;
}

int client(const std::string & service_name, const std::string & name, const Options & options)
{
  using Srv = rcl_interfaces::srv::GetParameters;
  auto node = std::make_shared<rclcpp::Node>(options.name);
  auto client = node->create_client<Srv>(service_name);
  if (!client->wait_for_service(std::chrono::seconds(20))) {
    say("no service");
    return 1;
  }
  // Called at once: the server must hold its reply until this client's reply reader matched.
  auto request = std::make_shared<Srv::Request>();
  request->names.push_back(name);
  auto future = client->async_send_request(request);
  if (rclcpp::spin_until_future_complete(node, future, std::chrono::seconds(20)) !=
    rclcpp::FutureReturnCode::SUCCESS)
  {
    say("no reply");
    return 1;
  }
  const auto response = future.get();
  say(
    "reply " +
    (response->values.empty() ? std::string("<none>") : response->values[0].string_value));
  return 0;
}

struct StaticEndpoints
{
  rclcpp::Node::SharedPtr node;
  rclcpp::Publisher<std_msgs::msg::String>::SharedPtr publisher;
  rclcpp::Subscription<std_msgs::msg::String>::SharedPtr subscription;
  rclcpp::Service<rcl_interfaces::srv::GetParameters>::SharedPtr service;
  rclcpp::Client<rcl_interfaces::srv::GetParameters>::SharedPtr client;
};

StaticEndpoints g_static_endpoints;

int keep_until_exit(const Options & options)
{
  using Srv = rcl_interfaces::srv::GetParameters;
  auto & e = g_static_endpoints;
  e.node = std::make_shared<rclcpp::Node>(options.name);
  e.publisher = e.node->create_publisher<std_msgs::msg::String>("static_topic", 10);
  e.subscription = e.node->create_subscription<std_msgs::msg::String>(
    "static_topic", 10, [](const std_msgs::msg::String &) {});
  e.service = e.node->create_service<Srv>(
    "static_service", [](const std::shared_ptr<Srv::Request>, std::shared_ptr<Srv::Response>) {});
  e.client = e.node->create_client<Srv>("static_service");
  e.publisher->publish(std_msgs::msg::String());
  e.client->async_send_request(std::make_shared<Srv::Request>());
  rclcpp::spin_some(e.node);
  say("ready");
  // No shutdown: the context ends with the static node, after main returned.
  return 0;
}

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  std::vector<std::string> args;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--best-effort") {
      options.best_effort = true;
    } else if (arg == "--transient-local") {
      options.transient_local = true;
    } else if (arg == "--wait-subscribers" && i + 1 < argc) {
      options.wait_subscribers = static_cast<size_t>(std::atoi(argv[++i]));
    } else if (arg == "--every-ms" && i + 1 < argc) {
      options.every_ms = std::atoi(argv[++i]);
    } else if (arg == "--depth" && i + 1 < argc) {
      options.depth = static_cast<size_t>(std::atoi(argv[++i]));
    } else if (arg == "--name" && i + 1 < argc) {
      options.name = argv[++i];
    } else {
      args.push_back(arg);
    }
  }
  int status = 2;
  if (args.size() == 3 && args[0] == "talker") {
    status = talker(args[1], std::atoi(args[2].c_str()), options);
  } else if (args.size() == 2 && args[0] == "listener") {
    status = listener(args[1], options);
  } else if (args.size() == 2 && args[0] == "server") {
    status = server(args[1], options);
  } else if (args.size() == 3 && args[0] == "client") {
    status = client(args[1], args[2], options);
  } else if (args.size() == 1 && args[0] == "static") {
    return keep_until_exit(options);
  } else if (args.size() == 1 && args[0] == "node") {
    auto node = std::make_shared<rclcpp::Node>(options.name);
    say("ready");
    rclcpp::spin(node);
    status = 0;
  } else {
    std::fprintf(stderr, "usage: dds_peer talker|listener|server|client|node ...\n");
  }
  rclcpp::shutdown();
  return status;
}
