// ComponentManagerIsolated: a ComponentManager that spins each component in its own executor
// and thread, so that one component's callbacks never wait for another's.
#ifndef RCLCPP_COMPONENTS__COMPONENT_MANAGER_ISOLATED_HPP_
#define RCLCPP_COMPONENTS__COMPONENT_MANAGER_ISOLATED_HPP_

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

#include "rclcpp_components/component_manager.hpp"

namespace rclcpp_components
{

/// ComponentManager whose components each get a dedicated ExecutorT spun on its own thread.
template<typename ExecutorT = rclcpp::executors::SingleThreadedExecutor>
class ComponentManagerIsolated : public rclcpp_components::ComponentManager
{
  using rclcpp_components::ComponentManager::ComponentManager;

  struct DedicatedExecutorWrapper
  {
    std::shared_ptr<rclcpp::Executor> executor;
    std::thread thread;
    std::shared_ptr<std::atomic_bool> finished;
  };

public:
  ~ComponentManagerIsolated()
  {
    // The base destructor would look for the components in the manager's own executor, where
    // they never were: stop their executors and drop them here.
    for (auto & entry : dedicated_executor_wrappers_) {
      cancel_executor(entry.first, entry.second);
    }
    dedicated_executor_wrappers_.clear();
    node_wrappers_.clear();
  }

protected:
  void
  add_node_to_executor(uint64_t node_id) override
  {
    auto exec = std::make_shared<ExecutorT>();
    exec->add_node(node_wrappers_[node_id].get_node_base_interface());
    DedicatedExecutorWrapper wrapper;
    wrapper.executor = exec;
    wrapper.finished = std::make_shared<std::atomic_bool>(false);
    auto finished = wrapper.finished;
    wrapper.thread = std::thread(
      [exec, finished]() {
        exec->spin();
        finished->store(true);
      });
    dedicated_executor_wrappers_[node_id] = std::move(wrapper);
  }

  void
  remove_node_from_executor(uint64_t node_id) override
  {
    auto it = dedicated_executor_wrappers_.find(node_id);
    if (it != dedicated_executor_wrappers_.end()) {
      cancel_executor(node_id, it->second);
      dedicated_executor_wrappers_.erase(it);
    }
  }

private:
  /// Stops the executor and joins its thread. cancel() is repeated until spin() has returned,
  /// because a cancel() that comes before the thread entered spin() would be lost.
  void
  cancel_executor(uint64_t node_id, DedicatedExecutorWrapper & wrapper)
  {
    while (!wrapper.finished->load()) {
      wrapper.executor->cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (wrapper.thread.joinable()) {
      wrapper.thread.join();
    }
    auto node = node_wrappers_.find(node_id);
    if (node != node_wrappers_.end()) {
      wrapper.executor->remove_node(node->second.get_node_base_interface());
    }
  }

  std::unordered_map<uint64_t, DedicatedExecutorWrapper> dedicated_executor_wrappers_;
};

}  // namespace rclcpp_components

#endif  // RCLCPP_COMPONENTS__COMPONENT_MANAGER_ISOLATED_HPP_
