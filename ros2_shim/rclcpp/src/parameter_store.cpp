#include "rclcpp/shim/parameter_store.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp
{
namespace shim
{

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;

/// Changes collected while the lock is held and reported after it is released.
struct ParameterStore::Event
{
  std::vector<rclcpp::Parameter> new_parameters;
  std::vector<rclcpp::Parameter> changed_parameters;
  std::vector<rclcpp::Parameter> deleted_parameters;
};

/// Refuses re-entry from on-set callbacks, which would see half-applied state.
class ParameterStore::MutationGuard
{
public:
  explicit MutationGuard(bool & flag)
  : flag_(flag)
  {
    if (flag_) {
      throw rclcpp::exceptions::ParameterModifiedInCallbackException(
              "cannot set or declare a parameter, or change the callback from within set callback");
    }
    flag_ = true;
  }
  ~MutationGuard() {flag_ = false;}
  MutationGuard(const MutationGuard &) = delete;
  MutationGuard & operator=(const MutationGuard &) = delete;

private:
  bool & flag_;
};

namespace
{

SetParametersResult success()
{
  SetParametersResult result;
  result.successful = true;
  return result;
}

SetParametersResult failure(const std::string & reason)
{
  SetParametersResult result;
  result.successful = false;
  result.reason = reason;
  return result;
}

std::string format_type_reason(
  const std::string & name, const std::string & old_type, const std::string & new_type)
{
  return "Wrong parameter type, parameter {" + name + "} is of type {" + old_type +
         "}, setting it to {" + new_type + "} is not allowed.";
}

std::string format_range_reason(const std::string & name, const char * range_type)
{
  return "Parameter {" + name + "} doesn't comply with " + range_type + " range.";
}

bool doubles_equal(double x, double y, size_t ulp = 100)
{
  return std::abs(x - y) <= std::numeric_limits<double>::epsilon() * std::abs(x + y) *
         static_cast<double>(ulp);
}

SetParametersResult check_range(
  const ParameterDescriptor & descriptor, const rclcpp::ParameterValue & value)
{
  if (!descriptor.integer_range.empty() && value.get_type() == rclcpp::PARAMETER_INTEGER) {
    const int64_t v = value.get<int64_t>();
    const auto & range = descriptor.integer_range.at(0);
    if (v == range.from_value || v == range.to_value) {
      return success();
    }
    if (v < range.from_value || v > range.to_value) {
      return failure(format_range_reason(descriptor.name, "integer"));
    }
    if (range.step == 0) {
      return success();
    }
    if (((v - range.from_value) % static_cast<int64_t>(range.step)) == 0) {
      return success();
    }
    return failure(format_range_reason(descriptor.name, "integer"));
  }
  if (!descriptor.floating_point_range.empty() && value.get_type() == rclcpp::PARAMETER_DOUBLE) {
    const double v = value.get<double>();
    const auto & range = descriptor.floating_point_range.at(0);
    if (doubles_equal(v, range.from_value) || doubles_equal(v, range.to_value)) {
      return success();
    }
    if (v < range.from_value || v > range.to_value) {
      return failure(format_range_reason(descriptor.name, "floating point"));
    }
    if (range.step == 0.0) {
      return success();
    }
    const double rounded_div = std::round((v - range.from_value) / range.step);
    if (doubles_equal(v, range.from_value + rounded_div * range.step)) {
      return success();
    }
    return failure(format_range_reason(descriptor.name, "floating point"));
  }
  return success();
}

/// Type and range checks against the stored (or, if unknown, dynamic) descriptors.
SetParametersResult check_parameters(
  const std::map<std::string, ParameterStore::ParameterInfo> & infos,
  const std::vector<rclcpp::Parameter> & parameters, bool allow_undeclared)
{
  SetParametersResult result = success();
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    ParameterDescriptor descriptor;
    auto it = infos.find(name);
    if (it != infos.end()) {
      descriptor = it->second.descriptor;
    } else if (allow_undeclared) {
      descriptor.dynamic_typing = true;
    }
    if (descriptor.name.empty()) {
      descriptor.name = name;
    }
    const auto new_type = parameter.get_type();
    const auto specified_type = static_cast<rclcpp::ParameterType>(descriptor.type);
    if (!descriptor.dynamic_typing && specified_type != new_type) {
      return failure(
        format_type_reason(name, rclcpp::to_string(specified_type), rclcpp::to_string(new_type)));
    }
    result = check_range(descriptor, parameter.get_parameter_value());
    if (!result.successful) {
      return result;
    }
  }
  return result;
}

using CallbackList = std::list<ParameterStore::CallbackHandle::WeakPtr>;

SetParametersResult call_callbacks(
  const std::vector<rclcpp::Parameter> & parameters, CallbackList & callbacks)
{
  SetParametersResult result = success();
  for (auto it = callbacks.begin(); it != callbacks.end(); ) {
    auto handle = it->lock();
    if (handle) {
      result = handle->callback(parameters);
      if (!result.successful) {
        return result;
      }
      ++it;
    } else {
      it = callbacks.erase(it);
    }
  }
  return result;
}

/// Validate, ask the callbacks, then write the values into `infos`.
SetParametersResult set_atomically_common(
  const std::vector<rclcpp::Parameter> & parameters,
  std::map<std::string, ParameterStore::ParameterInfo> & infos,
  CallbackList & callbacks, bool allow_undeclared)
{
  SetParametersResult result = check_parameters(infos, parameters, allow_undeclared);
  if (!result.successful) {
    return result;
  }
  result = call_callbacks(parameters, callbacks);
  if (!result.successful) {
    return result;
  }
  for (const auto & parameter : parameters) {
    auto & info = infos[parameter.get_name()];
    info.descriptor.name = parameter.get_name();
    info.descriptor.type = parameter.get_type();
    info.value = parameter.get_parameter_value();
  }
  return result;
}

/// Declaration proper: pick override or default, check it, store it.
SetParametersResult declare_common(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const ParameterDescriptor & descriptor,
  std::map<std::string, ParameterStore::ParameterInfo> & parameters_out,
  const std::map<std::string, rclcpp::ParameterValue> & overrides,
  CallbackList & callbacks, std::vector<rclcpp::Parameter> * new_parameters,
  bool ignore_override)
{
  std::map<std::string, ParameterStore::ParameterInfo> infos;
  infos[name].descriptor = descriptor;

  const rclcpp::ParameterValue * initial_value = &default_value;
  auto override_it = overrides.find(name);
  if (!ignore_override && override_it != overrides.end()) {
    initial_value = &override_it->second;
  }

  if (initial_value->get_type() == rclcpp::PARAMETER_NOT_SET) {
    // Declared, but without a value.
    auto & info = infos.at(name);
    info.descriptor.name = name;
    info.descriptor.type = descriptor.dynamic_typing ?
      static_cast<uint8_t>(rclcpp::PARAMETER_NOT_SET) : descriptor.type;
    parameters_out[name] = info;
    return success();
  }

  std::vector<rclcpp::Parameter> wrapped{rclcpp::Parameter(name, *initial_value)};
  auto result = set_atomically_common(wrapped, infos, callbacks, false);
  if (!result.successful) {
    return result;
  }
  parameters_out[name] = infos.at(name);
  if (new_parameters) {
    new_parameters->push_back(wrapped[0]);
  }
  return result;
}

}  // namespace

ParameterStore::ParameterStore(
  std::map<std::string, rclcpp::ParameterValue> overrides,
  bool allow_undeclared_parameters)
: overrides_(std::move(overrides)), allow_undeclared_(allow_undeclared_parameters)
{}

void ParameterStore::declare_parameters_from_overrides()
{
  ParameterDescriptor descriptor;
  descriptor.dynamic_typing = true;
  for (const auto & pair : overrides_) {
    if (!has_parameter(pair.first)) {
      declare_parameter(pair.first, pair.second, descriptor, true);
    }
  }
}

ParameterStore::~ParameterStore() = default;

void ParameterStore::set_event_sink(EventSink sink)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  sink_ = std::move(sink);
}

