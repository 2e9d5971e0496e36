// A Cyclone DDS sertype for any rosidl C++ message, serialising with cdr.hpp.
//
// Samples handed to dds_write() / dds_take() on a topic made here are:
//  - for a plain topic: a pointer to the C++ message itself;
//  - for a service request or reply topic: a pointer to a ServiceSample, whose message
//    points at the C++ request or response; dds_take() fills that message in place and
//    sets the identity.
// Malformed samples received from the network are dropped on arrival (with a throttled
// warning) and never reach a reader.
#ifndef RCLCPP__SHIM__DDS__SERTYPE_HPP_
#define RCLCPP__SHIM__DDS__SERTYPE_HPP_

#include <string>

#include "dds/dds.h"
#include "cdr.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

struct ServiceSample
{
  RequestId id;
  void * message;
};

/// Create (or find) the Cyclone topic `topic_name` whose samples are messages described by
/// `members`; `is_service` selects the ServiceSample form with the request identity prefix.
/// The DDS type name is dds_type_name(members). Returns a negative dds_return_t on failure.
dds_entity_t create_topic(
  dds_entity_t participant, const std::string & topic_name, const MessageMembers * members,
  bool is_service);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__SERTYPE_HPP_
