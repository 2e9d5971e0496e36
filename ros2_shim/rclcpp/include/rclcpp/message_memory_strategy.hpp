#ifndef RCLCPP__MESSAGE_MEMORY_STRATEGY_HPP_
#define RCLCPP__MESSAGE_MEMORY_STRATEGY_HPP_

#include <memory>

#include "rclcpp/macros.hpp"

namespace rclcpp
{
namespace message_memory_strategy
{

/// Allocation policy of received messages; only the default (heap) strategy exists here.
template<typename MessageT, typename Alloc = std::allocator<void>>
class MessageMemoryStrategy
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(MessageMemoryStrategy)

  virtual ~MessageMemoryStrategy() = default;

  static SharedPtr create_default()
  {
    return std::make_shared<MessageMemoryStrategy<MessageT, Alloc>>();
  }

  virtual std::shared_ptr<MessageT> borrow_message()
  {
    return std::make_shared<MessageT>();
  }

  virtual void return_message(std::shared_ptr<MessageT> & msg)
  {
    msg.reset();
  }
};

}  // namespace message_memory_strategy
}  // namespace rclcpp

#endif  // RCLCPP__MESSAGE_MEMORY_STRATEGY_HPP_
