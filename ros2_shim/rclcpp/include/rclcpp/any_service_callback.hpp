// Stores a service callback of any accepted form.
#ifndef RCLCPP__ANY_SERVICE_CALLBACK_HPP_
#define RCLCPP__ANY_SERVICE_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rclcpp/function_traits.hpp"
#include "rmw/types.h"

namespace rclcpp
{

template<typename ServiceT>
class Service;

namespace detail
{
template<typename T>
struct service_always_false : std::false_type {};

template<typename T>
bool is_null_callback(const T & callback)
{
  if constexpr (std::is_pointer<T>::value) {
    return callback == nullptr;
  } else if constexpr (std::is_constructible<bool, const T &>::value) {
    return !static_cast<bool>(callback);
  } else {
    (void)callback;
    return false;
  }
}
}  // namespace detail

/// Forms (matched on exact parameter types, by-value const allowed):
///  (shared_ptr<Request>, shared_ptr<Response>) and
///  (shared_ptr<rmw_request_id_t>, shared_ptr<Request>, shared_ptr<Response>) reply when the
///  callback returns; (shared_ptr<rmw_request_id_t>, shared_ptr<Request>) and
///  (shared_ptr<Service<S>>, shared_ptr<rmw_request_id_t>, shared_ptr<Request>) reply later
///  through Service::send_response.
template<typename ServiceT>
class AnyServiceCallback
{
public:
  using SharedRequest = std::shared_ptr<typename ServiceT::Request>;
  using SharedResponse = std::shared_ptr<typename ServiceT::Response>;
  using SharedHeader = std::shared_ptr<rmw_request_id_t>;
  /// Returns the response to send, or null for deferred forms.
  using Dispatch = std::function<SharedResponse(
        const std::shared_ptr<Service<ServiceT>> &, const SharedHeader &, const SharedRequest &)>;

  template<typename CallbackT>
  void set(CallbackT && callback)
  {
    if (detail::is_null_callback(callback)) {
      throw std::invalid_argument("AnyServiceCallback::set(): callback cannot be nullptr");
    }
    using Traits = function_traits::function_traits<std::decay_t<CallbackT>>;
    using Request = typename ServiceT::Request;
    using Response = typename ServiceT::Response;
    auto cb = std::decay_t<CallbackT>(std::forward<CallbackT>(callback));
    if constexpr (
      Traits::arity == 2 &&
      std::is_same<std::decay_t<typename Traits::template argument_type<0>>,
      std::shared_ptr<Request>>::value)
    {
      dispatch_ = [cb = std::move(cb)](
        const std::shared_ptr<Service<ServiceT>> &, const SharedHeader &,
        const SharedRequest & request) mutable -> SharedResponse {
          auto response = std::make_shared<Response>();
          cb(request, response);
          return response;
        };
    } else if constexpr (
      Traits::arity == 3 &&
      std::is_same<std::decay_t<typename Traits::template argument_type<0>>,
      SharedHeader>::value)
    {
      dispatch_ = [cb = std::move(cb)](
        const std::shared_ptr<Service<ServiceT>> &, const SharedHeader & header,
        const SharedRequest & request) mutable -> SharedResponse {
          auto response = std::make_shared<Response>();
          cb(header, request, response);
          return response;
        };
    } else if constexpr (
      Traits::arity == 2 &&
      std::is_same<std::decay_t<typename Traits::template argument_type<0>>,
      SharedHeader>::value)
    {
      deferred_ = true;
      dispatch_ = [cb = std::move(cb)](
        const std::shared_ptr<Service<ServiceT>> &, const SharedHeader & header,
        const SharedRequest & request) mutable -> SharedResponse {
          cb(header, request);
          return nullptr;
        };
    } else if constexpr (
      Traits::arity == 3 &&
      std::is_same<std::decay_t<typename Traits::template argument_type<0>>,
      std::shared_ptr<Service<ServiceT>>>::value)
    {
      deferred_ = true;
      dispatch_ = [cb = std::move(cb)](
        const std::shared_ptr<Service<ServiceT>> & service, const SharedHeader & header,
        const SharedRequest & request) mutable -> SharedResponse {
          cb(service, header, request);
          return nullptr;
        };
    } else {
      static_assert(
        detail::service_always_false<CallbackT>::value, "unsupported service callback form");
    }
  }

  SharedResponse dispatch(
    const std::shared_ptr<Service<ServiceT>> & service, const SharedHeader & header,
    const SharedRequest & request)
  {
    return dispatch_(service, header, request);
  }

  bool is_deferred() const {return deferred_;}

private:
  Dispatch dispatch_;
  bool deferred_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SERVICE_CALLBACK_HPP_
