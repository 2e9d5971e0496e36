// LifecyclePublisher: a publisher that drops messages while its node is not active.
#ifndef RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_
#define RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/logging.hpp"
#include "rclcpp/publisher.hpp"

#include "rclcpp_lifecycle/managed_entity.hpp"

namespace rclcpp_lifecycle
{

/// A Publisher that publishes only while activated.
/**
 * While deactivated, publish() drops the message and warns once; the warning is armed again
 * by each activation. LifecycleNode activates its publishers in its default on_activate.
 */
template<typename MessageT, typename Alloc = std::allocator<void>>
class LifecyclePublisher : public SimpleManagedEntity,
  public rclcpp::Publisher<MessageT, Alloc>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(LifecyclePublisher)

  using MessageUniquePtr = typename rclcpp::Publisher<MessageT, Alloc>::MessageUniquePtr;

  /// Takes the arguments of rclcpp::Publisher's constructor; made by LifecycleNode.
  template<typename ... Args>
  explicit LifecyclePublisher(Args && ... args)
  : rclcpp::Publisher<MessageT, Alloc>(std::forward<Args>(args)...),
    should_log_(true),
    logger_(rclcpp::get_logger("LifecyclePublisher"))
  {
  }

  ~LifecyclePublisher() override {}

  /// Publishes the message if activated, otherwise drops it.
  virtual void
  publish(MessageUniquePtr msg)
  {
    if (!this->is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    rclcpp::Publisher<MessageT, Alloc>::publish(std::move(msg));
  }

  /// Publishes the message if activated, otherwise drops it.
  virtual void
  publish(const MessageT & msg)
  {
    if (!this->is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    rclcpp::Publisher<MessageT, Alloc>::publish(msg);
  }

  void
  on_activate() override
  {
    SimpleManagedEntity::on_activate();
    should_log_ = true;
  }

private:
  void
  log_publisher_not_enabled()
  {
    if (!should_log_) {
      return;
    }
    RCLCPP_WARN(
      logger_,
      "Trying to publish message on the topic '%s', but the publisher is not activated",
      this->get_topic_name());
    should_log_ = false;
  }

  bool should_log_ = true;
  rclcpp::Logger logger_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_
