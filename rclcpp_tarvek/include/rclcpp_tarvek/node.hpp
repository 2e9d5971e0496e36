#ifndef RCLCPP_TARVEK__NODE_HPP_
#define RCLCPP_TARVEK__NODE_HPP_

#include <memory>
#include <string>

#include "diagnostic_updater/diagnostic_updater.hpp"
#include "rclcpp/rclcpp.hpp"

#include "rclcpp_tarvek/visibility_control.hpp"

namespace rclcpp_tarvek
{

/// An rclcpp::Node that reports its health on "/diagnostics" without any set-up by the
/// derived node.
/**
 * Robot nodes derive from this class instead of rclcpp::Node so that every one of them
 * publishes the same "<node>: State" status (hardware id "none", level OK, message
 * "Operational", one pair "Operational" = "True") once per updater period. A derived node
 * extends that status through UpdateCustomDiagnostics() and may set up diagnostics of its own
 * in InitializeCustomDiagnostics(), which it calls from its own constructor.
 *
 * The constructor and destructor are defined here so that they compile into the library of
 * the derived node; the diagnostics operations live in librclcpp_tarvek.
 *
 * Threading: the class takes no lock. The "State" task runs on the thread that services the
 * node's default callback group; DisableDiagnostics() must be called from that thread or
 * while the node is not spun.
 */
class Node : public rclcpp::Node
{
public:
  /// Build the node, its diagnostics updater (period 1.0 s) and the default "State" task.
  /**
   * The period can be overridden through the node parameter "diagnostic_updater.period".
   * Exceptions of rclcpp::Node or of the updater (for instance a "diagnostic_updater.period"
   * override that is not a double) leave the constructor; nothing of the node remains.
   *
   * InitializeCustomDiagnostics() is called last, but since the derived part of the object
   * does not exist yet, only this class's empty version runs here.
   */
  Node(const std::string & node_name, const rclcpp::NodeOptions & options)
  : rclcpp::Node(node_name, options),
    updater_(std::make_shared<diagnostic_updater::Updater>(this, 1.0))
  {
    InitializeDefaultDiagnostics();
    InitializeCustomDiagnostics();
  }

  /// Release the updater (stopping its timer and publisher) before the rclcpp::Node part goes.
  ~Node() override
  {
    updater_.reset();
  }

  /// Hook for a derived node's own diagnostic set-up; does nothing here.
  RCLCPP_TARVEK_PUBLIC
  virtual void InitializeCustomDiagnostics();

  /// Hook to extend the "State" status; does nothing here.
  /**
   * Called last by UpdateDefaultDiagnostics(), so an override finds the "Operational" pair
   * and the OK summary already in `stat`; it may append pairs and replace the summary.
   */
  RCLCPP_TARVEK_PUBLIC
  virtual void UpdateCustomDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat);

  /// Set the hardware id "none" and register the "State" task. Called once, by the constructor.
  /**
   * The hardware id keeps the updater from warning about a missing one. After
   * DisableDiagnostics() there is no updater and this does nothing.
   */
  RCLCPP_TARVEK_PUBLIC
  void InitializeDefaultDiagnostics();

  /// Fill the "State" status: pair "Operational" = "True", summary OK "Operational", then
  /// UpdateCustomDiagnostics().
  RCLCPP_TARVEK_PUBLIC
  void UpdateDefaultDiagnostics(diagnostic_updater::DiagnosticStatusWrapper & stat);

  /// Drop the updater for good: no further status is published, not even a final one.
  /**
   * Calling it again has no effect; there is no way to enable diagnostics again.
   */
  RCLCPP_TARVEK_PUBLIC
  void DisableDiagnostics();

private:
  std::shared_ptr<diagnostic_updater::Updater> updater_;
};

}  // namespace rclcpp_tarvek

#endif  // RCLCPP_TARVEK__NODE_HPP_
