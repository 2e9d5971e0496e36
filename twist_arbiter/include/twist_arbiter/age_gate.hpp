// Copyright 2026 The twist_arbiter authors.
//
// The age gate of a stamped input: whether a command is recent enough to drive the robot.
//
// A link that stalls and then delivers a burst of old commands must not replay them on the
// robot. A stamped command says when it was made; the gate compares that with the node clock
// and keeps only commands within max_age of now, in either direction (a stamp far in the future
// is as untrustworthy as an old one). A zero stamp means the sender never set it.
//
// Plain integer arithmetic on nanoseconds, no node and no clock: the caller passes "now".

#ifndef TWIST_ARBITER__AGE_GATE_HPP_
#define TWIST_ARBITER__AGE_GATE_HPP_

#include <cstdint>
#include <string>

namespace twist_arbiter
{

/// What the gate made of one stamp.
enum class StampVerdict
{
  kFresh,     ///< within max_age of now, either way (the limit itself included)
  kTooOld,    ///< older than max_age
  kInFuture,  ///< more than max_age ahead of now
  kZero,      ///< sec and nanosec both zero: the sender did not stamp it
};

struct StampCheck
{
  StampVerdict verdict;
  /// now - stamp in nanoseconds (negative: the stamp lies ahead). Saturated at the int64 range
  /// for absurd stamps; 0 for a zero stamp.
  int64_t age_ns;
};

/// Nanoseconds of a builtin_interfaces/msg/Time given as its two fields. A negative `sec`
/// (which rclcpp::Time refuses with an exception) is valid here: a stamp before the epoch.
int64_t StampNanoseconds(int32_t sec, uint32_t nanosec);

/// @p max_age seconds as nanoseconds, rounded to the nearest. @p max_age must have passed
/// CheckMaxAge (finite, >= 0, fits int64 nanoseconds).
int64_t MaxAgeNanoseconds(double max_age);

/// Judges the stamp (@p sec, @p nanosec) at node time @p now_ns against @p max_age_ns (> 0).
/// A stamp exactly max_age old, or exactly max_age ahead, is still fresh.
StampCheck CheckStamp(int32_t sec, uint32_t nanosec, int64_t now_ns, int64_t max_age_ns);

/// The stamp as a log phrase: "stamped 1.234 s ago", "stamped 0.500 s in the future" or
/// "with a zero stamp". Only meaningful for a verdict other than kFresh.
std::string DescribeStamp(const StampCheck & check);

}  // namespace twist_arbiter

#endif  // TWIST_ARBITER__AGE_GATE_HPP_
