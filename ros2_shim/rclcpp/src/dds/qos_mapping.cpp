#include "qos_mapping.hpp"

#include <cstdint>
#include <limits>
#include <string>

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

bool unspecified(const rmw_time_t & t) {return t.sec == 0 && t.nsec == 0;}

bool infinite(const rmw_time_t & t)
{
  // Anything at or beyond the representable range means "never".
  constexpr uint64_t max_sec = static_cast<uint64_t>(INT64_MAX / 1000000000LL);
  constexpr uint64_t max_nsec = static_cast<uint64_t>(INT64_MAX % 1000000000LL);
  return t.sec > max_sec || (t.sec == max_sec && t.nsec >= max_nsec);
}

dds_duration_t to_dds(const rmw_time_t & t)
{
  if (infinite(t)) {
    return DDS_INFINITY;
  }
  return static_cast<dds_duration_t>(t.sec) * 1000000000LL + static_cast<dds_duration_t>(t.nsec);
}

rmw_time_t from_dds(dds_duration_t d)
{
  if (d == DDS_INFINITY) {
    return RMW_DURATION_INFINITE;
  }
  return rmw_time_t{
    static_cast<uint64_t>(d / 1000000000LL), static_cast<uint64_t>(d % 1000000000LL)};
}

int32_t history_depth(const rmw_qos_profile_t & profile)
{
  if (profile.depth == 0) {
    return 1;
  }
  if (profile.depth > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(profile.depth);
}

}  // namespace

QosPtr to_dds_qos(const rmw_qos_profile_t & profile, EndpointKind kind)
{
  QosPtr qos(dds_create_qos());
  dds_qos_t * q = qos.get();

  const bool keep_all = profile.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL;
  const int32_t depth = keep_all ? DDS_LENGTH_UNLIMITED : history_depth(profile);
  dds_qset_history(q, keep_all ? DDS_HISTORY_KEEP_ALL : DDS_HISTORY_KEEP_LAST, depth);

  if (profile.reliability == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT) {
    dds_qset_reliability(q, DDS_RELIABILITY_BEST_EFFORT, 0);
  } else {
    dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  }

  if (profile.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
    dds_qset_durability(q, DDS_DURABILITY_TRANSIENT_LOCAL);
    dds_qset_durability_service(
      q, 0, keep_all ? DDS_HISTORY_KEEP_ALL : DDS_HISTORY_KEEP_LAST, depth,
      DDS_LENGTH_UNLIMITED, DDS_LENGTH_UNLIMITED, DDS_LENGTH_UNLIMITED);
  } else {
    dds_qset_durability(q, DDS_DURABILITY_VOLATILE);
  }

  if (!unspecified(profile.deadline)) {
    dds_qset_deadline(q, to_dds(profile.deadline));
  }
  if (!unspecified(profile.lifespan)) {
    dds_qset_lifespan(q, to_dds(profile.lifespan));
  }
  const dds_duration_t lease = unspecified(profile.liveliness_lease_duration) ?
    DDS_INFINITY : to_dds(profile.liveliness_lease_duration);
  dds_qset_liveliness(
    q, profile.liveliness == RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC ?
    DDS_LIVELINESS_MANUAL_BY_TOPIC : DDS_LIVELINESS_AUTOMATIC, lease);

  if (kind == EndpointKind::Writer) {
    dds_qset_writer_data_lifecycle(q, false);
  }
  const dds_data_representation_id_t xcdr1 = DDS_DATA_REPRESENTATION_XCDR1;
  dds_qset_data_representation(q, 1, &xcdr1);
  return qos;
}

rmw_qos_profile_t resolved_qos(const rmw_qos_profile_t & requested)
{
  rmw_qos_profile_t qos = requested;
  if (qos.history != RMW_QOS_POLICY_HISTORY_KEEP_ALL) {
    qos.history = RMW_QOS_POLICY_HISTORY_KEEP_LAST;
    qos.depth = static_cast<size_t>(history_depth(requested));
  }
  qos.reliability = requested.reliability == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT ?
    RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT : RMW_QOS_POLICY_RELIABILITY_RELIABLE;
  qos.durability = requested.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL ?
    RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL : RMW_QOS_POLICY_DURABILITY_VOLATILE;
  qos.deadline = unspecified(requested.deadline) ?
    rmw_time_t RMW_DURATION_INFINITE : from_dds(to_dds(requested.deadline));
  qos.lifespan = unspecified(requested.lifespan) ?
    rmw_time_t RMW_DURATION_INFINITE : from_dds(to_dds(requested.lifespan));
  qos.liveliness = requested.liveliness == RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC ?
    RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC : RMW_QOS_POLICY_LIVELINESS_AUTOMATIC;
  qos.liveliness_lease_duration = unspecified(requested.liveliness_lease_duration) ?
    rmw_time_t RMW_DURATION_INFINITE : from_dds(to_dds(requested.liveliness_lease_duration));
  return qos;
}

std::string policy_name(uint32_t dds_policy_id)
{
  switch (dds_policy_id) {
    case DDS_DURABILITY_QOS_POLICY_ID: return "DURABILITY_QOS_POLICY";
    case DDS_DEADLINE_QOS_POLICY_ID: return "DEADLINE_QOS_POLICY";
    case DDS_LIVELINESS_QOS_POLICY_ID: return "LIVELINESS_QOS_POLICY";
    case DDS_RELIABILITY_QOS_POLICY_ID: return "RELIABILITY_QOS_POLICY";
    case DDS_HISTORY_QOS_POLICY_ID: return "HISTORY_QOS_POLICY";
    case DDS_LIFESPAN_QOS_POLICY_ID: return "LIFESPAN_QOS_POLICY";
    default: return "INVALID_QOS_POLICY";
  }
}

std::string user_data_value(const dds_qos_t * qos, const std::string & key)
{
  void * data = nullptr;
  size_t size = 0;
  if (!qos || !dds_qget_userdata(qos, &data, &size) || !data) {
    return {};
  }
  const std::string text(static_cast<const char *>(data), size);
  dds_free(data);
  const std::string needle = key + "=";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string::npos) {
      end = text.size();
    }
    if (text.compare(pos, needle.size(), needle) == 0) {
      return text.substr(pos + needle.size(), end - pos - needle.size());
    }
    pos = end + 1;
  }
  return {};
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
