// Copyright 2026 The twist_arbiter authors.
//
// The console's HTTP side on cpp-httplib: the page and its assets, a JSON API for the mode
// services and the pad, and the live stream as server-sent events. Every request passes the
// access guard first; bodies are bounded, command endpoints rate-limited.

#ifndef WEB_SERVER_HPP_
#define WEB_SERVER_HPP_

#include <atomic>
#include <memory>
#include <string>

#include <httplib.h>

#include "controller_watch.hpp"
#include "twist_arbiter_console/access_guard.hpp"
#include "twist_arbiter_console/rate_limiter.hpp"

namespace twist_arbiter_console
{

class WebServer
{
public:
  /// Request bodies above this many bytes are refused with 413.
  static constexpr std::size_t kMaxBody = 4096;
  /// Live streams at once; each holds one worker thread.
  static constexpr int kMaxStreams = 8;

  WebServer(ControllerWatch & watch, std::string web_root, std::string chart_js);

  /// Binds; returns the port, or -1. Must precede Run().
  int Bind(const std::string & address, int port);
  /// The guard needs the bound port; set it before Run().
  void SetGuard(std::unique_ptr<AccessGuard> guard) {guard_ = std::move(guard);}
  /// Serves until Stop().
  bool Run();
  void Stop();

private:
  void Routes();
  httplib::Server::HandlerResponse Guard(const httplib::Request & req, httplib::Response & res);
  void ServeFile(const std::string & path, const std::string & type, httplib::Response & res);
  void Command(
    const httplib::Request & req, httplib::Response & res, RateLimiter * limiter,
    const std::function<Answer(const std::string &, std::string &)> & act);

  ControllerWatch & watch_;
  std::string web_root_;
  std::string chart_js_;
  std::unique_ptr<AccessGuard> guard_;
  httplib::Server server_;
  RateLimiter mode_limiter_{5.0, 10.0};
  RateLimiter pad_limiter_{40.0, 40.0};
  std::atomic<int> streams_{0};
};

}  // namespace twist_arbiter_console

#endif  // WEB_SERVER_HPP_
