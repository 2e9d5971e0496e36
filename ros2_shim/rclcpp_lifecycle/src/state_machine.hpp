// The managed-node state machine as a plain table: states, transitions, current state.
// Kept free of any node so that the table itself is easy to reason about; LifecycleNode drives
// it, runs the callbacks and publishes the events.
#ifndef RCLCPP_LIFECYCLE__STATE_MACHINE_HPP_
#define RCLCPP_LIFECYCLE__STATE_MACHINE_HPP_

#include <cstdint>
#include <string>
#include <vector>

namespace rclcpp_lifecycle
{
namespace detail
{

/// One registered edge: from `start` via transition `id`/`label` to `goal`.
struct Edge
{
  uint8_t id;
  std::string label;
  uint8_t start;
  uint8_t goal;
};

/// The default managed-node state machine; starts in unconfigured.
class StateMachine
{
public:
  StateMachine();

  uint8_t current() const {return current_;}

  /// Label of a state id ("unknown" for ids that are not states).
  static std::string label_of(uint8_t state_id);

  /// The eleven states (unknown, four primary, six transition states) in id order.
  static std::vector<uint8_t> state_ids();

  /// Edges leaving `state`, in registration order.
  std::vector<Edge> edges_from(uint8_t state) const;

  /// Every registered edge, in registration order.
  const std::vector<Edge> & edges() const {return edges_;}

  const Edge * find_by_id(uint8_t state, uint8_t id) const;
  const Edge * find_by_label(uint8_t state, const std::string & label) const;

  /// Moves along the edge; the edge must leave the current state.
  void follow(const Edge & edge) {current_ = edge.goal;}

private:
  void add(uint8_t id, const std::string & label, uint8_t start, uint8_t goal);

  std::vector<Edge> edges_;
  uint8_t current_;
};

extern const char * const kSuccessLabel;
extern const char * const kFailureLabel;
extern const char * const kErrorLabel;

}  // namespace detail
}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__STATE_MACHINE_HPP_
