// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/rate_limiter.hpp"

#include <algorithm>
#include <mutex>

namespace twist_arbiter_console
{

RateLimiter::RateLimiter(double rate_per_s, double burst)
: rate_(rate_per_s), burst_(burst), tokens_(burst)
{
}

bool RateLimiter::Allow(TimePoint now)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_ && now > last_) {
    const double elapsed = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min(burst_, tokens_ + elapsed * rate_);
  }
  if (!started_ || now > last_) {
    last_ = now;
  }
  started_ = true;
  if (tokens_ < 1.0) {
    return false;
  }
  tokens_ -= 1.0;
  return true;
}

}  // namespace twist_arbiter_console
