// QoS event callback types of publisher and subscription options.
#ifndef RCLCPP__QOS_EVENT_HPP_
#define RCLCPP__QOS_EVENT_HPP_

#include <cstdint>
#include <functional>
#include <string>

#include "rmw/types.h"

namespace rclcpp
{

/// Counts of incompatible-QoS events and the last policy at fault.
struct QOSIncompatibleQoSStatus
{
  int32_t total_count;
  int32_t total_count_change;
  rmw_qos_policy_kind_t last_policy_kind;
};

namespace shim
{
/// The rmw policy kind of a policy name as the middleware reports it ("RELIABILITY_QOS_POLICY").
inline rmw_qos_policy_kind_t policy_kind_from_name(const std::string & name)
{
  if (name == "DURABILITY_QOS_POLICY") {return RMW_QOS_POLICY_DURABILITY;}
  if (name == "DEADLINE_QOS_POLICY") {return RMW_QOS_POLICY_DEADLINE;}
  if (name == "LIVELINESS_QOS_POLICY") {return RMW_QOS_POLICY_LIVELINESS;}
  if (name == "RELIABILITY_QOS_POLICY") {return RMW_QOS_POLICY_RELIABILITY;}
  if (name == "HISTORY_QOS_POLICY") {return RMW_QOS_POLICY_HISTORY;}
  if (name == "LIFESPAN_QOS_POLICY") {return RMW_QOS_POLICY_LIFESPAN;}
  return RMW_QOS_POLICY_INVALID;
}
}  // namespace shim

using QOSOfferedIncompatibleQoSInfo = QOSIncompatibleQoSStatus;
using QOSRequestedIncompatibleQoSInfo = QOSIncompatibleQoSStatus;

using QOSOfferedIncompatibleQoSCallbackType = std::function<void (QOSOfferedIncompatibleQoSInfo &)>;
using QOSRequestedIncompatibleQoSCallbackType =
  std::function<void (QOSRequestedIncompatibleQoSInfo &)>;

/// Publisher event callbacks; only incompatible_qos_callback is ever raised here.
struct PublisherEventCallbacks
{
  QOSOfferedIncompatibleQoSCallbackType incompatible_qos_callback;
};

/// Subscription event callbacks; only incompatible_qos_callback is ever raised here.
struct SubscriptionEventCallbacks
{
  QOSRequestedIncompatibleQoSCallbackType incompatible_qos_callback;
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_EVENT_HPP_
