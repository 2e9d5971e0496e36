#include "state_machine.hpp"

#include <string>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"

namespace rclcpp_lifecycle
{
namespace detail
{

const char * const kSuccessLabel = "transition_success";
const char * const kFailureLabel = "transition_failure";
const char * const kErrorLabel = "transition_error";

namespace
{
using S = lifecycle_msgs::msg::State;
using T = lifecycle_msgs::msg::Transition;
}  // namespace

StateMachine::StateMachine()
: current_(S::PRIMARY_STATE_UNCONFIGURED)
{
  // Registration order decides the order of the available transitions reported per state.
  add(T::TRANSITION_CONFIGURE, "configure",
    S::PRIMARY_STATE_UNCONFIGURED, S::TRANSITION_STATE_CONFIGURING);
  add(T::TRANSITION_ON_CONFIGURE_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_CONFIGURING, S::PRIMARY_STATE_INACTIVE);
  add(T::TRANSITION_ON_CONFIGURE_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_CONFIGURING, S::PRIMARY_STATE_UNCONFIGURED);
  add(T::TRANSITION_ON_CONFIGURE_ERROR, kErrorLabel,
    S::TRANSITION_STATE_CONFIGURING, S::TRANSITION_STATE_ERRORPROCESSING);

  add(T::TRANSITION_CLEANUP, "cleanup",
    S::PRIMARY_STATE_INACTIVE, S::TRANSITION_STATE_CLEANINGUP);
  add(T::TRANSITION_ON_CLEANUP_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_CLEANINGUP, S::PRIMARY_STATE_UNCONFIGURED);
  add(T::TRANSITION_ON_CLEANUP_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_CLEANINGUP, S::PRIMARY_STATE_INACTIVE);
  add(T::TRANSITION_ON_CLEANUP_ERROR, kErrorLabel,
    S::TRANSITION_STATE_CLEANINGUP, S::TRANSITION_STATE_ERRORPROCESSING);

  add(T::TRANSITION_ACTIVATE, "activate",
    S::PRIMARY_STATE_INACTIVE, S::TRANSITION_STATE_ACTIVATING);
  add(T::TRANSITION_ON_ACTIVATE_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_ACTIVATING, S::PRIMARY_STATE_ACTIVE);
  add(T::TRANSITION_ON_ACTIVATE_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_ACTIVATING, S::PRIMARY_STATE_INACTIVE);
  add(T::TRANSITION_ON_ACTIVATE_ERROR, kErrorLabel,
    S::TRANSITION_STATE_ACTIVATING, S::TRANSITION_STATE_ERRORPROCESSING);

  add(T::TRANSITION_DEACTIVATE, "deactivate",
    S::PRIMARY_STATE_ACTIVE, S::TRANSITION_STATE_DEACTIVATING);
  add(T::TRANSITION_ON_DEACTIVATE_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_DEACTIVATING, S::PRIMARY_STATE_INACTIVE);
  add(T::TRANSITION_ON_DEACTIVATE_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_DEACTIVATING, S::PRIMARY_STATE_ACTIVE);
  add(T::TRANSITION_ON_DEACTIVATE_ERROR, kErrorLabel,
    S::TRANSITION_STATE_DEACTIVATING, S::TRANSITION_STATE_ERRORPROCESSING);

  add(T::TRANSITION_UNCONFIGURED_SHUTDOWN, "shutdown",
    S::PRIMARY_STATE_UNCONFIGURED, S::TRANSITION_STATE_SHUTTINGDOWN);
  add(T::TRANSITION_INACTIVE_SHUTDOWN, "shutdown",
    S::PRIMARY_STATE_INACTIVE, S::TRANSITION_STATE_SHUTTINGDOWN);
  add(T::TRANSITION_ACTIVE_SHUTDOWN, "shutdown",
    S::PRIMARY_STATE_ACTIVE, S::TRANSITION_STATE_SHUTTINGDOWN);
  add(T::TRANSITION_ON_SHUTDOWN_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::PRIMARY_STATE_FINALIZED);
  add(T::TRANSITION_ON_SHUTDOWN_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::PRIMARY_STATE_FINALIZED);
  add(T::TRANSITION_ON_SHUTDOWN_ERROR, kErrorLabel,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::TRANSITION_STATE_ERRORPROCESSING);

  add(T::TRANSITION_ON_ERROR_SUCCESS, kSuccessLabel,
    S::TRANSITION_STATE_ERRORPROCESSING, S::PRIMARY_STATE_UNCONFIGURED);
  add(T::TRANSITION_ON_ERROR_FAILURE, kFailureLabel,
    S::TRANSITION_STATE_ERRORPROCESSING, S::PRIMARY_STATE_FINALIZED);
  add(T::TRANSITION_ON_ERROR_ERROR, kErrorLabel,
    S::TRANSITION_STATE_ERRORPROCESSING, S::PRIMARY_STATE_FINALIZED);
}

void StateMachine::add(uint8_t id, const std::string & label, uint8_t start, uint8_t goal)
{
  edges_.push_back(Edge{id, label, start, goal});
}

std::string StateMachine::label_of(uint8_t state_id)
{
  switch (state_id) {
    case S::PRIMARY_STATE_UNCONFIGURED: return "unconfigured";
    case S::PRIMARY_STATE_INACTIVE: return "inactive";
    case S::PRIMARY_STATE_ACTIVE: return "active";
    case S::PRIMARY_STATE_FINALIZED: return "finalized";
    case S::TRANSITION_STATE_CONFIGURING: return "configuring";
    case S::TRANSITION_STATE_CLEANINGUP: return "cleaningup";
    case S::TRANSITION_STATE_SHUTTINGDOWN: return "shuttingdown";
    case S::TRANSITION_STATE_ACTIVATING: return "activating";
    case S::TRANSITION_STATE_DEACTIVATING: return "deactivating";
    case S::TRANSITION_STATE_ERRORPROCESSING: return "errorprocessing";
    default: return "unknown";
  }
}

std::vector<uint8_t> StateMachine::state_ids()
{
  return {
    S::PRIMARY_STATE_UNKNOWN,
    S::PRIMARY_STATE_UNCONFIGURED,
    S::PRIMARY_STATE_INACTIVE,
    S::PRIMARY_STATE_ACTIVE,
    S::PRIMARY_STATE_FINALIZED,
    S::TRANSITION_STATE_CONFIGURING,
    S::TRANSITION_STATE_CLEANINGUP,
    S::TRANSITION_STATE_SHUTTINGDOWN,
    S::TRANSITION_STATE_ACTIVATING,
    S::TRANSITION_STATE_DEACTIVATING,
    S::TRANSITION_STATE_ERRORPROCESSING};
}

std::vector<Edge> StateMachine::edges_from(uint8_t state) const
{
  std::vector<Edge> out;
  for (const Edge & e : edges_) {
    if (e.start == state) {
      out.push_back(e);
    }
  }
  return out;
}

const Edge * StateMachine::find_by_id(uint8_t state, uint8_t id) const
{
  for (const Edge & e : edges_) {
    if (e.start == state && e.id == id) {
      return &e;
    }
  }
  return nullptr;
}

const Edge * StateMachine::find_by_label(uint8_t state, const std::string & label) const
{
  for (const Edge & e : edges_) {
    if (e.start == state && e.label == label) {
      return &e;
    }
  }
  return nullptr;
}

}  // namespace detail
}  // namespace rclcpp_lifecycle