void ParameterStore::emit(const Event & event)
{
  EventSink sink;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    sink = sink_;
  }
  // Every successful declaration or set is announced, even one that carries no parameter
  // (a declaration without a value, an empty set): subscribers count on one event per call.
  if (sink) {
    sink(event.new_parameters, event.changed_parameters, event.deleted_parameters);
  }
}

const rclcpp::ParameterValue &
ParameterStore::declare_locked(
  const std::string & name, rclcpp::ParameterType type,
  const rclcpp::ParameterValue & default_value, ParameterDescriptor descriptor,
  bool ignore_override, Event & event)
{
  if (name.empty()) {
    throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
  }
  if (parameters_.count(name) != 0) {
    throw rclcpp::exceptions::ParameterAlreadyDeclaredException(
            "parameter '" + name + "' has already been declared");
  }
  if (!descriptor.dynamic_typing) {
    if (type == rclcpp::PARAMETER_NOT_SET) {
      type = default_value.get_type();
    }
    if (type == rclcpp::PARAMETER_NOT_SET) {
      throw rclcpp::exceptions::InvalidParameterTypeException(
              name, "cannot declare a statically typed parameter with an uninitialized value");
    }
    descriptor.type = static_cast<uint8_t>(type);
  }

  auto result = declare_common(
    name, default_value, descriptor, parameters_, overrides_, callbacks_,
    &event.new_parameters, ignore_override);
  if (!result.successful) {
    static constexpr const char kTypeErrorStart[] = "Wrong parameter type";
    if (result.reason.compare(0, sizeof(kTypeErrorStart) - 1, kTypeErrorStart) == 0) {
      throw rclcpp::exceptions::InvalidParameterTypeException(name, result.reason);
    }
    throw rclcpp::exceptions::InvalidParameterValueException(
            "parameter '" + name + "' could not be set: " + result.reason);
  }
  return parameters_.at(name).value;
}

