#pragma once

#include <span>
#include <vector>

namespace velk::characterise {

// The angle random walk of averaging windows, as the variance a mean over T seconds gets from
// white noise: ARW^2 / T. Nothing to go on gives 0.
struct WhiteNoise {
  double arw2 = 0.0;  // (deg/s)^2 s
  double edf = 0.0;   // of the estimate, under white noise
  // sigma^2(tau) = white / tau + floor + walk tau / 3, non-negative, fitted to the same points:
  // the Allan variance at T, which the difference of two adjacent T means spreads by twice.
  double white = 0.0, floor = 0.0, walk = 0.0;
  double VarianceOfMean(double seconds) const { return seconds > 0 ? arw2 / seconds : 0.0; }
  double AllanVariance(double tau) const;
};

// ARW^2 from the Allan deviation pooled over the windows (each a run of samples tau0 apart) at
// the octave taus from T/64 to T/4, T the shortest window: tau sigma^2 averaged with the
// points' white-noise EDF as weights. The chip's averaging lowers the deviation below its
// window and bias instability raises it towards T, so neither end is used.
WhiteNoise PooledWhiteNoise(std::span<const std::vector<double>> windows, double tau0);

}  // namespace velk::characterise
