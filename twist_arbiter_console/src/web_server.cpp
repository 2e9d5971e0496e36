// Copyright 2026 The twist_arbiter authors.

#include "web_server.hpp"

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "twist_arbiter_console/api_request.hpp"

namespace twist_arbiter_console
{

using nlohmann::json;

namespace
{

void Reply(httplib::Response & res, int status, const json & body)
{
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void Refuse(httplib::Response & res, int status, const std::string & message)
{
  Reply(res, status, json{{"success", false}, {"message", message}});
}

}  // namespace

WebServer::WebServer(ControllerWatch & watch, std::string web_root, std::string chart_js)
: watch_(watch), web_root_(std::move(web_root)), chart_js_(std::move(chart_js))
{
  server_.new_task_queue = [] {return new httplib::ThreadPool(kMaxStreams + 8);};
  server_.set_payload_max_length(kMaxBody);
  server_.set_read_timeout(5, 0);
  server_.set_write_timeout(5, 0);
  server_.set_keep_alive_timeout(5);
  server_.set_pre_routing_handler(
    [this](const httplib::Request & req, httplib::Response & res) {return Guard(req, res);});
  server_.set_default_headers({
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
        "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; "
        "frame-ancestors 'none'"}});
  Routes();
}

httplib::Server::HandlerResponse WebServer::Guard(
  const httplib::Request & req, httplib::Response & res)
{
  std::optional<std::string> query_token;
  if (req.has_param("token")) {
    query_token = req.get_param_value("token");
  }
  const auto verdict = guard_->Check(
    req.get_header_value("Host"), req.get_header_value("Origin"),
    req.get_header_value("Sec-Fetch-Site"), req.get_header_value("Cookie"), query_token);
  switch (verdict) {
    case Verdict::kAllowed:
      break;
    case Verdict::kBadHost:
      Refuse(res, 403, "unexpected Host header: reach the console by IP address or localhost");
      return httplib::Server::HandlerResponse::Handled;
    case Verdict::kBadOrigin:
      Refuse(res, 403, "cross-origin requests are refused");
      return httplib::Server::HandlerResponse::Handled;
    case Verdict::kNoToken:
      Refuse(res, 401, "open the URL with the token that the console printed at start-up");
      return httplib::Server::HandlerResponse::Handled;
  }
  if (query_token) {
    // The token moves into a cookie that scripts cannot read and other sites never send.
    res.set_header("Set-Cookie", guard_->SetCookieHeader());
    if (req.method == "GET" && req.path == "/") {
      // Out of the address bar and the history, too.
      res.set_redirect("/", 303);
      return httplib::Server::HandlerResponse::Handled;
    }
  }
  if (req.method == "POST") {
    const auto type = req.get_header_value("Content-Type");
    if (type.rfind("application/json", 0) != 0) {
      Refuse(res, 415, "command bodies must be application/json");
      return httplib::Server::HandlerResponse::Handled;
    }
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

void WebServer::ServeFile(
  const std::string & path, const std::string & type, httplib::Response & res)
{
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Refuse(res, 404, "missing page file " + path);
    return;
  }
  std::stringstream content;
  content << in.rdbuf();
  res.set_content(content.str(), type.c_str());
}

void WebServer::Command(
  const httplib::Request & req, httplib::Response & res, RateLimiter * limiter,
  const std::function<Answer(const std::string &, std::string &)> & act)
{
  if (limiter && !limiter->Allow(std::chrono::steady_clock::now())) {
    res.set_header("Retry-After", "1");
    Refuse(res, 429, "too many commands; slow down");
    return;
  }
  std::string error;
  const Answer answer = act(req.body, error);
  if (!error.empty()) {
    Refuse(res, 400, error);
    return;
  }
  Reply(res, answer.status, json{{"success", answer.success}, {"message", answer.message}});
}

void WebServer::Routes()
{
  server_.Get("/", [this](const httplib::Request &, httplib::Response & res) {
      ServeFile(web_root_ + "/index.html", "text/html; charset=utf-8", res);
    });
  server_.Get("/console.js", [this](const httplib::Request &, httplib::Response & res) {
      ServeFile(web_root_ + "/console.js", "text/javascript; charset=utf-8", res);
    });
  server_.Get("/console.css", [this](const httplib::Request &, httplib::Response & res) {
      ServeFile(web_root_ + "/console.css", "text/css; charset=utf-8", res);
    });
  server_.Get("/chart.js", [this](const httplib::Request &, httplib::Response & res) {
      ServeFile(chart_js_, "text/javascript; charset=utf-8", res);
    });
  server_.Get("/api/state", [this](const httplib::Request &, httplib::Response & res) {
      res.set_content(watch_.FullFrame(), "application/json");
    });
  server_.Get("/api/events", [this](const httplib::Request &, httplib::Response & res) {
      if (++streams_ > kMaxStreams) {
        --streams_;
        Refuse(res, 503, "too many live streams");
        return;
      }
      struct Stream
      {
        bool started{false};
        uint64_t seq{0};
      };
      auto stream = std::make_shared<Stream>();
      res.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](size_t, httplib::DataSink & sink) {
          std::string chunk;
          bool skipped = false;
          if (!stream->started) {
            stream->started = true;
            chunk = "retry: 1000\ndata: " + watch_.FullFrame(&stream->seq) + "\n\n";
          } else {
            const auto frame =
            watch_.hub().WaitAfter(stream->seq, std::chrono::seconds(2), skipped);
            if (watch_.hub().closed()) {
              sink.done();
              return true;
            }
            // A stream that fell behind missed increments: it gets everything afresh. A comment
            // line keeps idle proxies from closing the stream and finds dead peers.
            chunk = skipped ? "data: " + watch_.FullFrame(&stream->seq) + "\n\n" :
            frame ? "data: " + *frame + "\n\n" : ": idle\n\n";
          }
          return sink.write(chunk.data(), chunk.size());
        },
        [this](bool) {--streams_;});
    });

