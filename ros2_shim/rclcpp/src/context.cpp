#include "rclcpp/context.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rcutils/error_handling.h"
#include "rcutils/logging.h"
#include "rcutils/logging_macros.h"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/shim/arguments.hpp"
#include "dds/dds_transport.hpp"
#include "dds/environment.hpp"
#include "dds/security.hpp"
#include "signal_handling.hpp"

namespace rclcpp
{


Context::Context() = default;

Context::~Context()
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  try {
    this->shutdown("context destructor was called while still not shutdown");
    this->clean_up();
  } catch (const std::exception & exc) {
    RCUTILS_LOG_ERROR_NAMED("rclcpp", "unhandled exception in ~Context(): %s", exc.what());
  } catch (...) {
    RCUTILS_LOG_ERROR_NAMED("rclcpp", "unhandled exception in ~Context()");
  }
}

void
Context::init(int argc, char const * const argv[], const rclcpp::InitOptions & init_options)
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  if (valid_) {
    throw rclcpp::ContextAlreadyInitialized();
  }
  this->clean_up();

  if (init_options.auto_initialize_logging() && !g_rcutils_logging_initialized) {
    // A bad RCUTILS_* variable is reported by rcutils itself on every later log call.
    if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
      rcutils_reset_error();
    }
  }

  std::vector<std::string> args;
  if (argv) {
    for (int i = 0; i < argc; ++i) {
      args.emplace_back(argv[i] ? argv[i] : "");
    }
  }

  auto parsed = std::make_shared<rclcpp::shim::ParsedArguments>();
  try {
    *parsed = rclcpp::shim::parse_arguments(args, "failed to initialize rcl");
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError &) {
    RCUTILS_LOG_ERROR_NAMED("rcl", "Failed to parse global arguments");
    throw;
  }
  rclcpp::shim::throw_if_unknown_ros_arguments(*parsed);

  if (init_options.auto_initialize_logging()) {
    rclcpp::shim::apply_logging_arguments(*parsed);
  }

  // The environment is checked, and the domain joined, before the context becomes valid,
  // so a bad ROS_DOMAIN_ID, RMW_IMPLEMENTATION or DDS configuration fails init itself.
  rclcpp::shim::dds::check_environment();
  const size_t domain_id = init_options.get_domain_id() == std::numeric_limits<size_t>::max() ?
    rclcpp::shim::dds::domain_id_from_environment() : init_options.get_domain_id();
  try {
    const auto security = rclcpp::shim::dds::security_settings_from_environment(parsed->enclave);
    rclcpp::shim::dds::transport_for_domain(domain_id, &security);
  } catch (const std::runtime_error & error) {
    rcutils_reset_error();
    rcutils_set_error_state(error.what(), __FILE__, __LINE__);
    const rcutils_error_state_t state = *rcutils_get_error_state();
    rcutils_reset_error();
    throw rclcpp::exceptions::RCLError(1, &state, "failed to initialize rcl");
  }

  init_options_ = init_options;
  domain_id_ = domain_id;
  global_arguments_ = parsed;
  shutdown_reason_.clear();
  valid_ = true;

  auto self = weak_from_this().lock();
  if (self) {
    rclcpp::detail::register_context(self);
  }
}

bool
Context::is_valid() const
{
  return valid_;
}

const rclcpp::InitOptions &
Context::get_init_options() const
{
  return init_options_;
}

rclcpp::InitOptions
Context::get_init_options()
{
  return init_options_;
}

size_t
Context::get_domain_id() const
{
  return domain_id_;
}

std::string
Context::shutdown_reason() const
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  return shutdown_reason_;
}

