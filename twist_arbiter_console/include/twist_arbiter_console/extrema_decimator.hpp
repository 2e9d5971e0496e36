// Copyright 2026 The twist_arbiter authors.
//
// Thins a fast signal for the page: per window at most two points, the smallest and the largest
// value in time order, so that a short spike at 1 kHz still shows in a plot drawn at 20 Hz.

#ifndef TWIST_ARBITER_CONSOLE__EXTREMA_DECIMATOR_HPP_
#define TWIST_ARBITER_CONSOLE__EXTREMA_DECIMATOR_HPP_

#include <optional>
#include <vector>

namespace twist_arbiter_console
{

struct SamplePoint
{
  double t;  // seconds (wall clock)
  double value;
};

class ExtremaDecimator
{
public:
  /// Takes one sample; samples are expected in arrival order.
  void Add(double t, double value);

  /// The extremes of everything added since the last call (none, one or two points, oldest
  /// first) and starts a new window.
  std::vector<SamplePoint> Take();

  /// Samples added since the last Take().
  std::size_t pending() const {return count_;}

private:
  std::optional<SamplePoint> min_;
  std::optional<SamplePoint> max_;
  std::size_t count_{0};
};

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__EXTREMA_DECIMATOR_HPP_
