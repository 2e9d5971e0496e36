// The process environment as rcl and rmw_cyclonedds_cpp read it at init.
#ifndef RCLCPP__SHIM__DDS__ENVIRONMENT_HPP_
#define RCLCPP__SHIM__DDS__ENVIRONMENT_HPP_

#include <cstddef>
#include <string>

namespace rclcpp
{
namespace shim
{
namespace dds
{

/// Highest domain id Cyclone's port mapping can represent.
constexpr size_t kMaxDomainId = 232;

/// Throws rclcpp::exceptions::RCLError ("failed to initialize rcl: ...") naming the variable
/// when RMW_IMPLEMENTATION, ROS_DOMAIN_ID or ROS_LOCALHOST_ONLY/CYCLONEDDS_URI are unusable.
void check_environment();

/// ROS_DOMAIN_ID, 0 when unset or empty; throws like check_environment() when invalid.
size_t domain_id_from_environment();

/// True when ROS_LOCALHOST_ONLY is "1".
bool localhost_only();

/// The configuration handed to dds_create_domain for ROS_LOCALHOST_ONLY: loopback only, no
/// multicast, unicast discovery of 127.0.0.1, followed by $CYCLONEDDS_URI.
std::string localhost_domain_config();

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__ENVIRONMENT_HPP_
