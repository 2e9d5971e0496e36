// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/live_history.hpp"

#include <deque>
#include <mutex>
#include <string>

namespace twist_arbiter_console
{

using nlohmann::json;

namespace
{

template<typename T>
void Prune(std::deque<T> & items, double oldest)
{
  while (!items.empty() && items.front().t < oldest) {
    items.pop_front();
  }
}

json PointsJson(const std::deque<SamplePoint> & points)
{
  json array = json::array();
  for (const auto & p : points) {
    array.push_back({p.t, p.value});
  }
  return array;
}

}  // namespace

void LiveHistory::AddOutput(double t, double linear, double angular)
{
  std::lock_guard<std::mutex> lock(mutex_);
  output_.linear.Add(t, linear);
  output_.angular.Add(t, angular);
}

void LiveHistory::AddInput(double t, double linear, double angular)
{
  std::lock_guard<std::mutex> lock(mutex_);
  input_.linear.Add(t, linear);
  input_.angular.Add(t, angular);
}

void LiveHistory::AddMark(double t, const std::string & kind, const std::string & label)
{
  std::lock_guard<std::mutex> lock(mutex_);
  fresh_marks_.push_back(Mark{t, kind, label});
}

void LiveHistory::AddLog(const LogLine & line)
{
  std::lock_guard<std::mutex> lock(mutex_);
  fresh_log_.push_back(line);
  while (fresh_log_.size() > kLogLines) {
    fresh_log_.pop_front();
  }
}

void LiveHistory::Move(
  ExtremaDecimator & from, std::deque<SamplePoint> & to, std::deque<SamplePoint> & fresh)
{
  for (const auto & point : from.Take()) {
    to.push_back(point);
    fresh.push_back(point);
  }
}

json LiveHistory::SeriesJson(
  const std::deque<SamplePoint> & linear, const std::deque<SamplePoint> & angular)
{
  return {{"linear", PointsJson(linear)}, {"angular", PointsJson(angular)}};
}

json LiveHistory::TakeIncrement(double now)
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::deque<SamplePoint> out_linear, out_angular, in_linear, in_angular;
  Move(output_.linear, output_.linear_history, out_linear);
  Move(output_.angular, output_.angular_history, out_angular);
  Move(input_.linear, input_.linear_history, in_linear);
  Move(input_.angular, input_.angular_history, in_angular);

  json marks = json::array();
  for (const auto & mark : fresh_marks_) {
    marks.push_back({{"t", mark.t}, {"kind", mark.kind}, {"label", mark.label}});
    marks_.push_back(mark);
  }
  json log = json::array();
  for (const auto & line : fresh_log_) {
    log.push_back({{"t", line.t}, {"level", line.level}, {"text", line.text}});
    log_.push_back(line);
  }
  const bool empty = out_linear.empty() && in_linear.empty() && fresh_marks_.empty() &&
    fresh_log_.empty();
  fresh_marks_.clear();
  fresh_log_.clear();

  const double oldest = now - kWindowS;
  for (auto * series : {&output_, &input_}) {
    Prune(series->linear_history, oldest);
    Prune(series->angular_history, oldest);
  }
  Prune(marks_, oldest);
  while (log_.size() > kLogLines) {
    log_.pop_front();
  }
  return {
    {"output", SeriesJson(out_linear, out_angular)},
    {"input", SeriesJson(in_linear, in_angular)},
    {"marks", marks}, {"log", log}, {"empty", empty}};
}

json LiveHistory::Full() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  json marks = json::array();
  for (const auto & mark : marks_) {
    marks.push_back({{"t", mark.t}, {"kind", mark.kind}, {"label", mark.label}});
  }
  json log = json::array();
  for (const auto & line : log_) {
    log.push_back({{"t", line.t}, {"level", line.level}, {"text", line.text}});
  }
  return {
    {"output", SeriesJson(output_.linear_history, output_.angular_history)},
    {"input", SeriesJson(input_.linear_history, input_.angular_history)},
    {"marks", marks}, {"log", log}, {"empty", false}};
}

}  // namespace twist_arbiter_console
