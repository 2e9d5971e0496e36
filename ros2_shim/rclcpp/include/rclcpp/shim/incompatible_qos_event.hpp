// Incompatible-QoS reports of one publisher or subscription, raised on the middleware's thread
// and handled on an executor's, as rclcpp runs its QoS event handlers as waitables of the
// endpoint's callback group. The middleware thread only records the report and wakes the
// node's executors: it never runs user code or logs, so it cannot wait for anything an
// executor, a log call or process exit holds.
#ifndef RCLCPP__SHIM__INCOMPATIBLE_QOS_EVENT_HPP_
#define RCLCPP__SHIM__INCOMPATIBLE_QOS_EVENT_HPP_

#include <functional>
#include <memory>
#include <mutex>

#include "rclcpp/qos_event.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rclcpp/shim/wait_notifier.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace shim
{

class RCLCPP_PUBLIC IncompatibleQosEvent
{
public:
  using Handler = std::function<void (QOSIncompatibleQoSStatus &)>;

  IncompatibleQosEvent(Handler handler, std::shared_ptr<WakeTarget> wake);

  /// Middleware thread: record a report and wake the executors of the endpoint's node.
  void raise(const IncompatibleQosStatus & status);

  /// The transport callback that raises `event` for as long as it exists (null: none).
  static IncompatibleQosCallback raiser(const std::shared_ptr<IncompatibleQosEvent> & event);

  /// A report is waiting to be taken.
  bool is_ready() const;

  /// Executor: the status as of the last report, its change counting every report since the
  /// previous take (as rmw resets it when the status is read); false when none is waiting.
  bool take(QOSIncompatibleQoSStatus & status);

  /// Executor: run the handler on a taken status.
  void execute(QOSIncompatibleQoSStatus & status) const {handler_(status);}

private:
  Handler handler_;
  std::shared_ptr<WakeTarget> wake_;
  mutable std::mutex mutex_;
  bool pending_{false};
  QOSIncompatibleQoSStatus status_{0, 0, RMW_QOS_POLICY_INVALID};
};

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__INCOMPATIBLE_QOS_EVENT_HPP_
