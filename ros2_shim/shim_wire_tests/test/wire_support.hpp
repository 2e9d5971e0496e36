// Helpers shared by the wire tests: the golden samples, a type-erased message, and the
// introspection tables of the types the samples use.
#ifndef WIRE_SUPPORT_HPP_
#define WIRE_SUPPORT_HPP_

#include <cstdint>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cdr.hpp"
#include "corvan_msgs/msg/control_mode.hpp"
#include "corvan_msgs/srv/return_control_mode.hpp"
#include "corvan_msgs/srv/set_control_mode.hpp"
#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rcl_interfaces/msg/parameter_type.hpp"
#include "rcl_interfaces/msg/parameter_value.hpp"
#include "rcl_interfaces/srv/describe_parameters.hpp"
#include "rcl_interfaces/srv/get_parameters.hpp"
#include "rcl_interfaces/srv/list_parameters.hpp"
#include "rcl_interfaces/srv/set_parameters.hpp"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "rosidl_typesupport_introspection_cpp/message_type_support_decl.hpp"

namespace wire
{

using rclcpp::shim::dds::MessageMembers;
using Bytes = std::vector<uint8_t>;

template<typename T>
const MessageMembers * members()
{
  return rclcpp::shim::dds::members_of(
    rosidl_typesupport_introspection_cpp::get_message_type_support_handle<T>());
}

struct Sample
{
  std::string name;
  std::string type;
  std::string note;
  Bytes bytes;
};

inline Bytes from_hex(const std::string & hex)
{
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// The sample file is a flat array of objects whose first key is "name"; notes may hold
// braces, so objects are split at the "name" keys.
inline std::vector<Sample> load_samples()
{
  std::ifstream in(WIRE_SAMPLES_JSON);
  if (!in) {
    throw std::runtime_error("cannot open " WIRE_SAMPLES_JSON);
  }
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  auto field = [&text](size_t from, size_t to, const std::string & key) {
      const size_t k = text.find("\"" + key + "\"", from);
      if (k == std::string::npos || k > to) {
        throw std::runtime_error("sample without " + key);
      }
      const size_t open = text.find('"', text.find(':', k) + 1);
      const size_t close = text.find('"', open + 1);
      return text.substr(open + 1, close - open - 1);
    };
  std::vector<Sample> samples;
  for (size_t at = text.find("\"name\""); at != std::string::npos; ) {
    const size_t next = text.find("\"name\"", at + 1);
    const size_t end = next == std::string::npos ? text.size() : next;
    samples.push_back(
      {field(at, end, "name"), field(at, end, "type"), field(at, end, "note"),
        from_hex(field(at, end, "hex"))});
    at = next;
  }
  return samples;
}

inline const MessageMembers * members_for(const std::string & ros_type)
{
  static const std::map<std::string, const MessageMembers *> table = {
    {"geometry_msgs/msg/Twist", members<geometry_msgs::msg::Twist>()},
    {"corvan_msgs/msg/ControlMode", members<corvan_msgs::msg::ControlMode>()},
    {"corvan_msgs/srv/SetControlMode_Request", members<corvan_msgs::srv::SetControlMode::Request>()},
    {"corvan_msgs/srv/SetControlMode_Response",
      members<corvan_msgs::srv::SetControlMode::Response>()},
    {"corvan_msgs/srv/ReturnControlMode_Request",
      members<corvan_msgs::srv::ReturnControlMode::Request>()},
    {"corvan_msgs/srv/ReturnControlMode_Response",
      members<corvan_msgs::srv::ReturnControlMode::Response>()},
    {"diagnostic_msgs/msg/DiagnosticArray", members<diagnostic_msgs::msg::DiagnosticArray>()},
    {"rcl_interfaces/msg/Log", members<rcl_interfaces::msg::Log>()},
    {"rcl_interfaces/msg/ParameterValue", members<rcl_interfaces::msg::ParameterValue>()},
    {"rcl_interfaces/msg/ParameterEvent", members<rcl_interfaces::msg::ParameterEvent>()},
    {"rcl_interfaces/srv/GetParameters_Request",
      members<rcl_interfaces::srv::GetParameters::Request>()},
    {"rcl_interfaces/srv/GetParameters_Response",
      members<rcl_interfaces::srv::GetParameters::Response>()},
    {"rcl_interfaces/srv/ListParameters_Request",
      members<rcl_interfaces::srv::ListParameters::Request>()},
    {"rcl_interfaces/srv/ListParameters_Response",
      members<rcl_interfaces::srv::ListParameters::Response>()},
    {"rcl_interfaces/srv/DescribeParameters_Response",
      members<rcl_interfaces::srv::DescribeParameters::Response>()},
    {"rcl_interfaces/srv/SetParameters_Response",
      members<rcl_interfaces::srv::SetParameters::Response>()},
    {"rmw_dds_common/msg/ParticipantEntitiesInfo",
      members<rmw_dds_common::msg::ParticipantEntitiesInfo>()},
  };
  auto it = table.find(ros_type);
  if (it == table.end()) {
    throw std::runtime_error("no type support for " + ros_type);
  }
  return it->second;
}

// A default-constructed message of a type known only by its introspection table.
class AnyMessage
{
public:
  explicit AnyMessage(const MessageMembers * mm)
  : mm_(mm), memory_(::operator new(mm->size_of_, std::align_val_t(alignof(std::max_align_t))))
  {
    mm_->init_function(memory_, rosidl_runtime_cpp::MessageInitialization::ALL);
  }
  ~AnyMessage()
  {
    mm_->fini_function(memory_);
    ::operator delete(memory_, std::align_val_t(alignof(std::max_align_t)));
  }
  AnyMessage(const AnyMessage &) = delete;
  AnyMessage & operator=(const AnyMessage &) = delete;
  void * get() {return memory_;}

private:
  const MessageMembers * mm_;
  void * memory_;
};

inline Bytes encode(
  const MessageMembers * mm, const void * message,
  const rclcpp::shim::dds::RequestId * id = nullptr)
{
  Bytes out(rclcpp::shim::dds::serialized_size(mm, message, id != nullptr));
  rclcpp::shim::dds::serialize(mm, message, id, out.data(), out.size());
  return out;
}

// The writer pads to a multiple of 4 with zeros; the golden bytes are unpadded.
inline Bytes padded(Bytes b)
{
  b.resize((b.size() + 3) & ~size_t{3}, 0);
  return b;
}

}  // namespace wire

#endif  // WIRE_SUPPORT_HPP_
