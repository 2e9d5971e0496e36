#include "entity.hpp"

#include <atomic>
#include <string>
#include <utility>

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

std::atomic<int> g_endpoints_before_failure{-1};

/// True when the endpoint about to be created is the one a test wants refused.
bool refuse_next_endpoint()
{
  int left = g_endpoints_before_failure.load();
  while (left >= 0) {
    if (g_endpoints_before_failure.compare_exchange_weak(left, left - 1)) {
      return left == 0;
    }
  }
  return false;
}

}  // namespace

Entity::Entity(
  const Participant & participant, dds_entity_t handle, const char * what,
  const std::string & name)
{
  check_created(handle, what, name);
  participant_ = &participant;
  handle_ = handle;
}

Entity::Entity(Entity && other) noexcept
: participant_(other.participant_), handle_(std::exchange(other.handle_, 0))
{}

Entity & Entity::operator=(Entity && other) noexcept
{
  if (this != &other) {
    reset();
    participant_ = other.participant_;
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void Entity::reset()
{
  const dds_entity_t handle = std::exchange(handle_, 0);
  if (handle <= 0) {
    return;
  }
  Participant::Use use(*participant_);
  if (use) {
    dds_delete(handle);
  }
}

dds_entity_t create_reader(
  dds_entity_t participant, dds_entity_t topic, const dds_qos_t * qos,
  const dds_listener_t * listener)
{
  if (refuse_next_endpoint()) {
    return DDS_RETCODE_ERROR;
  }
  return dds_create_reader(participant, topic, qos, listener);
}

dds_entity_t create_writer(
  dds_entity_t participant, dds_entity_t topic, const dds_qos_t * qos,
  const dds_listener_t * listener)
{
  if (refuse_next_endpoint()) {
    return DDS_RETCODE_ERROR;
  }
  return dds_create_writer(participant, topic, qos, listener);
}

void fail_endpoints_after(int count)
{
  g_endpoints_before_failure.store(count < 0 ? -1 : count);
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
