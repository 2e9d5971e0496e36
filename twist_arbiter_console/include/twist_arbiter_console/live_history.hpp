// Copyright 2026 The twist_arbiter authors.
//
// What the page plots and lists, kept on the server: the output and the active input (decimated
// per frame, extremes kept) over the last 30 s, marks on the time axis (watchdog zeros, mode
// changes) and the controller's last 50 log lines. A new page gets all of it at once; open pages
// get only what is new since the previous frame.

#ifndef TWIST_ARBITER_CONSOLE__LIVE_HISTORY_HPP_
#define TWIST_ARBITER_CONSOLE__LIVE_HISTORY_HPP_

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "twist_arbiter_console/extrema_decimator.hpp"

namespace twist_arbiter_console
{

struct LogLine
{
  double t;
  int level;  // rcl_interfaces/msg/Log levels: 10 debug ... 50 fatal
  std::string text;
};

class LiveHistory
{
public:
  static constexpr double kWindowS = 30.0;
  static constexpr std::size_t kLogLines = 50;

  /// Samples of the output and of the active input: linear x and angular z.
  void AddOutput(double t, double linear, double angular);
  void AddInput(double t, double linear, double angular);
  /// @p kind "watchdog" or "mode".
  void AddMark(double t, const std::string & kind, const std::string & label);
  void AddLog(const LogLine & line);

  /// Moves everything added since the last call into the history, forgets what is older than
  /// the window, and returns it as {"output": {...}, "input": {...}, "marks": [...], "log": [...]}
  /// with "empty" true when nothing was new.
  nlohmann::json TakeIncrement(double now);

  /// Everything in the window, in the layout of TakeIncrement().
  nlohmann::json Full() const;

private:
  struct Series
  {
    ExtremaDecimator linear;
    ExtremaDecimator angular;
    std::deque<SamplePoint> linear_history;
    std::deque<SamplePoint> angular_history;
  };
  struct Mark
  {
    double t;
    std::string kind;
    std::string label;
  };

  static nlohmann::json SeriesJson(
    const std::deque<SamplePoint> & linear, const std::deque<SamplePoint> & angular);
  static void Move(ExtremaDecimator & from, std::deque<SamplePoint> & to,
    std::deque<SamplePoint> & fresh);

  mutable std::mutex mutex_;
  Series output_;
  Series input_;
  std::deque<Mark> marks_;
  std::deque<Mark> fresh_marks_;
  std::deque<LogLine> log_;
  std::deque<LogLine> fresh_log_;
};

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__LIVE_HISTORY_HPP_
