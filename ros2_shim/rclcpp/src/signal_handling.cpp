#include "signal_handling.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "rcutils/logging_macros.h"
#include "rclcpp/context.hpp"

namespace rclcpp
{
namespace detail
{

namespace
{

/// Contexts that are currently valid, for get_contexts() and the signal thread.
struct ContextRegistry
{
  std::mutex mutex;
  std::vector<std::weak_ptr<Context>> contexts;
};

ContextRegistry & registry()
{
  // Never destroyed: contexts held by static objects outlive every function-local static
  // destroyed before them, and still unregister at exit.
  static auto * instance = new ContextRegistry;
  return *instance;
}

// State shared with the signal handler proper; only plain data it may touch.
int g_wake_pipe[2] = {-1, -1};
struct sigaction g_old_sigint;
struct sigaction g_old_sigterm;
volatile sig_atomic_t g_sigint_installed = 0;
volatile sig_atomic_t g_sigterm_installed = 0;

void call_previous(const struct sigaction & old, int signum, siginfo_t * info, void * context)
{
  if (old.sa_flags & SA_SIGINFO) {
    if (old.sa_sigaction) {
      old.sa_sigaction(signum, info, context);
    }
  } else if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN && old.sa_handler) {
    old.sa_handler(signum);
  }
}

extern "C" void rclcpp_signal_handler(int signum, siginfo_t * info, void * context)
{
  const int saved_errno = errno;
  if (signum == SIGINT) {
    call_previous(g_old_sigint, signum, info, context);
  } else if (signum == SIGTERM) {
    call_previous(g_old_sigterm, signum, info, context);
  }
  if (g_wake_pipe[1] >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signum);
    ssize_t written = write(g_wake_pipe[1], &byte, 1);
    (void)written;
  }
  errno = saved_errno;
}

/// Owns the pipe and the helper thread; uninstalled at the latest at exit.
class SignalHandling
{
public:
  ~SignalHandling()
  {
    uninstall();
  }

  bool install(SignalHandlerOptions options)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (installed_) {
      return false;
    }
    installed_ = true;
    options_ = options;
    if (options == SignalHandlerOptions::None) {
      return true;
    }
    if (pipe2(g_wake_pipe, O_CLOEXEC) != 0) {
      installed_ = false;
      return false;
    }
    fcntl(g_wake_pipe[1], F_SETFL, fcntl(g_wake_pipe[1], F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this]() {run();});

    struct sigaction action {};
    action.sa_sigaction = rclcpp_signal_handler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigInt) {
      sigaction(SIGINT, &action, &g_old_sigint);
      g_sigint_installed = 1;
    }
    if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigTerm) {
      sigaction(SIGTERM, &action, &g_old_sigterm);
      g_sigterm_installed = 1;
    }
    return true;
  }

  bool uninstall()
  {
    std::thread to_join;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!installed_) {
        return false;
      }
      installed_ = false;
      options_ = SignalHandlerOptions::None;
      if (g_sigint_installed) {
        sigaction(SIGINT, &g_old_sigint, nullptr);
        g_sigint_installed = 0;
      }
      if (g_sigterm_installed) {
        sigaction(SIGTERM, &g_old_sigterm, nullptr);
        g_sigterm_installed = 0;
      }
      if (g_wake_pipe[1] >= 0) {
        const unsigned char stop = 0;
        ssize_t written = write(g_wake_pipe[1], &stop, 1);
        (void)written;
      }
      to_join = std::move(thread_);
    }
    if (to_join.joinable()) {
      if (to_join.get_id() == std::this_thread::get_id()) {
        // Uninstalled from a shutdown callback run by the signal thread itself.
        to_join.detach();
        return true;
      }
      to_join.join();
    }
    close_pipe();
    return true;
  }

  bool installed()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return installed_;
  }

  SignalHandlerOptions options()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return options_;
  }

private:
  void run()
  {
    const int read_fd = g_wake_pipe[0];
    while (true) {
      unsigned char byte = 0;
      const ssize_t n = read(read_fd, &byte, 1);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0 || byte == 0) {
        break;
      }
      RCUTILS_LOG_INFO_NAMED("rclcpp", "signal_handler(signum=%d)", static_cast<int>(byte));
      for (const auto & context : rclcpp::get_contexts()) {
        if (context->get_init_options().shutdown_on_signal) {
          context->shutdown("signal handler");
        }
      }
    }
  }

  void close_pipe()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (installed_) {
      return;  // re-installed meanwhile
    }
    for (int & fd : g_wake_pipe) {
      if (fd >= 0) {
        close(fd);
        fd = -1;
      }
    }
  }

  std::mutex mutex_;
  bool installed_{false};
  SignalHandlerOptions options_{SignalHandlerOptions::None};
  std::thread thread_;
};

SignalHandling & signal_handling()
{
  keep_process_state_alive();
  static SignalHandling instance;
  return instance;
}

}  // namespace

void keep_process_state_alive()
{
  registry();
}

void register_context(const std::shared_ptr<Context> & context)
{
  auto & reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.contexts.erase(
    std::remove_if(
      reg.contexts.begin(), reg.contexts.end(),
      [&context](const std::weak_ptr<Context> & weak) {
        auto locked = weak.lock();
        return !locked || locked == context;
      }),
    reg.contexts.end());
  reg.contexts.push_back(context);
}

void unregister_context(const Context * context)
{
  auto & reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.contexts.erase(
    std::remove_if(
      reg.contexts.begin(), reg.contexts.end(),
      [context](const std::weak_ptr<Context> & weak) {
        auto locked = weak.lock();
        return !locked || locked.get() == context;
      }),
    reg.contexts.end());
}

bool install_signal_handling(SignalHandlerOptions options)
{
  return signal_handling().install(options);
}

bool uninstall_signal_handling()
{
  return signal_handling().uninstall();
}

bool signal_handling_installed()
{
  return signal_handling().installed();
}

SignalHandlerOptions current_signal_handler_options()
{
  return signal_handling().options();
}

}  // namespace detail

std::vector<Context::SharedPtr>
get_contexts()
{
  auto & reg = detail::registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  std::vector<Context::SharedPtr> result;
  for (const auto & weak : reg.contexts) {
    if (auto context = weak.lock()) {
      result.push_back(context);
    }
  }
  return result;
}

}  // namespace rclcpp
