// Ownership of the Cyclone entities an endpoint creates.
//
// An endpoint's readers and writers carry listeners whose argument is the endpoint itself, so
// they must be gone before the endpoint's memory is. An Entity deletes its Cyclone entity when
// it goes out of scope, which waits for a listener still running on it; an endpoint declares
// its Entity members last, so that they go first, and a constructor that throws halfway
// deletes what it had already created. Deletion happens under a Participant::Use: once the
// participant is closed, its entities are gone with it and nothing is left to delete.
#ifndef RCLCPP__SHIM__DDS__ENTITY_HPP_
#define RCLCPP__SHIM__DDS__ENTITY_HPP_

#include <memory>
#include <string>

#include "dds/dds.h"
#include "participant.hpp"

namespace rclcpp
{
namespace shim
{
namespace dds
{

class Entity
{
public:
  Entity() = default;
  /// Takes `handle` (a created entity); throws std::runtime_error naming `what` and `name`
  /// when it is an error code instead.
  Entity(
    const Participant & participant, dds_entity_t handle, const char * what,
    const std::string & name);
  ~Entity() {reset();}

  Entity(Entity && other) noexcept;
  Entity & operator=(Entity && other) noexcept;
  Entity(const Entity &) = delete;
  Entity & operator=(const Entity &) = delete;

  dds_entity_t get() const {return handle_;}
  explicit operator bool() const {return handle_ > 0;}

  /// Delete the entity now (waiting for its listener to return).
  void reset();

private:
  const Participant * participant_{nullptr};
  dds_entity_t handle_{0};
};

struct ListenerDeleter
{
  void operator()(dds_listener_t * listener) const {dds_delete_listener(listener);}
};
/// A listener being set up; Cyclone copies it into the entities created with it.
using ListenerPtr = std::unique_ptr<dds_listener_t, ListenerDeleter>;

/// dds_create_reader / dds_create_writer, which a test can make fail (see fail_endpoints_after).
dds_entity_t create_reader(
  dds_entity_t participant, dds_entity_t topic, const dds_qos_t * qos,
  const dds_listener_t * listener);
dds_entity_t create_writer(
  dds_entity_t participant, dds_entity_t topic, const dds_qos_t * qos,
  const dds_listener_t * listener);

/// Test hook: of the readers and writers created from now on, the first `count` succeed and
/// the next one fails with DDS_RETCODE_ERROR, as a refused security policy would; a negative
/// `count` turns that off again (the default).
void fail_endpoints_after(int count);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__ENTITY_HPP_
