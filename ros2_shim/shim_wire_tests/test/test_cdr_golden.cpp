// The codec against payloads serialized by a real ROS 2 Humble (rmw_cyclonedds_cpp), and
// against hostile variants of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "wire_support.hpp"

namespace dds = rclcpp::shim::dds;
using wire::Bytes;

// Largest single allocation, to show that forged lengths do not turn into big allocations.
static std::atomic<size_t> g_largest_allocation{0};

void * operator new(size_t size)
{
  size_t seen = g_largest_allocation.load();
  while (size > seen && !g_largest_allocation.compare_exchange_weak(seen, size)) {}
  if (void * p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}

// Out of line, so the compiler does not pair this free() with the new expression it inlines.
__attribute__((noinline)) void operator delete(void * p) noexcept {std::free(p);}
__attribute__((noinline)) void operator delete(void * p, size_t) noexcept {std::free(p);}

namespace
{

const std::vector<wire::Sample> & samples()
{
  static const std::vector<wire::Sample> s = wire::load_samples();
  return s;
}

const wire::Sample & sample(const std::string & name)
{
  for (const auto & s : samples()) {
    if (s.name == name) {
      return s;
    }
  }
  throw std::runtime_error("no sample " + name);
}

template<typename T>
T decode(const Bytes & bytes)
{
  T msg;
  EXPECT_TRUE(dds::deserialize(wire::members<T>(), bytes.data(), bytes.size(), &msg, nullptr));
  return msg;
}

void put_u32(Bytes & b, size_t at, uint32_t v)
{
  std::memcpy(b.data() + at, &v, 4);
}

TEST(CdrGolden, every_sample_decodes_and_reencodes_to_the_same_bytes)
{
  ASSERT_EQ(samples().size(), 20u);
  for (const auto & s : samples()) {
    SCOPED_TRACE(s.name);
    const auto * mm = wire::members_for(s.type);
    EXPECT_TRUE(dds::validate(mm, s.bytes.data(), s.bytes.size(), false));
    EXPECT_TRUE(dds::validate(mm, wire::padded(s.bytes).data(), wire::padded(s.bytes).size(), false));
    wire::AnyMessage msg(mm);
    ASSERT_TRUE(dds::deserialize(mm, s.bytes.data(), s.bytes.size(), msg.get(), nullptr));
    EXPECT_EQ(wire::encode(mm, msg.get()), wire::padded(s.bytes));
  }
}

TEST(CdrGolden, decoded_values_match_what_was_sent)
{
  auto twist = decode<geometry_msgs::msg::Twist>(sample("twist_a").bytes);
  EXPECT_EQ(twist.linear.x, 0.7);
  EXPECT_EQ(twist.linear.y, -2.0);
  EXPECT_EQ(twist.angular.z, 0.3);

  EXPECT_EQ(decode<corvan_msgs::msg::ControlMode>(sample("control_mode_11").bytes).mode, 11);
  EXPECT_EQ(
    decode<corvan_msgs::srv::ReturnControlMode::Request>(
      sample("return_control_mode_request_10").bytes).mode.mode, 10);
  auto set_ok = decode<corvan_msgs::srv::SetControlMode::Response>(
    sample("set_control_mode_response_ok").bytes);
  EXPECT_TRUE(set_ok.success);
  EXPECT_EQ(set_ok.message, "Control mode set to teleops.");

  auto diag = decode<diagnostic_msgs::msg::DiagnosticArray>(
    sample("diagnostic_array_state_stamped").bytes);
  EXPECT_EQ(diag.header.stamp.sec, 1796736000);
  EXPECT_EQ(diag.header.stamp.nanosec, 123456789u);
  EXPECT_EQ(diag.header.frame_id, "");
  ASSERT_EQ(diag.status.size(), 1u);
  EXPECT_EQ(diag.status[0].name, "twist_arbiter: State");
  EXPECT_EQ(diag.status[0].message, "Operational");
  EXPECT_EQ(diag.status[0].hardware_id, "none");
  ASSERT_EQ(diag.status[0].values.size(), 1u);
  EXPECT_EQ(diag.status[0].values[0].key, "Operational");
  EXPECT_EQ(diag.status[0].values[0].value, "True");

  auto log = decode<rcl_interfaces::msg::Log>(sample("rosout_log").bytes);
  EXPECT_EQ(log.level, rcl_interfaces::msg::Log::INFO);
  EXPECT_EQ(log.name, "twist_arbiter");
  EXPECT_EQ(log.msg, "Control mode set to teleops.");
  EXPECT_EQ(log.function, "RunModeService");
  EXPECT_EQ(log.line, 87u);

  auto value = decode<rcl_interfaces::msg::ParameterValue>(sample("parameter_value_double").bytes);
  EXPECT_EQ(value.type, rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE);
  EXPECT_EQ(value.double_value, 0.5);

  auto event = decode<rcl_interfaces::msg::ParameterEvent>(sample("parameter_event_new").bytes);
  EXPECT_EQ(event.node, "/twist_arbiter");
  ASSERT_EQ(event.new_parameters.size(), 1u);
  EXPECT_EQ(event.new_parameters[0].name, "timeout_threshold");
  EXPECT_EQ(event.new_parameters[0].value.double_value, 0.5);

  auto get = decode<rcl_interfaces::srv::GetParameters::Response>(
    sample("get_parameters_response").bytes);
  ASSERT_EQ(get.values.size(), 2u);
  EXPECT_EQ(get.values[1].type, rcl_interfaces::msg::ParameterType::PARAMETER_STRING_ARRAY);
  EXPECT_EQ(get.values[1].string_array_value, (std::vector<std::string>{"teleops", "manual_mapping"}));

  auto list = decode<rcl_interfaces::srv::ListParameters::Response>(
    sample("list_parameters_response").bytes);
  EXPECT_EQ(list.result.names, (std::vector<std::string>{"timeout_threshold", "topics.out.twist"}));
  EXPECT_EQ(list.result.prefixes, (std::vector<std::string>{"topics.out"}));

  auto info = decode<rmw_dds_common::msg::ParticipantEntitiesInfo>(
    sample("participant_entities_info").bytes);
  EXPECT_EQ(info.gid.data[0], 0x01);
  EXPECT_EQ(info.gid.data[15], 0xc1);
  EXPECT_EQ(info.gid.data[23], 0x00);
  ASSERT_EQ(info.node_entities_info_seq.size(), 1u);
  EXPECT_EQ(info.node_entities_info_seq[0].node_namespace, "/");
  EXPECT_EQ(info.node_entities_info_seq[0].node_name, "twist_arbiter");
  ASSERT_EQ(info.node_entities_info_seq[0].reader_gid_seq.size(), 1u);
  EXPECT_EQ(info.node_entities_info_seq[0].writer_gid_seq[0].data[15], 0x03);
}

TEST(CdrGolden, service_samples_carry_the_request_identity_before_the_body)
{
  const Bytes & body = sample("set_control_mode_request_11").bytes;
  const uint8_t identity[16] = {0x3a, 0xd2, 0x2a, 0xe0, 0x9c, 0xdd, 0x3e, 0x7a, 7, 0, 0, 0, 0, 0, 0, 0};
  Bytes wire_bytes(body.size() + 16);
  std::memcpy(wire_bytes.data(), body.data(), 4);
  std::memcpy(wire_bytes.data() + 4, identity, 16);
  std::memcpy(wire_bytes.data() + 20, body.data() + 4, body.size() - 4);

  const auto * mm = wire::members<corvan_msgs::srv::SetControlMode::Request>();
  corvan_msgs::srv::SetControlMode::Request request;
  dds::RequestId id;
  ASSERT_TRUE(dds::deserialize(mm, wire_bytes.data(), wire_bytes.size(), &request, &id));
  EXPECT_EQ(id.client_id, 0x7a3edd9ce02ad23aull);
  EXPECT_EQ(id.sequence, 7);
  EXPECT_EQ(request.mode.mode, 11);
  EXPECT_TRUE(dds::validate(mm, wire_bytes.data(), wire_bytes.size(), true));
  EXPECT_EQ(wire::encode(mm, &request, &id), wire::padded(wire_bytes));
  // Without the identity the body is 5 bytes, 16 too short for a service sample.
  EXPECT_FALSE(dds::validate(mm, body.data(), body.size(), true));
  EXPECT_FALSE(dds::deserialize(mm, body.data(), body.size(), &request, &id));
}

TEST(CdrGolden, big_endian_samples_decode_to_the_same_values)
{
  Bytes be = sample("twist_a").bytes;
  be[1] = 0x00;
  for (size_t at = 4; at < be.size(); at += 8) {
    std::reverse(be.begin() + static_cast<long>(at), be.begin() + static_cast<long>(at + 8));
  }
  auto twist = decode<geometry_msgs::msg::Twist>(be);
  EXPECT_EQ(twist.linear.x, 0.7);
  EXPECT_EQ(twist.angular.z, 0.3);

  // Integers and string lengths in big-endian order.
  Bytes log_be = sample("rosout_log").bytes;
  log_be[1] = 0x00;
  for (size_t at : {4, 8, 16, 36, 72, 104, 124}) {
    std::reverse(log_be.begin() + static_cast<long>(at), log_be.begin() + static_cast<long>(at + 4));
  }
  auto log = decode<rcl_interfaces::msg::Log>(log_be);
  EXPECT_EQ(log.stamp.sec, 1796736000);
  EXPECT_EQ(log.msg, "Control mode set to teleops.");
  EXPECT_EQ(log.function, "RunModeService");
  EXPECT_EQ(log.line, 87u);
}

TEST(CdrGolden, unknown_encapsulations_are_rejected)
{
  const auto * mm = wire::members<geometry_msgs::msg::Twist>();
  for (auto header : {std::array<uint8_t, 2>{0, 2}, {0, 3}, {1, 1}, {0, 0x10}}) {
    Bytes b = sample("twist_a").bytes;
    b[0] = header[0];
    b[1] = header[1];
    geometry_msgs::msg::Twist t;
    EXPECT_FALSE(dds::validate(mm, b.data(), b.size(), false));
    EXPECT_FALSE(dds::deserialize(mm, b.data(), b.size(), &t, nullptr));
  }
  // Options are ignored, whatever a writer puts there (Cyclone writes the padding count).
  Bytes b = sample("control_mode_11").bytes;
  b[3] = 3;
  EXPECT_TRUE(dds::validate(wire::members<corvan_msgs::msg::ControlMode>(), b.data(), b.size(), false));
}

TEST(CdrGolden, every_truncation_of_every_sample_is_rejected)
{
  size_t checked = 0;
  for (const auto & s : samples()) {
    SCOPED_TRACE(s.name);
    const auto * mm = wire::members_for(s.type);
    wire::AnyMessage msg(mm);
    for (size_t n = 0; n < s.bytes.size(); ++n) {
      Bytes cut(s.bytes.begin(), s.bytes.begin() + static_cast<long>(n));
      EXPECT_FALSE(dds::validate(mm, cut.data(), cut.size(), false)) << n;
      EXPECT_FALSE(dds::deserialize(mm, cut.data(), cut.size(), msg.get(), nullptr)) << n;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000u);
}

TEST(CdrGolden, forged_lengths_are_rejected_without_allocating_for_them)
{
  struct Forgery
  {
    const char * sample;
    size_t offset;  // of a u32 length or count in the sample
  };
  const Forgery forgeries[] = {
    {"set_control_mode_response_ok", 8},  // string length
    {"parameter_event_new", 12},          // node name length
    {"parameter_event_new", 32},          // new_parameters count
    {"get_parameters_request", 4},        // names count
    {"get_parameters_response", 4},       // values count
    {"diagnostic_array_state", 20},       // status count
    {"participant_entities_info", 28},    // node_entities_info_seq count
  };
  for (const auto & f : forgeries) {
    const wire::Sample & s = sample(f.sample);
    const auto * mm = wire::members_for(s.type);
    for (uint32_t claim : {0xFFFFFFFFu, 0x80000000u, 0x10000000u, 0x00100000u,
        static_cast<uint32_t>(s.bytes.size())})
    {
      SCOPED_TRACE(std::string(f.sample) + " claims " + std::to_string(claim));
      Bytes b = s.bytes;
      put_u32(b, f.offset, claim);
      wire::AnyMessage msg(mm);
      g_largest_allocation = 0;
      EXPECT_FALSE(dds::validate(mm, b.data(), b.size(), false));
      EXPECT_FALSE(dds::deserialize(mm, b.data(), b.size(), msg.get(), nullptr));
      EXPECT_LT(g_largest_allocation.load(), 64 * 1024u);
    }
  }
}

TEST(CdrGolden, strings_must_end_in_nul_and_respect_their_bound)
{
  const auto * mm = wire::members<corvan_msgs::srv::SetControlMode::Response>();
  Bytes b = sample("set_control_mode_response_ok").bytes;
  b.back() = '!';
  EXPECT_FALSE(dds::validate(mm, b.data(), b.size(), false));

  // Length 0 is not what a writer sends, but rmw reads it as the empty string.
  Bytes empty = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  corvan_msgs::srv::SetControlMode::Response r;
  r.message = "stale";
  ASSERT_TRUE(dds::deserialize(mm, empty.data(), empty.size(), &r, nullptr));
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.message, "");

  // node_name is string<=256 in NodeEntitiesInfo.
  rmw_dds_common::msg::ParticipantEntitiesInfo info;
  info.node_entities_info_seq.resize(1);
  info.node_entities_info_seq[0].node_name = std::string(256, 'n');
  const auto * pmm = wire::members<rmw_dds_common::msg::ParticipantEntitiesInfo>();
  Bytes ok = wire::encode(pmm, &info);
  EXPECT_TRUE(dds::validate(pmm, ok.data(), ok.size(), false));
  info.node_entities_info_seq[0].node_name += 'n';
  Bytes too_long = wire::encode(pmm, &info);
  EXPECT_FALSE(dds::validate(pmm, too_long.data(), too_long.size(), false));
}

TEST(CdrGolden, type_names_follow_the_dds_convention)
{
  EXPECT_EQ(
    dds::dds_type_name(wire::members<geometry_msgs::msg::Twist>()),
    "geometry_msgs::msg::dds_::Twist_");
  EXPECT_EQ(
    dds::dds_type_name(wire::members<corvan_msgs::srv::SetControlMode::Response>()),
    "corvan_msgs::srv::dds_::SetControlMode_Response_");
  EXPECT_EQ(dds::ros_type_name("geometry_msgs::msg::dds_::Twist_"), "geometry_msgs/msg/Twist");
  EXPECT_EQ(
    dds::ros_type_name("corvan_msgs::srv::dds_::SetControlMode_Request_"),
    "corvan_msgs/srv/SetControlMode_Request");
  EXPECT_EQ(dds::ros_type_name("DDS::ParticipantBuiltinTopicData"), "");
  EXPECT_EQ(dds::ros_type_name("geometry_msgs::msg::dds_::Twist"), "");
  EXPECT_EQ(dds::ros_type_name("::dds_::X_"), "");
}

}  // namespace
