// Copyright 2026 The twist_arbiter authors.
//
// State of the stop input: engaged or released, and why.
//
// A stop button publishes std_msgs/msg/Bool: `true` engages the stop, `false` releases it. With a
// heartbeat the button must also keep talking: silence for one heartbeat engages the stop, and
// so does start-up until the first `false` (a dead button stops the robot). Release never
// resumes a mode; an operator sets one again.
//
// The latch knows no node: it takes what arrived and whether the heartbeat ran out, says
// whether the state changed, and words the log lines and the service refusal.

#ifndef TWIST_ARBITER__STOP_LATCH_HPP_
#define TWIST_ARBITER__STOP_LATCH_HPP_

#include <string>

namespace twist_arbiter
{

class StopLatch
{
public:
  /// @p topic is the stop topic as the texts name it (resolved); @p heartbeat in seconds, 0 for
  /// none. With a heartbeat the latch starts engaged, without one released.
  StopLatch(std::string topic, double heartbeat);

  bool engaged() const {return engaged_;}

  /// One message on the stop topic. Returns whether the state changed: `true` engages a
  /// released latch, `false` releases an engaged one. A `true` while engaged keeps the latch
  /// engaged but names the button as the reason from then on.
  bool Receive(bool stop);

  /// The heartbeat ran out: one heartbeat without any message. Returns whether that engaged
  /// the latch (it does nothing to an engaged one).
  bool HeartbeatExpired();

  /// WARN line for an engagement, naming the topic and the reason. @p ended_mode is the name
  /// of the mode the engagement reset to none, or empty if none was already current.
  std::string EngagedText(const std::string & ended_mode = "") const;

  /// INFO line for a release.
  std::string ReleasedText() const;

  /// Answer of a set or previous request refused while the latch is engaged.
  std::string RefusalText() const;

private:
  std::string topic_;
  double heartbeat_;
  bool engaged_;
  std::string reason_;
};

}  // namespace twist_arbiter

#endif  // TWIST_ARBITER__STOP_LATCH_HPP_