const rclcpp::ParameterValue &
ParameterStore::declare_parameter(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  Event event;
  const rclcpp::ParameterValue * value = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(modification_in_progress_);
    value = &declare_locked(
      name, rclcpp::PARAMETER_NOT_SET, default_value, parameter_descriptor, ignore_override,
      event);
  }
  emit(event);
  return *value;
}

const rclcpp::ParameterValue &
ParameterStore::declare_parameter(
  const std::string & name, rclcpp::ParameterType type,
  const ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  if (type == rclcpp::PARAMETER_NOT_SET) {
    throw std::invalid_argument{
            "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET"};
  }
  if (parameter_descriptor.dynamic_typing) {
    throw std::invalid_argument{
            "declare_parameter(): cannot declare parameter of specific type and pass descriptor"
            "with `dynamic_typing=true`"};
  }
  Event event;
  const rclcpp::ParameterValue * value = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(modification_in_progress_);
    value = &declare_locked(
      name, type, rclcpp::ParameterValue{}, parameter_descriptor, ignore_override, event);
  }
  emit(event);
  return *value;
}

void
ParameterStore::undeclare_parameter(const std::string & name)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(modification_in_progress_);
  auto it = parameters_.find(name);
  if (it == parameters_.end()) {
    throw rclcpp::exceptions::ParameterNotDeclaredException(
            "cannot undeclare parameter '" + name + "' which has not yet been declared");
  }
  if (it->second.descriptor.read_only) {
    throw rclcpp::exceptions::ParameterImmutableException(
            "cannot undeclare parameter '" + name + "' because it is read-only");
  }
  if (!it->second.descriptor.dynamic_typing) {
    throw rclcpp::exceptions::InvalidParameterTypeException{
            name, "cannot undeclare an statically typed parameter"};
  }
  // Not announced on /parameter_events, as in rclcpp: only a set to PARAMETER_NOT_SET
  // reports a deleted parameter.
  parameters_.erase(it);
}

bool
ParameterStore::has_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.count(name) != 0;
}

std::vector<SetParametersResult>
ParameterStore::set_parameters(const std::vector<rclcpp::Parameter> & parameters)
{
  std::vector<SetParametersResult> results;
  results.reserve(parameters.size());
  for (const auto & p : parameters) {
    results.push_back(set_parameters_atomically({p}));
  }
  return results;
}

