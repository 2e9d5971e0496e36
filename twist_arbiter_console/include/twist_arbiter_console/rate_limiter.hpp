// Copyright 2026 The twist_arbiter authors.
//
// Token bucket for the command endpoints: a burst of @p burst requests, refilled at @p rate per
// second. Time is passed in, so the limiter is tested without waiting.

#ifndef TWIST_ARBITER_CONSOLE__RATE_LIMITER_HPP_
#define TWIST_ARBITER_CONSOLE__RATE_LIMITER_HPP_

#include <chrono>
#include <mutex>

namespace twist_arbiter_console
{

class RateLimiter
{
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  RateLimiter(double rate_per_s, double burst);

  /// Takes one token if there is one; false means "429".
  bool Allow(TimePoint now);

private:
  std::mutex mutex_;
  double rate_;
  double burst_;
  double tokens_;
  bool started_{false};
  TimePoint last_;
};

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__RATE_LIMITER_HPP_
