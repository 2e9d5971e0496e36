// QoS event callback types of publisher and subscription options.
#ifndef RCLCPP__QOS_EVENT_HPP_
#define RCLCPP__QOS_EVENT_HPP_

#include <cstdint>
#include <functional>

#include "rmw/types.h"

namespace rclcpp
{

/// Counts of incompatible-QoS events; last_policy_kind as rmw numbers it (4 = reliability).
struct QOSIncompatibleQoSStatus
{
  int32_t total_count;
  int32_t total_count_change;
  int last_policy_kind;
};

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
