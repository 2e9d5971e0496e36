#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/client.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/service.hpp"

namespace rclcpp
{

namespace
{
shim::EndpointOptions make_options(
  rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & name,
  const rmw_qos_profile_t & qos)
{
  shim::EndpointOptions options;
  options.name = name;
  options.qos = qos;
  options.wake = node_base->shim_wake_target();
  options.node = node_base->shim_node_registration();
  return options;
}
}  // namespace

ServiceBase::ServiceBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & service_name,
  const shim::ServiceType & type,
  const rmw_qos_profile_t & qos_profile)
: service_name_(service_name)
{
  endpoint_ = shim::get_transport(*node_base->get_context())->create_service(
    type, make_options(node_base, service_name, qos_profile));
}

ServiceBase::~ServiceBase() = default;

const char * ServiceBase::get_service_name() {return service_name_.c_str();}

bool ServiceBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

void ServiceBase::shim_send(const rmw_request_id_t & header, std::shared_ptr<void> response)
{
  endpoint_->send_response(header, std::move(response));
}

ClientBase::ClientBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & service_name,
  const shim::ServiceType & type,
  const rmw_qos_profile_t & qos_profile)
: context_(node_base->get_context()),
  transport_(shim::get_transport(*context_)),
  service_name_(service_name)
{
  endpoint_ = transport_->create_client(type, make_options(node_base, service_name, qos_profile));
}

ClientBase::~ClientBase() = default;

const char * ClientBase::get_service_name() const {return service_name_.c_str();}

bool ClientBase::service_is_ready() const {return endpoint_->service_available();}

bool ClientBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

int64_t ClientBase::shim_send(std::shared_ptr<const void> request)
{
  return endpoint_->send_request(std::move(request));
}

bool ClientBase::wait_for_service_nanoseconds(std::chrono::nanoseconds timeout)
{
  const auto start = std::chrono::steady_clock::now();
  if (service_is_ready()) {
    return true;
  }
  if (timeout == std::chrono::nanoseconds(0)) {
    return false;
  }
  const bool forever = timeout < std::chrono::nanoseconds(0);
  const auto deadline = start + (forever ? std::chrono::nanoseconds(0) : timeout);
  while (true) {
    if (!context_->is_valid()) {
      return false;
    }
    const uint64_t seen = transport_->graph_generation();
    if (service_is_ready()) {
      return true;
    }
    // Graph changes wake the wait at once; the 100 ms cap only bounds how late a
    // shutdown of the context is noticed.
    auto wake_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    if (!forever) {
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      wake_at = std::min(wake_at, deadline);
    }
    transport_->wait_for_graph_change(seen, wake_at);
  }
}

}  // namespace rclcpp
