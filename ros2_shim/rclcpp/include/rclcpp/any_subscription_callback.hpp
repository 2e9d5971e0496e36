// Stores a subscription callback of any accepted form and calls it with a shared message.
#ifndef RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
#define RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rclcpp/function_traits.hpp"
#include "rclcpp/message_info.hpp"

namespace rclcpp
{

namespace detail
{
template<typename T>
struct always_false : std::false_type {};

template<typename MessageT>
[[deprecated("use 'void(std::shared_ptr<const MessageT>)' instead")]]
inline void shared_ptr_callback_form() {}

template<typename MessageT>
[[deprecated("use 'void(std::shared_ptr<const MessageT>, const rclcpp::MessageInfo &)' instead")]]
inline void shared_ptr_with_info_callback_form() {}
}  // namespace detail

/// The form is chosen from the callable's exact first parameter type:
/// const MessageT &, std::unique_ptr<MessageT>, std::shared_ptr<const MessageT> (by value or
/// const reference) or std::shared_ptr<MessageT> (deprecated, as in Humble), each optionally
/// followed by const rclcpp::MessageInfo &.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class AnySubscriptionCallback
{
public:
  using Dispatch = std::function<void (const std::shared_ptr<const MessageT> &, const MessageInfo &)>;

  template<typename CallbackT>
  AnySubscriptionCallback & set(CallbackT callback)
  {
    using Traits = function_traits::function_traits<std::decay_t<CallbackT>>;
    static_assert(
      Traits::arity == 1 || Traits::arity == 2,
      "subscription callbacks take the message and optionally const rclcpp::MessageInfo &");
    using Arg = std::decay_t<typename Traits::template argument_type<0>>;
    constexpr bool with_info = Traits::arity == 2;
    if constexpr (with_info) {
      static_assert(
        std::is_same<
          std::decay_t<typename Traits::template argument_type<Traits::arity - 1>>,
          MessageInfo>::value,
        "the second parameter of a subscription callback must be const rclcpp::MessageInfo &");
    }

    if constexpr (std::is_same<Arg, MessageT>::value) {
      dispatch_ = [cb = std::move(callback)](
        const std::shared_ptr<const MessageT> & msg, const MessageInfo & info) mutable {
          if constexpr (Traits::arity == 2) {cb(*msg, info);} else {(void)info; cb(*msg);}
        };
    } else if constexpr (std::is_same<Arg, std::shared_ptr<const MessageT>>::value) {
      dispatch_ = [cb = std::move(callback)](
        const std::shared_ptr<const MessageT> & msg, const MessageInfo & info) mutable {
          if constexpr (Traits::arity == 2) {cb(msg, info);} else {(void)info; cb(msg);}
        };
    } else if constexpr (std::is_same<Arg, std::unique_ptr<MessageT>>::value) {
      dispatch_ = [cb = std::move(callback)](
        const std::shared_ptr<const MessageT> & msg, const MessageInfo & info) mutable {
          // The sample may be shared with other subscriptions: the callback owns a copy.
          auto own = std::make_unique<MessageT>(*msg);
          if constexpr (Traits::arity == 2) {cb(std::move(own), info);} else {
            (void)info;
            cb(std::move(own));
          }
        };
    } else if constexpr (std::is_same<Arg, std::shared_ptr<MessageT>>::value) {
      if constexpr (with_info) {
        detail::shared_ptr_with_info_callback_form<MessageT>();
      } else {
        detail::shared_ptr_callback_form<MessageT>();
      }
      dispatch_ = [cb = std::move(callback)](
        const std::shared_ptr<const MessageT> & msg, const MessageInfo & info) mutable {
          auto own = std::make_shared<MessageT>(*msg);
          if constexpr (Traits::arity == 2) {cb(own, info);} else {(void)info; cb(own);}
        };
    } else {
      static_assert(
        detail::always_false<CallbackT>::value,
        "unsupported subscription callback parameter type");
    }
    return *this;
  }

  void dispatch(const std::shared_ptr<const MessageT> & message, const MessageInfo & info)
  {
    dispatch_(message, info);
  }

private:
  Dispatch dispatch_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
