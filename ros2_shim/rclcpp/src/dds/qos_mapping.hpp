// rmw QoS profiles as rmw_cyclonedds_cpp turns them into Cyclone QoS, and back.
#ifndef RCLCPP__SHIM__DDS__QOS_MAPPING_HPP_
#define RCLCPP__SHIM__DDS__QOS_MAPPING_HPP_

#include <memory>
#include <string>

#include "dds/dds.h"
#include "rmw/types.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

struct QosDeleter
{
  void operator()(dds_qos_t * qos) const {dds_delete_qos(qos);}
};
using QosPtr = std::unique_ptr<dds_qos_t, QosDeleter>;

enum class EndpointKind { Reader, Writer };

/// Every policy set explicitly: Cyclone's own defaults (best-effort readers, ...) never apply.
QosPtr to_dds_qos(const rmw_qos_profile_t & profile, EndpointKind kind);

/// The profile an endpoint created from `requested` actually has, with system defaults
/// resolved and unspecified durations reported as infinite, as rmw reads it back.
rmw_qos_profile_t resolved_qos(const rmw_qos_profile_t & requested);

/// Humble's name of the policy behind a Cyclone incompatible-QoS status.
std::string policy_name(uint32_t dds_policy_id);

/// USER_DATA "key=value;" pairs: the value of `key`, empty when absent.
std::string user_data_value(const dds_qos_t * qos, const std::string & key);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__QOS_MAPPING_HPP_
