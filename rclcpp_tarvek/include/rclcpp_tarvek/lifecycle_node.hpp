#ifndef RCLCPP_TARVEK__LIFECYCLE_NODE_HPP_
#define RCLCPP_TARVEK__LIFECYCLE_NODE_HPP_

#include <memory>
#include <string>

#include "diagnostic_updater/diagnostic_updater.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

#include "rclcpp_tarvek/visibility_control.hpp"

namespace rclcpp_tarvek
{

/// A managed (lifecycle) node that reports its current lifecycle state on "/diagnostics".
/**
 * The managed counterpart of rclcpp_tarvek::Node: same updater, same "State" task, same
 * hooks, but the default status carries the pairs "LifecycleStateId" (decimal) and
 * "LifecycleStateLabel", and the label as message, at level OK in every state. The level
 * stays OK because a node that is merely unconfigured or inactive is not faulty; monitors
 * read the state from the values.
 *
 * The updater's timer and publisher are ordinary node entities, not lifecycle-managed ones,
 * so the status is published in every state, from unconfigured to finalized. The transition
 * callbacks are inherited unchanged.
 *
 * The constructor and destructor are defined here so that they compile into the library of
 * the derived node; the diagnostics operations live in librclcpp_tarvek.
 */
class LifecycleNode : public rclcpp_lifecycle::LifecycleNode
{
public:
  /// Build the managed node, its diagnostics updater (period 1.0 s) and the "State" task.
  /**
   * Mirrors rclcpp_tarvek::Node: the period can be overridden through
   * "diagnostic_updater.period", exceptions leave the constructor, and only this class's
   * (empty) InitializeCustomDiagnostics() runs here.
   */
  LifecycleNode(const std::string & node_name, const rclcpp::NodeOptions & options)
  : rclcpp_lifecycle::LifecycleNode(node_name, options),
    updater_(std::make_shared<diagnostic_updater::Updater>(this, 1.0))
  {
    InitializeDefaultDiagnostics();
    InitializeCustomDiagnostics();
  }

  /// Release the updater before the rclcpp_lifecycle::LifecycleNode part goes.
  ~LifecycleNode() override
  {
    updater_.reset();
  }

  /// Hook for a derived node's own diagnostic set-up; does nothing here.
  RCLCPP_TARVEK_PUBLIC
  virtual void InitializeCustomDiagnostics();

  /// Hook to extend the "State" status; does nothing here.
  /**
   * Called last by UpdateDefaultDiagnostics(), so an override finds both lifecycle pairs and
   * the summary already in `stat`.
   */
  RCLCPP_TARVEK_PUBLIC
  virtual void UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat);

  /// Set the hardware id "none" and register the "State" task. Called once, by the constructor.
  /** After DisableDiagnostics() there is no updater and this does nothing. */
  RCLCPP_TARVEK_PUBLIC
  void InitializeDefaultDiagnostics();

  /// Fill the "State" status from the current lifecycle state, then UpdateCustomDiagnostics().
  RCLCPP_TARVEK_PUBLIC
  void UpdateDefaultDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat);

  /// Drop the updater for good: no further status is published. A second call does nothing.
  RCLCPP_TARVEK_PUBLIC
  void DisableDiagnostics();

private:
  std::shared_ptr<diagnostic_updater::Updater> updater_;
};

}  // namespace rclcpp_tarvek

#endif  // RCLCPP_TARVEK__LIFECYCLE_NODE_HPP_
