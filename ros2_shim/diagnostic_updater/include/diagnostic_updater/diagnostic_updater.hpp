// Periodic collection and publication of diagnostic statuses on "/diagnostics".
#ifndef DIAGNOSTIC_UPDATER__DIAGNOSTIC_UPDATER_HPP_
#define DIAGNOSTIC_UPDATER__DIAGNOSTIC_UPDATER_HPP_

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "diagnostic_msgs/msg/diagnostic_status.hpp"

#include "diagnostic_updater/DiagnosticStatusWrapper.hpp"

#include "rclcpp/rclcpp.hpp"

namespace diagnostic_updater
{

typedef std::function<void (DiagnosticStatusWrapper &)> TaskFunction;
typedef std::function<void (diagnostic_msgs::msg::DiagnosticStatus &)> UnwrappedTaskFunction;

/// A named unit of diagnostic work; `run` fills the status it is given.
class DiagnosticTask
{
public:
  explicit DiagnosticTask(const std::string name)
  : name_(name) {}

  const std::string & getName() {return name_;}

  virtual void run(diagnostic_updater::DiagnosticStatusWrapper & stat) = 0;

  virtual ~DiagnosticTask() {}

private:
  const std::string name_;
};

/// A DiagnosticTask that calls a function.
template<class T>
class GenericFunctionDiagnosticTask : public DiagnosticTask
{
public:
  GenericFunctionDiagnosticTask(const std::string & name, std::function<void(T &)> fn)
  : DiagnosticTask(name), fn_(fn) {}

  void run(DiagnosticStatusWrapper & stat) override {fn_(stat);}

private:
  const std::function<void(T &)> fn_;
};

typedef GenericFunctionDiagnosticTask<diagnostic_msgs::msg::DiagnosticStatus>
  UnwrappedFunctionDiagnosticTask;
typedef GenericFunctionDiagnosticTask<DiagnosticStatusWrapper> FunctionDiagnosticTask;

/// Runs several tasks into one status: highest level, non-OK messages joined.
class CompositeDiagnosticTask : public DiagnosticTask
{
public:
  explicit CompositeDiagnosticTask(const std::string name)
  : DiagnosticTask(name) {}

  void run(DiagnosticStatusWrapper & stat) override
  {
    DiagnosticStatusWrapper combined_summary;
    DiagnosticStatusWrapper original_summary;

    original_summary.summary(stat);

    for (DiagnosticTask * task : tasks_) {
      // Each child starts from the summary that was passed in and may add key/values.
      stat.summary(original_summary);
      task->run(stat);
      combined_summary.mergeSummary(stat);
    }

    stat.summary(combined_summary);
  }

  /// The child must outlive this task.
  void addTask(DiagnosticTask * t) {tasks_.push_back(t);}

private:
  std::vector<DiagnosticTask *> tasks_;
};

/// The list of named tasks an Updater runs, in insertion order.
class DiagnosticTaskVector
{
protected:
  /// A task as held in the list: its name and the function that fills its status.
  class DiagnosticTaskInternal
  {
public:
    DiagnosticTaskInternal(const std::string name, TaskFunction f)
    : name_(name), fn_(f) {}

    void run(diagnostic_updater::DiagnosticStatusWrapper & stat) const
    {
      stat.name = name_;
      fn_(stat);
    }

    const std::string & getName() const {return name_;}

private:
    std::string name_;
    TaskFunction fn_;
  };

  /// Held while tasks run and while the list changes; a task must not add or remove tasks.
  std::mutex lock_;

  const std::vector<DiagnosticTaskInternal> & getTasks() {return tasks_;}

public:
  virtual ~DiagnosticTaskVector() = default;

  /// Adds a task given by a name and a function.
  void add(const std::string & name, TaskFunction f)
  {
    DiagnosticTaskInternal int_task(name, f);
    addInternal(int_task);
  }

  /// Adds a DiagnosticTask; the task must stay alive as long as it may be run.
  void add(DiagnosticTask & task)
  {
    TaskFunction f = std::bind(&DiagnosticTask::run, &task, std::placeholders::_1);
    add(task.getName(), f);
  }

  /// Adds a task given by a name, an object and one of its member functions.
  template<class T>
  void add(
    const std::string name, T * c,
    void (T::* f)(diagnostic_updater::DiagnosticStatusWrapper &))
  {
    DiagnosticTaskInternal int_task(name, std::bind(f, c, std::placeholders::_1));
    addInternal(int_task);
  }

