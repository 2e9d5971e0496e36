// The process's Cyclone participant of one domain, and its lifetime.
//
// The participant is created once per domain and deleted at process exit, so that peers
// see this process's nodes leave at once instead of after a lease expires. Endpoints can
// outlive it (objects in static storage, threads still running at exit): every DDS call on
// an endpoint's entities is made under a Use, which reports whether the participant is
// still there and keeps it so for the duration of the call.
#ifndef RCLCPP__SHIM__DDS__PARTICIPANT_HPP_
#define RCLCPP__SHIM__DDS__PARTICIPANT_HPP_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "dds/dds.h"
#include "rmw/types.h"
#include "security.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

class Participant
{
public:
  /// Create the domain (loopback-only when ROS_LOCALHOST_ONLY=1) and the participant, secured
  /// when `security` has a keystore folder. Throws std::runtime_error when Cyclone refuses.
  Participant(size_t domain_id, const SecuritySettings & security);
  ~Participant();

  Participant(const Participant &) = delete;
  Participant & operator=(const Participant &) = delete;

  class Use
  {
  public:
    explicit Use(const Participant & p)
    : lock_(p.lifetime_mutex_), alive_(p.alive_) {}
    explicit operator bool() const {return alive_;}

  private:
    std::shared_lock<std::shared_mutex> lock_;
    bool alive_;
  };

  dds_entity_t handle() const {return participant_;}
  size_t domain_id() const {return domain_id_;}
  const SecuritySettings & security() const {return security_;}

  /// The 16-byte DDSI GUID of the participant, as a 24-byte gid.
  const rmw_gid_t & gid() const {return gid_;}

  /// A new "serviceid=/clientid=" value: the GUID prefix plus a counter.
  std::string next_endpoint_id();

  /// Delete the participant and everything in it; later Uses report it gone.
  void close();

private:
  size_t domain_id_;
  SecuritySettings security_;
  dds_entity_t domain_{0};
  dds_entity_t participant_{0};
  rmw_gid_t gid_{};
  std::atomic<uint32_t> endpoint_counter_{0};
  mutable std::shared_mutex lifetime_mutex_;
  bool alive_{false};
  std::mutex close_mutex_;  // a second close() returns only once the first has deleted
};

/// Throws std::runtime_error naming `what` and `name` when `entity` is an error code.
void check_created(dds_entity_t entity, const char * what, const std::string & name);

/// The GID of an entity (16-byte GUID, 8 zero bytes).
rmw_gid_t entity_gid(dds_entity_t entity);
rmw_gid_t guid_to_gid(const dds_guid_t & guid);

constexpr const char * kImplementationIdentifier = "rmw_cyclonedds_cpp";

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__PARTICIPANT_HPP_
