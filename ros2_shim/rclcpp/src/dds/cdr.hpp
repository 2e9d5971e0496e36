// XCDR1 little-endian ("CDR_LE") encoding of rosidl C++ messages, walked through their
// introspection tables, byte-compatible with rmw_cyclonedds_cpp.
//
// Layout: a 4-byte encapsulation header (00 01 00 00), optionally the 16-byte request
// identity of a service sample (client id, sequence number), then the members; alignment
// counts from the byte after the header; the total is padded with zeros to a multiple of 4.
//
// Received bytes are untrusted: decoding checks every length against the bytes that are
// left before it allocates, and reports a malformed sample instead of reading past it.
#ifndef RCLCPP__SHIM__DDS__CDR_HPP_
#define RCLCPP__SHIM__DDS__CDR_HPP_

#include <cstddef>
#include <cstdint>
#include <string>

#include "rosidl_typesupport_introspection_cpp/message_introspection.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

using rosidl_typesupport_introspection_cpp::MessageMembers;

/// The identity that prefixes every service request and reply on the wire.
struct RequestId
{
  uint64_t client_id{0};  ///< the client's request-writer instance handle, echoed by the server
  int64_t sequence{0};    ///< the client's sequence number, echoed by the server
};

/// The members table of an introspection type support handle (rosidl_message_type_support_t*).
const MessageMembers * members_of(const void * introspection_type_support);

/// DDS type name: "pkg::msg::dds_::Name_" (and "pkg::srv::dds_::Name_Request_" for services).
std::string dds_type_name(const MessageMembers * members);

/// ROS type name from a DDS type name: "pkg::msg::dds_::Name_" -> "pkg/msg/Name"; empty if the
/// name does not follow that form.
std::string ros_type_name(const std::string & dds_type_name);

/// Bytes serialize() writes: header, optional request identity, members, padding to 4.
size_t serialized_size(const MessageMembers * members, const void * message, bool with_request_id);

/// Write `message` (and `id` when not null) into `buffer`, which holds exactly
/// serialized_size(members, message, id != nullptr) bytes.
void serialize(
  const MessageMembers * members, const void * message, const RequestId * id,
  uint8_t * buffer, size_t size);

/// Check without allocating that `data` is a well-formed sample of the type (with a request
/// identity when `with_request_id`); big-endian samples are accepted too.
bool validate(const MessageMembers * members, const uint8_t * data, size_t size, bool with_request_id);

/// Decode into `message` (a constructed message of the type) and, when `id` is not null,
/// the request identity. Returns false for a malformed sample; `message` is then valid but
/// its contents unspecified. No allocation exceeds what the sample's remaining bytes can hold.
bool deserialize(
  const MessageMembers * members, const uint8_t * data, size_t size, void * message,
  RequestId * id);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__CDR_HPP_
