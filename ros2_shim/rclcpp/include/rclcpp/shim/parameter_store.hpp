// The parameters of one node: declaration, typing, overrides, ranges, callbacks.
//
// Node's parameter member functions forward here one to one; the semantics are those of
// the node parameter interface (see the function comments below). The class is thread-safe
// (one recursive mutex); on-set callbacks run under it, and setting/declaring parameters
// or (un)registering callbacks from inside a callback throws
// ParameterModifiedInCallbackException.
//
// This header also defines the two public helper types of the parameter interface,
// rclcpp::node_interfaces::ParameterInfo and rclcpp::node_interfaces::OnSetParametersCallbackHandle.
// node_interfaces/node_parameters_interface.hpp includes this header for them instead of
// defining its own.
//
// API (namespace rclcpp::shim):
//   ParameterStore(std::map<std::string, rclcpp::ParameterValue> overrides,
//                  bool allow_undeclared_parameters);
//       overrides: the resolved map (see arguments.hpp resolve_parameter_overrides()).
//   void declare_parameters_from_overrides();
//       declares every override not declared yet, dynamically typed, each announced like a
//       declare_parameter() call (the node calls it once its event sink is in place).
//   void set_event_sink(EventSink sink);
//       called (outside the lock) after every successful declare_parameter() and
//       set_parameters_atomically(), once per call even when the lists are empty, with the
//       new, changed and deleted parameters; the node publishes them as a ParameterEvent.
//       undeclare_parameter() is not reported.
//   const ParameterValue & declare_parameter(name, const ParameterValue & default_value,
//       const ParameterDescriptor & = {}, bool ignore_override = false);
//   const ParameterValue & declare_parameter(name, ParameterType type,
//       const ParameterDescriptor & = {}, bool ignore_override = false);
//       Typed templates in Node: declare_parameter<T>(name, default) = declare_parameter(name,
//       ParameterValue(default)).get<T>() with ParameterTypeException rethrown as
//       InvalidParameterTypeException(name, what); declare_parameter<T>(name) =
//       declare_parameter(name, ParameterValue(T{}).get_type()).get<T>() with
//       ParameterTypeException rethrown as UninitializedStaticallyTypedParameterException(name).
//   void undeclare_parameter(name);
//   bool has_parameter(name) const;
//   std::vector<SetParametersResult> set_parameters(const std::vector<Parameter> &);
//       each parameter on its own, like set_parameters_atomically({p}).
//   SetParametersResult set_parameters_atomically(const std::vector<Parameter> &);
//       throws ParameterNotDeclaredException for undeclared names (unless undeclared allowed),
//       InvalidParametersException for an empty name; rejections come back in the result.
//   std::vector<Parameter> get_parameters(const std::vector<std::string> & names) const;
//   Parameter get_parameter(name) const;        // ParameterNotDeclaredException(name) /
//                                               // ParameterUninitializedException
//   bool get_parameter(name, Parameter &) const;// false, untouched, if undeclared or no value
//   bool get_parameters_by_prefix(prefix, std::map<std::string, Parameter> &) const;
//   std::vector<ParameterDescriptor> describe_parameters(names) const;
//   std::vector<uint8_t> get_parameter_types(names) const;
//   ListParametersResult list_parameters(prefixes, uint64_t depth) const;  // depth 0 = all
//   OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(callback);
//       the callback registered last runs first; the store keeps only a weak reference.
//   void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * handle);
//       throws std::runtime_error("Callback doesn't exist") for an unknown handle.
//   const std::map<std::string, ParameterValue> & get_parameter_overrides() const;
#ifndef RCLCPP__SHIM__PARAMETER_STORE_HPP_
#define RCLCPP__SHIM__PARAMETER_STORE_HPP_

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// Value and descriptor of one declared parameter.
struct ParameterInfo
{
  rclcpp::ParameterValue value;
  rcl_interfaces::msg::ParameterDescriptor descriptor;
};

/// Keeps an on-set-parameters callback registered for as long as the handle lives.
struct OnSetParametersCallbackHandle
{
  RCLCPP_SMART_PTR_DEFINITIONS(OnSetParametersCallbackHandle)

  using OnSetParametersCallbackType =
    std::function<
    rcl_interfaces::msg::SetParametersResult(
      const std::vector<rclcpp::Parameter> &)>;
  using OnParametersSetCallbackType = OnSetParametersCallbackType;

  OnParametersSetCallbackType callback;
};

}  // namespace node_interfaces

namespace shim
{

class ParameterStore
{
public:
  using ParameterInfo = rclcpp::node_interfaces::ParameterInfo;
  using CallbackHandle = rclcpp::node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType = CallbackHandle::OnParametersSetCallbackType;
  using EventSink = std::function<void (
        const std::vector<rclcpp::Parameter> & new_parameters,
        const std::vector<rclcpp::Parameter> & changed_parameters,
        const std::vector<rclcpp::Parameter> & deleted_parameters)>;

  RCLCPP_PUBLIC
  ParameterStore(
    std::map<std::string, rclcpp::ParameterValue> overrides,
    bool allow_undeclared_parameters);

  RCLCPP_PUBLIC
  void declare_parameters_from_overrides();

  RCLCPP_PUBLIC
  ~ParameterStore();

  ParameterStore(const ParameterStore &) = delete;
  ParameterStore & operator=(const ParameterStore &) = delete;

  RCLCPP_PUBLIC
  void set_event_sink(EventSink sink);

  RCLCPP_PUBLIC
  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  RCLCPP_PUBLIC
  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  RCLCPP_PUBLIC
  void
  undeclare_parameter(const std::string & name);

  RCLCPP_PUBLIC
  bool
  has_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  std::vector<rcl_interfaces::msg::SetParametersResult>
  set_parameters(const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  rcl_interfaces::msg::SetParametersResult
  set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  std::vector<rclcpp::Parameter>
  get_parameters(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  rclcpp::Parameter
  get_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  bool
  get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  RCLCPP_PUBLIC
  bool
  get_parameters_by_prefix(
    const std::string & prefix,
    std::map<std::string, rclcpp::Parameter> & parameters) const;

  RCLCPP_PUBLIC
  std::vector<rcl_interfaces::msg::ParameterDescriptor>
  describe_parameters(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  std::vector<uint8_t>
  get_parameter_types(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  rcl_interfaces::msg::ListParametersResult
  list_parameters(const std::vector<std::string> & prefixes, uint64_t depth) const;

  RCLCPP_PUBLIC
  CallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback);

  RCLCPP_PUBLIC
  void
  remove_on_set_parameters_callback(const CallbackHandle * const handler);

  RCLCPP_PUBLIC
  const std::map<std::string, rclcpp::ParameterValue> &
  get_parameter_overrides() const;

private:
  struct Event;
  class MutationGuard;

  const rclcpp::ParameterValue & declare_locked(
    const std::string & name, rclcpp::ParameterType type,
    const rclcpp::ParameterValue & default_value,
    rcl_interfaces::msg::ParameterDescriptor descriptor,
    bool ignore_override, Event & event);

  rcl_interfaces::msg::SetParametersResult set_atomically_locked(
    const std::vector<rclcpp::Parameter> & parameters, Event & event);

  void emit(const Event & event);

  mutable std::recursive_mutex mutex_;
  bool modification_in_progress_{false};
  std::map<std::string, rclcpp::ParameterValue> overrides_;
  std::map<std::string, ParameterInfo> parameters_;
  std::list<CallbackHandle::WeakPtr> callbacks_;
  bool allow_undeclared_;
  EventSink sink_;
};

}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__PARAMETER_STORE_HPP_