  /// Removes the first task with this name; true if one was removed.
  bool removeByName(const std::string name)
  {
    std::unique_lock<std::mutex> lock(lock_);
    for (auto iter = tasks_.begin(); iter != tasks_.end(); ++iter) {
      if (iter->getName() == name) {
        tasks_.erase(iter);
        return true;
      }
    }
    return false;
  }

private:
  /// Hook run (under the lock) for every added task; the Updater announces the task.
  virtual void addedTaskCallback(DiagnosticTaskInternal &) {}

  std::vector<DiagnosticTaskInternal> tasks_;

protected:
  void addInternal(DiagnosticTaskInternal & task)
  {
    std::unique_lock<std::mutex> lock(lock_);
    tasks_.push_back(task);
    addedTaskCallback(task);
  }
};

/// Runs its tasks once per period on the node's timer and publishes their statuses.
/**
 * Parameters (declared on the node unless already declared, so an override wins over the
 * constructor argument): "diagnostic_updater.period" (double, seconds) and
 * "diagnostic_updater.use_fqn" (bool; status names start with the fully qualified node name
 * instead of the plain name). Statuses are named "<node>: <task>". Before a task runs its
 * status is preset to ERROR "No message was set" with the current hardware id, so a task that
 * forgets to set a summary shows up as an error rather than as stale data.
 */
class Updater : public DiagnosticTaskVector
{
public:
  bool verbose_;

  /// Builds the updater from anything that hands out the node interfaces (Node, LifecycleNode,
  /// as shared or raw pointer).
  template<class NodeT>
  explicit Updater(NodeT node, double period = 1.0)
  : Updater(
      node->get_node_base_interface(),
      node->get_node_clock_interface(),
      node->get_node_logging_interface(),
      node->get_node_parameters_interface(),
      node->get_node_timers_interface(),
      node->get_node_topics_interface(),
      period)
  {}

  Updater(
    std::shared_ptr<rclcpp::node_interfaces::NodeBaseInterface> base_interface,
    std::shared_ptr<rclcpp::node_interfaces::NodeClockInterface> clock_interface,
    std::shared_ptr<rclcpp::node_interfaces::NodeLoggingInterface> logging_interface,
    std::shared_ptr<rclcpp::node_interfaces::NodeParametersInterface> parameters_interface,
    std::shared_ptr<rclcpp::node_interfaces::NodeTimersInterface> timers_interface,
    std::shared_ptr<rclcpp::node_interfaces::NodeTopicsInterface> topics_interface,
    double period = 1.0)
  : verbose_(false),
    base_interface_(base_interface),
    timers_interface_(timers_interface),
    clock_(clock_interface->get_clock()),
    period_(rclcpp::Duration::from_seconds(period)),
    publisher_(
      rclcpp::create_publisher<diagnostic_msgs::msg::DiagnosticArray>(
        topics_interface, "/diagnostics", 1)),
    logger_(logging_interface->get_logger()),
    node_name_(base_interface->get_name()),
    warn_nohwid_done_(false)
  {
    constexpr const char * period_param_name = "diagnostic_updater.period";
    rclcpp::ParameterValue period_param;
    if (parameters_interface->has_parameter(period_param_name)) {
      period_param = parameters_interface->get_parameter(period_param_name).get_parameter_value();
    } else {
      period_param = parameters_interface->declare_parameter(
        period_param_name, rclcpp::ParameterValue(period));
    }
    period = period_param.get<double>();
    period_ = rclcpp::Duration::from_seconds(period);

    reset_timer();

    constexpr const char * use_fqn_param_name = "diagnostic_updater.use_fqn";
    rclcpp::ParameterValue use_fqn_param;
    if (parameters_interface->has_parameter(use_fqn_param_name)) {
      use_fqn_param = parameters_interface->get_parameter(use_fqn_param_name).get_parameter_value();
    } else {
      use_fqn_param = parameters_interface->declare_parameter(
        use_fqn_param_name, rclcpp::ParameterValue(false));
    }
    node_name_ = use_fqn_param.get<bool>() ?
      base_interface->get_fully_qualified_name() : base_interface->get_name();
  }

  /// Interval between two periodic updates.
  auto getPeriod() const {return period_;}

  /// Changes the period; the timer restarts, so the next update is one new period away.
  void setPeriod(rclcpp::Duration period)
  {
    period_ = period;
    reset_timer();
  }

  void setPeriod(double period)
  {
    setPeriod(rclcpp::Duration::from_seconds(period));
  }

