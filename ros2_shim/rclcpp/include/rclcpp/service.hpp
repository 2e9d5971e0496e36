// Service servers.
#ifndef RCLCPP__SERVICE_HPP_
#define RCLCPP__SERVICE_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_service_callback.hpp"
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

class ServiceBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ServiceBase)

  /// `service_name` must already be expanded, remapped and validated.
  RCLCPP_PUBLIC
  ServiceBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    const shim::ServiceType & type,
    const rmw_qos_profile_t & qos_profile);

  RCLCPP_PUBLIC
  virtual ~ServiceBase();

  RCLCPP_PUBLIC
  const char * get_service_name();

  RCLCPP_PUBLIC
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  // Executor side (internal).
  RCLCPP_PUBLIC bool shim_has_request() const {return endpoint_->has_request();}
  RCLCPP_PUBLIC bool shim_take(rmw_request_id_t & header, std::shared_ptr<const void> & request)
  {
    return endpoint_->take_request(header, request);
  }
  /// Run the user callback for one request taken with shim_take().
  virtual void shim_handle(
    const rmw_request_id_t & header, const std::shared_ptr<const void> & request) = 0;

protected:
  RCLCPP_PUBLIC
  void shim_send(const rmw_request_id_t & header, std::shared_ptr<void> response);

  std::string service_name_;
  std::shared_ptr<shim::ServiceEndpoint> endpoint_;
  std::atomic<bool> in_use_by_wait_set_{false};
};

template<typename ServiceT>
class Service : public ServiceBase, public std::enable_shared_from_this<Service<ServiceT>>
{
public:
  using CallbackType = std::function<void (
        const std::shared_ptr<typename ServiceT::Request>,
        std::shared_ptr<typename ServiceT::Response>)>;
  using CallbackWithHeaderType = std::function<void (
        const std::shared_ptr<rmw_request_id_t>,
        const std::shared_ptr<typename ServiceT::Request>,
        std::shared_ptr<typename ServiceT::Response>)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Service)

  Service(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    AnyServiceCallback<ServiceT> any_callback,
    const rmw_qos_profile_t & qos_profile)
  : ServiceBase(node_base, service_name, shim::service_type<ServiceT>(), qos_profile),
    any_callback_(std::move(any_callback))
  {}

  ~Service() override = default;

  /// Reply to the request identified by `req_id` (deferred callback forms).
  void send_response(rmw_request_id_t & req_id, typename ServiceT::Response & response)
  {
    shim_send(req_id, std::make_shared<typename ServiceT::Response>(response));
  }

  void shim_handle(
    const rmw_request_id_t & header, const std::shared_ptr<const void> & request) override
  {
    using Request = typename ServiceT::Request;
    // The server gets its own request, as it would after deserialisation.
    auto own_request = std::make_shared<Request>(*static_cast<const Request *>(request.get()));
    auto shared_header = std::make_shared<rmw_request_id_t>(header);
    std::shared_ptr<Service<ServiceT>> self;
    if (any_callback_.is_deferred()) {
      self = this->shared_from_this();
    }
    auto response = any_callback_.dispatch(self, shared_header, own_request);
    if (response) {
      shim_send(header, std::move(response));
    }
  }

private:
  RCLCPP_DISABLE_COPY(Service)

  AnyServiceCallback<ServiceT> any_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SERVICE_HPP_
