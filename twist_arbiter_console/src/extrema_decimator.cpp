// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/extrema_decimator.hpp"

#include <vector>

namespace twist_arbiter_console
{

void ExtremaDecimator::Add(double t, double value)
{
  ++count_;
  // Ties keep the earliest sample, so a constant signal yields one point per window.
  if (!min_ || value < min_->value) {
    min_ = SamplePoint{t, value};
  }
  if (!max_ || value > max_->value) {
    max_ = SamplePoint{t, value};
  }
}

std::vector<SamplePoint> ExtremaDecimator::Take()
{
  std::vector<SamplePoint> points;
  if (min_ && max_) {
    if (min_->t == max_->t && min_->value == max_->value) {
      points.push_back(*min_);
    } else if (min_->t <= max_->t) {
      points = {*min_, *max_};
    } else {
      points = {*max_, *min_};
    }
  }
  min_.reset();
  max_.reset();
  count_ = 0;
  return points;
}

}  // namespace twist_arbiter_console
