#include "environment.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"
#include "rcutils/error_handling.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

constexpr const char * kImplementation = "rmw_cyclonedds_cpp";

std::string env(const char * name)
{
  const char * value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

[[noreturn]] void fail(const std::string & message)
{
  // RCLError carries an rcutils error state, as rclcpp's exceptions from rcl do.
  rcutils_reset_error();
  rcutils_set_error_state(message.c_str(), __FILE__, __LINE__);
  const rcutils_error_state_t state = *rcutils_get_error_state();
  rcutils_reset_error();
  throw rclcpp::exceptions::RCLError(1, &state, "failed to initialize rcl");
}

void check_implementation(const char * variable)
{
  const std::string wanted = env(variable);
  if (!wanted.empty() && wanted != kImplementation) {
    fail(
      "Expected RMW implementation identifier of '" + wanted + "' but instead found '" +
      kImplementation + "', exiting with 102.");
  }
}

/// The texts CYCLONEDDS_URI refers to: inline XML as is, files by their contents.
std::vector<std::string> cyclone_config_texts()
{
  std::vector<std::string> texts;
  std::stringstream items(env("CYCLONEDDS_URI"));
  std::string item;
  while (std::getline(items, item, ',')) {
    const auto first = item.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
      continue;
    }
    item.erase(0, first);
    if (item[0] == '<') {
      texts.push_back(item);
      continue;
    }
    if (item.compare(0, 7, "file://") == 0) {
      item.erase(0, 7);
    }
    std::ifstream file(item);
    if (file) {
      std::stringstream contents;
      contents << file.rdbuf();
      texts.push_back(contents.str());
    }
  }
  return texts;
}

}  // namespace

size_t domain_id_from_environment()
{
  const std::string text = env("ROS_DOMAIN_ID");
  if (text.empty()) {
    return 0;
  }
  // rcl's reading: strtoul with base detection; a leading non-number is an error, a
  // number followed by junk is taken.
  errno = 0;
  char * end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);  // NOLINT(runtime/int)
  if (value == 0UL && end && *end != '\0') {
    fail("ROS_DOMAIN_ID is not an integral number");
  }
  if ((value == ULONG_MAX && errno == ERANGE) || text[text.find_first_not_of(" \t")] == '-') {
    fail("ROS_DOMAIN_ID is out of range");
  }
  if (value > kMaxDomainId) {
    // rcl would accept it, and joining the domain would then fail; say why here.
    fail(
      "ROS_DOMAIN_ID is out of range: " + text + " (DDS domain ids go from 0 to " +
      std::to_string(kMaxDomainId) + ")");
  }
  return static_cast<size_t>(value);
}

bool localhost_only()
{
  return env("ROS_LOCALHOST_ONLY") == "1";
}

void check_environment()
{
  check_implementation("RMW_IMPLEMENTATION");
  check_implementation("RCL_ASSERT_RMW_ID_MATCHES");
  domain_id_from_environment();
  if (localhost_only()) {
    for (const std::string & text : cyclone_config_texts()) {
      if (text.find("NetworkInterface") != std::string::npos) {
        fail(
          "ROS_LOCALHOST_ONLY=1 restricts DDS to the loopback interface, but CYCLONEDDS_URI "
          "also selects network interfaces; unset ROS_LOCALHOST_ONLY or remove the interfaces "
          "from CYCLONEDDS_URI");
      }
    }
  }
}

std::string localhost_domain_config()
{
  std::string config =
    "<CycloneDDS><Domain><General>"
    "<Interfaces><NetworkInterface address=\"127.0.0.1\" multicast=\"false\"/></Interfaces>"
    "<AllowMulticast>false</AllowMulticast>"
    "</General><Discovery>"
    "<ParticipantIndex>auto</ParticipantIndex>"
    "<MaxAutoParticipantIndex>48</MaxAutoParticipantIndex>"
    "<Peers><Peer address=\"127.0.0.1\"/></Peers>"
    "</Discovery></Domain></CycloneDDS>";
  const std::string user = env("CYCLONEDDS_URI");
  if (!user.empty()) {
    config += "," + user;
  }
  return config;
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
