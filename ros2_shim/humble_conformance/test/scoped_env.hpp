// Copyright 2026 The twist_arbiter authors.
//
// A process environment variable set for one scope. Shared with the host layer's own tests.

#ifndef SCOPED_ENV_HPP_
#define SCOPED_ENV_HPP_

#include <cstdlib>
#include <string>

/// Sets a variable for one scope, restoring the previous value (or its absence).
class ScopedEnv
{
public:
  ScopedEnv(const char * name, const char * value)
  : name_(name)
  {
    const char * old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) {
      old_ = old;
    }
    setenv(name, value, 1);
  }
  ~ScopedEnv()
  {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

#endif  // SCOPED_ENV_HPP_