bool
Context::shutdown(const std::string & reason)
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  if (!valid_) {
    return false;
  }
  for (const auto & callback : copy_callbacks(pre_shutdown_callbacks_)) {
    callback();
  }
  valid_ = false;
  shutdown_reason_ = reason;
  for (const auto & callback : copy_callbacks(on_shutdown_callbacks_)) {
    callback();
  }
  this->interrupt_all_sleep_for();
  if (auto transport = rclcpp::shim::dds::find_transport(domain_id_)) {
    transport->interrupt_graph_waits();
  }
  rclcpp::detail::unregister_context(this);
  return true;
}

OnShutdownCallbackHandle
Context::add_callback(CallbackList & list, OnShutdownCallback callback)
{
  auto shared = std::make_shared<OnShutdownCallback>(std::move(callback));
  {
    std::lock_guard<std::mutex> lock(callbacks_mutex_);
    list.push_back(shared);
  }
  OnShutdownCallbackHandle handle;
  handle.callback = shared;
  return handle;
}

bool
Context::remove_callback(CallbackList & list, const OnShutdownCallbackHandle & handle)
{
  auto target = handle.callback.lock();
  if (!target) {
    return false;
  }
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  auto it = std::find(list.begin(), list.end(), target);
  if (it == list.end()) {
    return false;
  }
  list.erase(it);
  return true;
}

std::vector<Context::OnShutdownCallback>
Context::copy_callbacks(const CallbackList & list) const
{
  std::vector<OnShutdownCallback> copy;
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  copy.reserve(list.size());
  for (const auto & callback : list) {
    copy.push_back(*callback);
  }
  return copy;
}

Context::OnShutdownCallback
Context::on_shutdown(OnShutdownCallback callback)
{
  add_on_shutdown_callback(callback);
  return callback;
}

OnShutdownCallbackHandle
Context::add_on_shutdown_callback(OnShutdownCallback callback)
{
  return add_callback(on_shutdown_callbacks_, std::move(callback));
}

bool
Context::remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle)
{
  return remove_callback(on_shutdown_callbacks_, callback_handle);
}

PreShutdownCallbackHandle
Context::add_pre_shutdown_callback(PreShutdownCallback callback)
{
  return add_callback(pre_shutdown_callbacks_, std::move(callback));
}

bool
Context::remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle)
{
  return remove_callback(pre_shutdown_callbacks_, callback_handle);
}

std::vector<Context::OnShutdownCallback>
Context::get_on_shutdown_callbacks() const
{
  return copy_callbacks(on_shutdown_callbacks_);
}

std::vector<Context::PreShutdownCallback>
Context::get_pre_shutdown_callbacks() const
{
  return copy_callbacks(pre_shutdown_callbacks_);
}

bool
Context::sleep_for(const std::chrono::nanoseconds & nanoseconds)
{
  // Only shutdown ends the sleep early; interrupt_all_sleep_for() merely re-checks.
  const auto deadline = std::chrono::steady_clock::now() + nanoseconds;
  std::unique_lock<std::mutex> lock(interrupt_mutex_);
  while (this->is_valid() && std::chrono::steady_clock::now() < deadline) {
    interrupt_condition_variable_.wait_until(lock, deadline);
  }
  return this->is_valid();
}

void
Context::interrupt_all_sleep_for()
{
  {
    std::lock_guard<std::mutex> lock(interrupt_mutex_);
    ++interrupt_generation_;
  }
  interrupt_condition_variable_.notify_all();
}

void
Context::clean_up()
{
  global_arguments_.reset();
}

namespace shim
{

const ParsedArguments *
global_arguments(const rclcpp::Context & context)
{
  std::lock_guard<std::recursive_mutex> lock(context.init_mutex_);
  return context.global_arguments_.get();
}

}  // namespace shim

namespace contexts
{

DefaultContext::DefaultContext()
{}

DefaultContext::SharedPtr
get_global_default_context()
{
  // The context registry must outlive the default context, so it is created first.
  static DefaultContext::SharedPtr default_context =
    (rclcpp::detail::keep_process_state_alive(), DefaultContext::make_shared());
  return default_context;
}

}  // namespace contexts

}  // namespace rclcpp
