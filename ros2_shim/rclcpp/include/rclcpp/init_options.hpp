// Options for initialising a Context.
#ifndef RCLCPP__INIT_OPTIONS_HPP_
#define RCLCPP__INIT_OPTIONS_HPP_

#include <cstddef>
#include <memory>
#include <mutex>

#include "rcutils/allocator.h"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{

/// Settings passed to Context::init().
class InitOptions
{
public:
  /// If true, SIGINT/SIGTERM (with the signal handlers installed) shut this context down.
  bool shutdown_on_signal = true;

  RCLCPP_PUBLIC
  explicit InitOptions(rcutils_allocator_t allocator = rcutils_get_default_allocator());

  RCLCPP_PUBLIC
  InitOptions(const InitOptions & other);

  RCLCPP_PUBLIC
  InitOptions &
  operator=(const InitOptions & other);

  RCLCPP_PUBLIC
  virtual
  ~InitOptions();

  /// Whether init configures the logging system (true by default).
  RCLCPP_PUBLIC
  bool
  auto_initialize_logging() const;

  RCLCPP_PUBLIC
  InitOptions &
  auto_initialize_logging(bool initialize_logging);

  /// Fix the domain id instead of taking it from ROS_DOMAIN_ID.
  RCLCPP_PUBLIC
  void
  set_domain_id(size_t domain_id);

  /// The configured domain id; SIZE_MAX (the default) means "from ROS_DOMAIN_ID, else 0".
  RCLCPP_PUBLIC
  size_t
  get_domain_id() const;

  RCLCPP_PUBLIC
  void
  use_default_domain_id();

  RCLCPP_PUBLIC
  const rcutils_allocator_t &
  get_allocator() const;

private:
  rcutils_allocator_t allocator_;
  bool initialize_logging_{true};
  size_t domain_id_;
};

}  // namespace rclcpp

#endif  // RCLCPP__INIT_OPTIONS_HPP_