  server_.Post("/api/mode", [this](const httplib::Request & req, httplib::Response & res) {
      Command(
        req, res, &mode_limiter_, [this](const std::string & body, std::string & error) {
          const auto parsed = ParseModeRequest(body);
          error = parsed.error;
          return parsed.value ? watch_.SetMode(*parsed.value) : Answer{};
        });
    });
  server_.Post("/api/previous", [this](const httplib::Request & req, httplib::Response & res) {
      Command(
        req, res, &mode_limiter_, [this](const std::string & body, std::string & error) {
          const auto parsed = ParseReturnRequest(body);
          error = parsed.error;
          return parsed.value ? watch_.Previous(*parsed.value) : Answer{};
        });
    });
  server_.Post("/api/stop", [this](const httplib::Request & req, httplib::Response & res) {
      Command(
        req, res, &mode_limiter_, [this](const std::string & body, std::string & error) {
          const auto parsed = ParseReturnRequest(body);
          error = parsed.error;
          return parsed.value ? watch_.Reset() : Answer{};
        });
    });
  server_.Post("/api/pad", [this](const httplib::Request & req, httplib::Response & res) {
      Command(
        req, res, &pad_limiter_, [this](const std::string & body, std::string & error) {
          const auto parsed = ParsePadRequest(body);
          error = parsed.error;
          return parsed.value ? watch_.Pad(*parsed.value) : Answer{};
        });
    });
  // Letting go is never rate-limited nor refused: it can only stop the robot.
  server_.Post("/api/pad/release", [this](const httplib::Request &, httplib::Response & res) {
      watch_.PadRelease();
      Reply(res, 200, json{{"success", true}, {"message", "released"}});
    });
}

int WebServer::Bind(const std::string & address, int port)
{
  if (port == 0) {
    return server_.bind_to_any_port(address);
  }
  return server_.bind_to_port(address, port) ? port : -1;
}

bool WebServer::Run()
{
  return server_.listen_after_bind();
}

void WebServer::Stop()
{
  watch_.hub().Close();
  server_.stop();
}

}  // namespace twist_arbiter_console