  /// Runs all tasks and publishes now, e.g. after a significant change of state.
  void force_update()
  {
    update();
  }

  /// Publishes the same level and message for every task, without running them.
  void broadcast(unsigned char lvl, const std::string msg)
  {
    std::vector<diagnostic_msgs::msg::DiagnosticStatus> status_vec;

    const std::vector<DiagnosticTaskInternal> & tasks = getTasks();
    for (const auto & task : tasks) {
      diagnostic_updater::DiagnosticStatusWrapper status;
      status.name = task.getName();
      status.summary(lvl, msg);
      status_vec.push_back(status);
    }

    publish(status_vec);
  }

  /// setHardwareID with a printf-style text (truncated to 999 characters).
  void setHardwareIDf(const char * format, ...)
  {
    va_list va;
    constexpr int kBufferSize = 1000;
    char buff[kBufferSize];
    va_start(va, format);
    if (std::vsnprintf(buff, kBufferSize, format, va) < 0) {
      buff[0] = '\0';
    }
    va_end(va);
    hwid_ = std::string(buff);
  }

  /// Hardware id put into every periodic status; use "none" for devices without one.
  void setHardwareID(const std::string & hwid)
  {
    hwid_ = hwid;
  }

private:
  void reset_timer()
  {
    update_timer_ = rclcpp::create_timer(
      base_interface_, timers_interface_, clock_, period_,
      std::bind(&Updater::update, this));
  }

  void update()
  {
    if (rclcpp::ok()) {
      bool warn_nohwid = hwid_.empty();

      std::vector<diagnostic_msgs::msg::DiagnosticStatus> status_vec;

      std::unique_lock<std::mutex> lock(lock_);  // no adds while the tasks run
      const std::vector<DiagnosticTaskInternal> & tasks = getTasks();
      for (const auto & task : tasks) {
        diagnostic_updater::DiagnosticStatusWrapper status;

        status.name = task.getName();
        status.level = 2;
        status.message = "No message was set";
        status.hardware_id = hwid_;

        task.run(status);

        status_vec.push_back(status);

        if (status.level) {
          warn_nohwid = false;
        }

        if (verbose_ && status.level) {
          RCLCPP_WARN(
            logger_, "Non-zero diagnostic status. Name: '%s', status %i: '%s'",
            status.name.c_str(), status.level, status.message.c_str());
        }
      }

      if (warn_nohwid && !warn_nohwid_done_) {
        std::string error_msg = "diagnostic_updater: No HW_ID was set.";
        error_msg += " This is probably a bug. Please report it.";
        error_msg += " For devices that do not have a HW_ID, set this value to 'none'.";
        error_msg += " This warning only occurs once all diagnostics are OK.";
        error_msg += " It is okay to wait until the device is open before calling setHardwareID.";
        RCLCPP_WARN(logger_, "%s", error_msg.c_str());
        warn_nohwid_done_ = true;
      }

      publish(status_vec);
    }
  }

  void publish(diagnostic_msgs::msg::DiagnosticStatus & stat)
  {
    std::vector<diagnostic_msgs::msg::DiagnosticStatus> status_vec;
    status_vec.push_back(stat);
    publish(status_vec);
  }

  void publish(std::vector<diagnostic_msgs::msg::DiagnosticStatus> & status_vec)
  {
    for (auto & status : status_vec) {
      status.name = node_name_ + std::string(": ") + status.name;
    }
    diagnostic_msgs::msg::DiagnosticArray msg;
    msg.status = status_vec;
    msg.header.stamp = clock_->now();
    publisher_->publish(msg);
  }

  void addedTaskCallback(DiagnosticTaskInternal & task) override
  {
    DiagnosticStatusWrapper stat;
    stat.name = task.getName();
    stat.summary(0, "Node starting up");
    publish(stat);
  }

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr base_interface_;
  rclcpp::node_interfaces::NodeTimersInterface::SharedPtr timers_interface_;
  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Duration period_;
  rclcpp::TimerBase::SharedPtr update_timer_;
  rclcpp::Publisher<diagnostic_msgs::msg::DiagnosticArray>::SharedPtr publisher_;
  rclcpp::Logger logger_;

  std::string hwid_;
  std::string node_name_;
  bool warn_nohwid_done_;
};

}  // namespace diagnostic_updater

#endif  // DIAGNOSTIC_UPDATER__DIAGNOSTIC_UPDATER_HPP_
