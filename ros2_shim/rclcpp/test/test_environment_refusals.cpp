// Settings that rcl would accept at init, and this middleware refuses there instead of
// failing later or running misconfigured: another RMW implementation asked for, a domain id
// beyond Cyclone's port mapping, ROS_LOCALHOST_ONLY together with interfaces of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "rclcpp/rclcpp.hpp"

// The conformance suite's helper: the same scoped variables on both sides.
#include "../../humble_conformance/test/scoped_env.hpp"

namespace
{

/// The message rclcpp::init failed with; "" if it succeeded.
std::string init_error()
{
  try {
    rclcpp::init(0, nullptr);
  } catch (const std::runtime_error & error) {
    EXPECT_FALSE(rclcpp::ok());
    return error.what();
  }
  rclcpp::shutdown();
  return "";
}

bool contains(const std::string & text, const std::string & part)
{
  return text.find(part) != std::string::npos;
}

TEST(EnvironmentRefusals, another_rmw_implementation_is_refused_with_rcl_text)
{
  {
    ScopedEnv implementation("RMW_IMPLEMENTATION", "rmw_fastrtps_cpp");
    const std::string error = init_error();
    EXPECT_TRUE(
      contains(
        error, "Expected RMW implementation identifier of 'rmw_fastrtps_cpp' but instead found "
        "'rmw_cyclonedds_cpp'")) << error;
  }
  {
    ScopedEnv asserted("RCL_ASSERT_RMW_ID_MATCHES", "rmw_connextdds");
    EXPECT_TRUE(contains(init_error(), "'rmw_connextdds'"));
  }
  EXPECT_EQ(init_error(), "");
}

TEST(EnvironmentRefusals, domain_ids_beyond_the_port_mapping_are_refused)
{
  for (const char * id : {"233", "1000", "-1"}) {
    ScopedEnv domain("ROS_DOMAIN_ID", id);
    const std::string error = init_error();
    EXPECT_TRUE(contains(error, "ROS_DOMAIN_ID is out of range")) << id << ": " << error;
  }
  // An explicit id in the init options is the same domain and gets the same answer.
  rclcpp::InitOptions options;
  options.set_domain_id(233);
  EXPECT_THROW(rclcpp::init(0, nullptr, options), std::runtime_error);
  EXPECT_FALSE(rclcpp::ok());
}

TEST(EnvironmentRefusals, localhost_only_with_interfaces_of_its_own_is_refused)
{
  ScopedEnv localhost("ROS_LOCALHOST_ONLY", "1");
  {
    ScopedEnv uri(
      "CYCLONEDDS_URI",
      "<CycloneDDS><Domain><General><Interfaces><NetworkInterface name=\"eth0\"/>"
      "</Interfaces></General></Domain></CycloneDDS>");
    const std::string error = init_error();
    EXPECT_TRUE(contains(error, "ROS_LOCALHOST_ONLY=1")) << error;
    EXPECT_TRUE(contains(error, "CYCLONEDDS_URI")) << error;
  }
  // Other settings in CYCLONEDDS_URI go along with it.
  ScopedEnv uri(
    "CYCLONEDDS_URI",
    "<CycloneDDS><Domain><Tracing><Verbosity>none</Verbosity></Tracing></Domain></CycloneDDS>");
  EXPECT_EQ(init_error(), "");
}

}  // namespace
