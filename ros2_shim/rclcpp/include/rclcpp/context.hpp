// Shared state between init and shutdown: validity, shutdown reason and
// callbacks, interruptible sleeps, and the global command-line arguments.
#ifndef RCLCPP__CONTEXT_HPP_
#define RCLCPP__CONTEXT_HPP_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "rclcpp/init_options.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

class Context;

namespace shim
{
struct ParsedArguments;
/// Global ROS arguments parsed by Context::init (nullptr while not initialized).
RCLCPP_PUBLIC
const ParsedArguments * global_arguments(const rclcpp::Context & context);
}  // namespace shim

/// Thrown when init is called on an already initialized context.
class ContextAlreadyInitialized : public std::runtime_error
{
public:
  ContextAlreadyInitialized()
  : std::runtime_error("context is already initialized") {}
};

class OnShutdownCallbackHandle
{
  friend class Context;

public:
  using OnShutdownCallbackType = std::function<void ()>;

private:
  std::weak_ptr<OnShutdownCallbackType> callback;
};

using PreShutdownCallbackHandle = OnShutdownCallbackHandle;

/// The lifetime between init and shutdown of everything created on it.
/**
 * Every context registers itself in a process-wide list so that the signal
 * handler can shut down those whose InitOptions::shutdown_on_signal is set.
 */
class Context : public std::enable_shared_from_this<Context>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Context)

  /// Not yet initialized.
  RCLCPP_PUBLIC
  Context();

  /// Shuts down with "context destructor was called while still not shutdown" if still valid.
  RCLCPP_PUBLIC
  virtual
  ~Context();

  /// Parse argv's ROS arguments, configure logging, and make the context valid.
  /**
   * \throws ContextAlreadyInitialized if valid already
   * \throws exceptions::RCLInvalidROSArgsError for malformed ROS arguments or parameter files
   * \throws exceptions::UnknownROSArgsError for unknown flags inside --ros-args
   */
  RCLCPP_PUBLIC
  virtual
  void
  init(
    int argc,
    char const * const argv[],
    const rclcpp::InitOptions & init_options = rclcpp::InitOptions());

  /// True between a successful init() and shutdown().
  RCLCPP_PUBLIC
  bool
  is_valid() const;

  RCLCPP_PUBLIC
  const rclcpp::InitOptions &
  get_init_options() const;

  RCLCPP_PUBLIC
  rclcpp::InitOptions
  get_init_options();

  /// The domain id in effect (from the options, else ROS_DOMAIN_ID, else 0).
  RCLCPP_PUBLIC
  size_t
  get_domain_id() const;

  /// Why the context was shut down; empty while it has not been.
  RCLCPP_PUBLIC
  std::string
  shutdown_reason() const;

  /// Invalidate the context: returns false if not valid.
  /**
   * Order: pre-shutdown callbacks, invalidate, store the reason, on-shutdown
   * callbacks in registration order, then wake every sleep_for().
   */
  RCLCPP_PUBLIC
  virtual
  bool
  shutdown(const std::string & reason);

  using OnShutdownCallback = OnShutdownCallbackHandle::OnShutdownCallbackType;

  /// Register a callback run by shutdown(); returns the callback for convenience.
  RCLCPP_PUBLIC
  virtual
  OnShutdownCallback
  on_shutdown(OnShutdownCallback callback);

  /// Register a callback run by shutdown(); the handle allows removing it again.
  RCLCPP_PUBLIC
  virtual
  OnShutdownCallbackHandle
  add_on_shutdown_callback(OnShutdownCallback callback);

  RCLCPP_PUBLIC
  virtual
  bool
  remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle);

  using PreShutdownCallback = OnShutdownCallbackHandle::OnShutdownCallbackType;

  /// Register a callback run by shutdown() while the context is still valid.
  RCLCPP_PUBLIC
  virtual
  PreShutdownCallbackHandle
  add_pre_shutdown_callback(PreShutdownCallback callback);

  RCLCPP_PUBLIC
  virtual
  bool
  remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle);

  RCLCPP_PUBLIC
  std::vector<OnShutdownCallback>
  get_on_shutdown_callbacks() const;

  RCLCPP_PUBLIC
  std::vector<PreShutdownCallback>
  get_pre_shutdown_callbacks() const;

  /// Sleep until the time passed, shutdown(), or interrupt_all_sleep_for().
  /**
   * \return true if the whole duration was slept, false if interrupted or the
   * context is not valid
   */
  RCLCPP_PUBLIC
  bool
  sleep_for(const std::chrono::nanoseconds & nanoseconds);

  /// Wake every sleep_for() currently blocking on this context.
  RCLCPP_PUBLIC
  virtual
  void
  interrupt_all_sleep_for();

  /// Singleton instance of SubContext within this context, created on first use.
  template<typename SubContext, typename ... Args>
  std::shared_ptr<SubContext>
  get_sub_context(Args && ... args)
  {
    std::lock_guard<std::recursive_mutex> lock(sub_contexts_mutex_);
    std::type_index type_i(typeid(SubContext));
    auto it = sub_contexts_.find(type_i);
    if (it == sub_contexts_.end()) {
      std::shared_ptr<SubContext> sub_context(new SubContext(std::forward<Args>(args) ...));
      sub_contexts_[type_i] = sub_context;
      return sub_context;
    }
    return std::static_pointer_cast<SubContext>(it->second);
  }

protected:
  RCLCPP_PUBLIC
  virtual
  void
  clean_up();

private:
  RCLCPP_DISABLE_COPY(Context)

  friend const rclcpp::shim::ParsedArguments * rclcpp::shim::global_arguments(const Context &);

  using CallbackList = std::vector<std::shared_ptr<OnShutdownCallback>>;

  OnShutdownCallbackHandle add_callback(CallbackList & list, OnShutdownCallback callback);
  bool remove_callback(CallbackList & list, const OnShutdownCallbackHandle & handle);
  std::vector<OnShutdownCallback> copy_callbacks(const CallbackList & list) const;

  mutable std::recursive_mutex init_mutex_;
  std::atomic_bool valid_{false};
  rclcpp::InitOptions init_options_;
  size_t domain_id_{0};
  std::string shutdown_reason_;
  std::shared_ptr<const rclcpp::shim::ParsedArguments> global_arguments_;

  std::unordered_map<std::type_index, std::shared_ptr<void>> sub_contexts_;
  std::recursive_mutex sub_contexts_mutex_;

  CallbackList on_shutdown_callbacks_;
  CallbackList pre_shutdown_callbacks_;
  mutable std::mutex callbacks_mutex_;

  std::condition_variable interrupt_condition_variable_;
  std::mutex interrupt_mutex_;
  uint64_t interrupt_generation_{0};
};

/// Copy of the list of all live contexts.
RCLCPP_PUBLIC
std::vector<Context::SharedPtr>
get_contexts();

}  // namespace rclcpp

#endif  // RCLCPP__CONTEXT_HPP_
