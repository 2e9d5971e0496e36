#include "participant.hpp"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

#include "cyclone_log.hpp"
#include "environment.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

void check_created(dds_entity_t entity, const char * what, const std::string & name)
{
  if (entity < 0) {
    throw std::runtime_error(
      std::string("could not create ") + what + " for '" + name + "': " +
      dds_strretcode(entity));
  }
}

rmw_gid_t guid_to_gid(const dds_guid_t & guid)
{
  rmw_gid_t gid{};
  gid.implementation_identifier = kImplementationIdentifier;
  static_assert(sizeof(guid.v) == 16, "DDSI GUIDs are 16 bytes");
  std::memcpy(gid.data, guid.v, sizeof(guid.v));
  return gid;
}

rmw_gid_t entity_gid(dds_entity_t entity)
{
  dds_guid_t guid{};
  if (dds_get_guid(entity, &guid) < 0) {
    rmw_gid_t gid{};
    gid.implementation_identifier = kImplementationIdentifier;
    return gid;
  }
  return guid_to_gid(guid);
}

Participant::Participant(size_t domain_id, const SecuritySettings & security)
: domain_id_(domain_id), security_(security)
{
  route_cyclone_log();
  if (domain_id > kMaxDomainId) {
    throw std::runtime_error(
      "failed to create the DDS participant: domain id " + std::to_string(domain_id) +
      " is out of range (0-" + std::to_string(kMaxDomainId) + ")");
  }
  const auto id = static_cast<dds_domainid_t>(domain_id);
  if (localhost_only()) {
    // Created before the participant so that the participant joins this configuration
    // rather than the one Cyclone would read from CYCLONEDDS_URI alone.
    const std::string config = localhost_domain_config();
    domain_ = dds_create_domain(id, config.c_str());
    if (domain_ < 0 && domain_ != DDS_RETCODE_PRECONDITION_NOT_MET) {
      throw std::runtime_error(
        std::string("failed to create the loopback-only DDS domain ") + std::to_string(id) +
        ": " + dds_strretcode(domain_));
    }
    if (domain_ < 0) {
      domain_ = 0;
    }
  }
  dds_qos_t * qos = dds_create_qos();
  configure_participant_qos(qos, security_);
  participant_ = dds_create_participant(id, qos, nullptr);
  dds_delete_qos(qos);
  if (participant_ < 0) {
    const dds_return_t rc = participant_;
    if (domain_ > 0) {
      dds_delete(domain_);
    }
    // With security, Cyclone has logged why (certificate, signature, plugin) just before.
    throw std::runtime_error(
      std::string("failed to create the DDS participant for domain ") + std::to_string(id) +
      (security_.directory.empty() ? std::string() :
      " with the DDS Security files in '" + security_.directory + "'") +
      ": " + dds_strretcode(rc));
  }
  gid_ = entity_gid(participant_);
  alive_ = true;
}

Participant::~Participant()
{
  close();
}

std::string Participant::next_endpoint_id()
{
  const uint32_t n = ++endpoint_counter_;
  char text[128];
  int used = 0;
  for (int i = 0; i < 12; ++i) {
    used += std::snprintf(text + used, sizeof(text) - used, "%02x.", gid_.data[i]);
  }
  std::snprintf(
    text + used, sizeof(text) - used, "%x.%x.%x.%x",
    (n >> 24) & 0xffu, (n >> 16) & 0xffu, (n >> 8) & 0xffu, n & 0xffu);
  return text;
}

void Participant::close()
{
  std::lock_guard<std::mutex> closing(close_mutex_);
  {
    // Waits for the calls in progress; every later Use finds the participant gone.
    std::unique_lock<std::shared_mutex> lock(lifetime_mutex_);
    if (!alive_) {
      return;
    }
    alive_ = false;
  }
  // Outside the lock: deleting waits for running listeners, and a listener may take a Use
  // (one that logs publishes to /rosout); it finds the participant gone and returns.
  dds_delete(participant_);
  if (domain_ > 0) {
    dds_delete(domain_);
  }
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
