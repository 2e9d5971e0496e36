// Service clients.
#ifndef RCLCPP__CLIENT_HPP_
#define RCLCPP__CLIENT_HPP_

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/shim/transport.hpp"
#include "rclcpp/shim/type_support.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp
{

namespace node_interfaces
{
class NodeBaseInterface;
}  // namespace node_interfaces

namespace detail
{

/// A future together with the sequence number of its request; forwards the future API so
/// that it can be waited on (and passed to spin_until_future_complete) directly.
template<typename FutureT>
struct FutureAndRequestId
{
  FutureT future;
  int64_t request_id;

  FutureAndRequestId(FutureT impl, int64_t req_id)
  : future(std::move(impl)), request_id(req_id)
  {}

  operator FutureT &() {return this->future;}

  [[deprecated("FutureAndRequestId: use .future instead of an implicit conversion")]]
  operator FutureT() {return this->future;}

  auto get() {return this->future.get();}
  bool valid() const noexcept {return this->future.valid();}
  void wait() const {return this->future.wait();}

  template<class Rep, class Period>
  std::future_status wait_for(const std::chrono::duration<Rep, Period> & timeout_duration) const
  {
    return this->future.wait_for(timeout_duration);
  }

  template<class Clock, class Duration>
  std::future_status wait_until(const std::chrono::time_point<Clock, Duration> & timeout_time) const
  {
    return this->future.wait_until(timeout_time);
  }

  FutureAndRequestId(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId(const FutureAndRequestId & other) = delete;
  FutureAndRequestId & operator=(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId & operator=(const FutureAndRequestId & other) = delete;
  ~FutureAndRequestId() = default;
};

}  // namespace detail

class ClientBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ClientBase)

  /// `service_name` must already be expanded, remapped and validated.
  RCLCPP_PUBLIC
  ClientBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    const shim::ServiceType & type,
    const rmw_qos_profile_t & qos_profile);

  RCLCPP_PUBLIC
  virtual ~ClientBase();

  RCLCPP_PUBLIC
  const char * get_service_name() const;

  /// True if a server of this name and type exists now.
  RCLCPP_PUBLIC
  bool service_is_ready() const;

  /// Wait until a server exists; negative timeout = forever. False on timeout or shutdown.
  template<typename RepT = int64_t, typename RatioT = std::milli>
  bool wait_for_service(
    std::chrono::duration<RepT, RatioT> timeout = std::chrono::duration<RepT, RatioT>(-1))
  {
    return wait_for_service_nanoseconds(
      std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  RCLCPP_PUBLIC
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  // Executor side (internal).
  RCLCPP_PUBLIC bool shim_has_response() const {return endpoint_->has_response();}
  RCLCPP_PUBLIC bool shim_take(rmw_request_id_t & header, std::shared_ptr<void> & response)
  {
    return endpoint_->take_response(header, response);
  }
  /// Complete the pending request a response taken with shim_take() belongs to.
  virtual void shim_handle(
    const rmw_request_id_t & header, const std::shared_ptr<void> & response) = 0;

protected:
  RCLCPP_PUBLIC
  bool wait_for_service_nanoseconds(std::chrono::nanoseconds timeout);

  RCLCPP_PUBLIC
  int64_t shim_send(std::shared_ptr<const void> request);

  std::shared_ptr<rclcpp::Context> context_;
  std::shared_ptr<shim::Transport> transport_;
  std::string service_name_;
  std::shared_ptr<shim::ClientEndpoint> endpoint_;
  std::atomic<bool> in_use_by_wait_set_{false};
};

template<typename ServiceT>
class Client : public ClientBase
{
public:
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;

  using SharedRequest = typename ServiceT::Request::SharedPtr;
  using SharedResponse = typename ServiceT::Response::SharedPtr;

  using Promise = std::promise<SharedResponse>;
  using PromiseWithRequest = std::promise<std::pair<SharedRequest, SharedResponse>>;

  using SharedPromise = std::shared_ptr<Promise>;
  using SharedPromiseWithRequest = std::shared_ptr<PromiseWithRequest>;

  using Future = std::future<SharedResponse>;
  using SharedFuture = std::shared_future<SharedResponse>;
  using SharedFutureWithRequest = std::shared_future<std::pair<SharedRequest, SharedResponse>>;

  using CallbackType = std::function<void (SharedFuture)>;
  using CallbackWithRequestType = std::function<void (SharedFutureWithRequest)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Client)

  /// Returned by async_send_request(request): move-only, holds the std::future.
  struct FutureAndRequestId
    : detail::FutureAndRequestId<std::future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::future<SharedResponse>>::FutureAndRequestId;

    [[deprecated("FutureAndRequestId: use .future.share() instead of an implicit conversion")]]
    operator SharedFuture() {return this->future.share();}

    SharedFuture share() noexcept {return this->future.share();}
  };

  /// Returned by async_send_request(request, callback).
  struct SharedFutureAndRequestId
    : detail::FutureAndRequestId<std::shared_future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::shared_future<SharedResponse>>::FutureAndRequestId;
  };

  /// Returned by async_send_request(request, callback taking the request too).
  struct SharedFutureWithRequestAndRequestId
    : detail::FutureAndRequestId<std::shared_future<std::pair<SharedRequest, SharedResponse>>>
  {
    using detail::FutureAndRequestId<
      std::shared_future<std::pair<SharedRequest, SharedResponse>>
    >::FutureAndRequestId;
  };

  Client(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    const rmw_qos_profile_t & qos_profile)
  : ClientBase(node_base, service_name, shim::service_type<ServiceT>(), qos_profile)
  {}

  ~Client() override = default;

  /// Send a request; the future completes when the executor spinning this client's node
  /// takes the response.
  FutureAndRequestId async_send_request(SharedRequest request)
  {
    Promise promise;
    auto future = promise.get_future();
    const int64_t id = send_and_register(request, Pending{std::move(promise)});
    return FutureAndRequestId(std::move(future), id);
  }

  /// Send a request; `cb(SharedFuture)` runs in the executor once the response is in.
  template<
    typename CallbackT,
    typename std::enable_if<
      std::is_invocable<CallbackT &, SharedFuture>::value &&
      !std::is_invocable<CallbackT &, SharedFutureWithRequest>::value
    >::type * = nullptr>
  SharedFutureAndRequestId async_send_request(SharedRequest request, CallbackT && cb)
  {
    Promise promise;
    auto shared_future = promise.get_future().share();
    WithCallback entry{std::move(promise), CallbackType(std::forward<CallbackT>(cb)),
      shared_future};
    const int64_t id = send_and_register(request, Pending{std::move(entry)});
    return SharedFutureAndRequestId(std::move(shared_future), id);
  }

  /// Send a request; `cb(SharedFutureWithRequest)` gets the request back with the response.
  template<
    typename CallbackT,
    typename std::enable_if<
      std::is_invocable<CallbackT &, SharedFutureWithRequest>::value
    >::type * = nullptr>
  SharedFutureWithRequestAndRequestId async_send_request(SharedRequest request, CallbackT && cb)
  {
    PromiseWithRequest promise;
    auto shared_future = promise.get_future().share();
    WithRequest entry{std::move(promise), CallbackWithRequestType(std::forward<CallbackT>(cb)),
      shared_future, request};
    const int64_t id = send_and_register(request, Pending{std::move(entry)});
    return SharedFutureWithRequestAndRequestId(std::move(shared_future), id);
  }

  /// Forget a pending request: its future never completes, its callback never runs.
  bool remove_pending_request(int64_t request_id)
  {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    return pending_.erase(request_id) != 0u;
  }

  bool remove_pending_request(const FutureAndRequestId & future)
  {
    return remove_pending_request(future.request_id);
  }

  bool remove_pending_request(const SharedFutureAndRequestId & future)
  {
    return remove_pending_request(future.request_id);
  }

  bool remove_pending_request(const SharedFutureWithRequestAndRequestId & future)
  {
    return remove_pending_request(future.request_id);
  }

  /// Drop every pending request; returns how many there were.
  size_t prune_pending_requests()
  {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    const size_t n = pending_.size();
    pending_.clear();
    return n;
  }

  void shim_handle(
    const rmw_request_id_t & header, const std::shared_ptr<void> & response) override
  {
    std::optional<Pending> entry;
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      auto it = pending_.find(header.sequence_number);
      if (it == pending_.end()) {
        return;  // a duplicate reply, or the request was removed
      }
      entry.emplace(std::move(it->second));
      pending_.erase(it);
    }
    auto typed = std::static_pointer_cast<Response>(response);
    if (auto * plain = std::get_if<Promise>(&*entry)) {
      plain->set_value(std::move(typed));
    } else if (auto * with_cb = std::get_if<WithCallback>(&*entry)) {
      with_cb->promise.set_value(std::move(typed));
      with_cb->callback(with_cb->future);
    } else if (auto * with_req = std::get_if<WithRequest>(&*entry)) {
      with_req->promise.set_value(std::make_pair(with_req->request, std::move(typed)));
      with_req->callback(with_req->future);
    }
  }

private:
  RCLCPP_DISABLE_COPY(Client)

  struct WithCallback
  {
    Promise promise;
    CallbackType callback;
    SharedFuture future;
  };

  struct WithRequest
  {
    PromiseWithRequest promise;
    CallbackWithRequestType callback;
    SharedFutureWithRequest future;
    SharedRequest request;
  };

  using Pending = std::variant<Promise, WithCallback, WithRequest>;

  int64_t send_and_register(const SharedRequest & request, Pending && entry)
  {
    // Registered before sending, so a reply that races back is never missed.
    std::lock_guard<std::mutex> lock(pending_mutex_);
    const int64_t id = shim_send(request);
    pending_.emplace(id, std::move(entry));
    return id;
  }

  std::mutex pending_mutex_;
  std::map<int64_t, Pending> pending_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLIENT_HPP_