SetParametersResult
ParameterStore::set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters)
{
  Event event;
  SetParametersResult result;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(modification_in_progress_);
    result = set_atomically_locked(parameters, event);
  }
  if (result.successful) {
    emit(event);
  }
  return result;
}

SetParametersResult
ParameterStore::set_atomically_locked(
  const std::vector<rclcpp::Parameter> & parameters, Event & event)
{
  SetParametersResult result = success();

  // Names that are not declared yet, if implicit declaration is allowed.
  std::vector<const rclcpp::Parameter *> to_declare;
  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (name.empty()) {
      throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
    }
    if (parameters_.count(name) != 0) {
      continue;
    }
    if (!allow_undeclared_) {
      throw rclcpp::exceptions::ParameterNotDeclaredException(
              "parameter '" + name + "' cannot be set because it was not declared");
    }
    const bool staged = std::any_of(
      to_declare.begin(), to_declare.end(),
      [&name](const rclcpp::Parameter * p) {return p->get_name() == name;});
    if (!staged) {
      to_declare.push_back(&parameter);
    }
  }

  std::map<std::string, ParameterInfo> staged_changes;
  CallbackList no_callbacks;
  std::vector<rclcpp::Parameter> declared_now;
  for (const rclcpp::Parameter * parameter : to_declare) {
    ParameterDescriptor descriptor;
    descriptor.dynamic_typing = true;
    result = declare_common(
      parameter->get_name(), parameter->get_parameter_value(), descriptor, staged_changes,
      overrides_, no_callbacks, &declared_now, true);
    if (!result.successful) {
      return result;
    }
  }

  // Setting a dynamically typed parameter to NOT_SET undeclares it.
  std::vector<const rclcpp::Parameter *> to_undeclare;
  for (const auto & parameter : parameters) {
    auto it = parameters_.find(parameter.get_name());
    if (it == parameters_.end()) {
      continue;
    }
    if (it->second.descriptor.read_only) {
      return failure(
        "parameter '" + parameter.get_name() + "' cannot be set because it is read-only");
    }
    if (parameter.get_type() == rclcpp::PARAMETER_NOT_SET &&
      it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET)
    {
      if (!it->second.descriptor.dynamic_typing) {
        return failure("cannot undeclare a statically typed parameter");
      }
      to_undeclare.push_back(&parameter);
    }
  }

  // Check everything against the current state first, so that a rejection leaves the
  // store unchanged, then apply.
  std::map<std::string, ParameterInfo> candidate = parameters_;
  for (const auto & kv : staged_changes) {
    candidate[kv.first] = kv.second;
  }
  result = set_atomically_common(parameters, candidate, callbacks_, allow_undeclared_);
  if (!result.successful) {
    return result;
  }
  for (const auto & kv : staged_changes) {
    // Keep the descriptor the implicit declaration produced (dynamic typing).
    auto & info = candidate[kv.first];
    const rclcpp::ParameterValue value = info.value;
    info = kv.second;
    info.value = value;
  }
  for (const rclcpp::Parameter * parameter : to_undeclare) {
    auto it = candidate.find(parameter->get_name());
    if (it != candidate.end()) {
      // Reported with the value just set (not set), as rclcpp does, not the one it had.
      event.deleted_parameters.emplace_back(it->first, it->second.value);
      candidate.erase(it);
    }
  }
  parameters_.swap(candidate);

  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (staged_changes.count(name) != 0) {
      event.new_parameters.push_back(parameter);
      continue;
    }
    const bool undeclared = std::any_of(
      to_undeclare.begin(), to_undeclare.end(),
      [&name](const rclcpp::Parameter * p) {return p->get_name() == name;});
    if (!undeclared) {
      event.changed_parameters.push_back(parameter);
    }
  }
  return result;
}

std::vector<rclcpp::Parameter>
ParameterStore::get_parameters(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<rclcpp::Parameter> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.cend()) {
      results.emplace_back(name, it->second.value);
    } else if (allow_undeclared_) {
      results.emplace_back(name, rclcpp::ParameterValue());
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

rclcpp::Parameter
ParameterStore::get_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it != parameters_.cend()) {
    if (it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET ||
      it->second.descriptor.dynamic_typing)
    {
      return rclcpp::Parameter{name, it->second.value};
    }
    throw rclcpp::exceptions::ParameterUninitializedException(name);
  } else if (allow_undeclared_) {
    return rclcpp::Parameter{name};
  }
  throw rclcpp::exceptions::ParameterNotDeclaredException(name);
}

bool
ParameterStore::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it != parameters_.cend() &&
    (it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET ||
    it->second.descriptor.dynamic_typing))
  {
    parameter = {name, it->second.value};
    return true;
  }
  return false;
}

bool
ParameterStore::get_parameters_by_prefix(
  const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string prefix_with_dot = prefix.empty() ? prefix : prefix + ".";
  bool found = false;
  for (const auto & kv : parameters_) {
    if (kv.first.compare(0, prefix_with_dot.size(), prefix_with_dot) == 0 &&
      kv.first.size() > prefix_with_dot.size())
    {
      parameters[kv.first.substr(prefix_with_dot.size())] = rclcpp::Parameter(kv.second);
      found = true;
    }
  }
  return found;
}

std::vector<ParameterDescriptor>
ParameterStore::describe_parameters(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<ParameterDescriptor> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.cend()) {
      results.push_back(it->second.descriptor);
    } else if (allow_undeclared_) {
      ParameterDescriptor descriptor;
      descriptor.name = name;
      results.push_back(descriptor);
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

std::vector<uint8_t>
ParameterStore::get_parameter_types(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<uint8_t> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.cend()) {
      results.push_back(it->second.value.get_type());
    } else if (allow_undeclared_) {
      results.push_back(rclcpp::PARAMETER_NOT_SET);
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

rcl_interfaces::msg::ListParametersResult
ParameterStore::list_parameters(const std::vector<std::string> & prefixes, uint64_t depth) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  constexpr uint64_t kDepthRecursive = 0;
  const char separator = '.';
  rcl_interfaces::msg::ListParametersResult result;
  auto separators_less_than_depth = [depth, separator](const std::string & str) {
      return static_cast<uint64_t>(std::count(str.begin(), str.end(), separator)) < depth;
    };
  const bool recursive = prefixes.empty() && depth == kDepthRecursive;
  for (const auto & kv : parameters_) {
    const std::string & name = kv.first;
    bool listed = recursive || (prefixes.empty() && separators_less_than_depth(name));
    if (!listed) {
      listed = std::any_of(
        prefixes.cbegin(), prefixes.cend(),
        [&](const std::string & prefix) {
          if (name == prefix) {
            return true;
          }
          if (name.compare(0, prefix.size() + 1, prefix + separator) == 0) {
            return depth == kDepthRecursive ||
            separators_less_than_depth(name.substr(prefix.size()));
          }
          return false;
        });
    }
    if (!listed) {
      continue;
    }
    result.names.push_back(name);
    const size_t last_separator = name.find_last_of(separator);
    if (last_separator != std::string::npos) {
      const std::string prefix = name.substr(0, last_separator);
      if (std::find(result.prefixes.cbegin(), result.prefixes.cend(), prefix) ==
        result.prefixes.cend())
      {
        result.prefixes.push_back(prefix);
      }
    }
  }
  return result;
}

ParameterStore::CallbackHandle::SharedPtr
ParameterStore::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(modification_in_progress_);
  auto handle = std::make_shared<CallbackHandle>();
  handle->callback = std::move(callback);
  // The callback registered last runs first.
  callbacks_.emplace_front(handle);
  return handle;
}

void
ParameterStore::remove_on_set_parameters_callback(const CallbackHandle * const handler)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(modification_in_progress_);
  auto it = std::find_if(
    callbacks_.begin(), callbacks_.end(),
    [handler](const CallbackHandle::WeakPtr & weak) {return handler == weak.lock().get();});
  if (it == callbacks_.end()) {
    throw std::runtime_error("Callback doesn't exist");
  }
  callbacks_.erase(it);
}

const std::map<std::string, rclcpp::ParameterValue> &
ParameterStore::get_parameter_overrides() const
{
  return overrides_;
}

}  // namespace shim
}  // namespace rclcpp
