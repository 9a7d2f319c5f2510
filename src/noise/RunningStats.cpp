#include "noise/RunningStats.h"

#include <cmath>

namespace velk::noise {

void RunningStats::Bins::Add(double t, double value) {
  if (count == 0 || t >= next) {
    const auto k = static_cast<int64_t>(std::floor(t / width));
    if (count > 0 && k != current) {
      means.push_back(sum / static_cast<double>(count));
      sum = 0.0;
      count = 0;
    }
    current = k;
    next = static_cast<double>(k + 1) * width;
  }
  sum += value;
  ++count;
}

std::vector<double> RunningStats::Bins::Closed(double end) const {
  std::vector<double> out = means;
  if (count > 0 && end >= static_cast<double>(current + 1) * width - 1e-6)
    out.push_back(sum / static_cast<double>(count));
  return out;
}

void RunningStats::Reset() {
  seconds_ = Bins(1.0);
  tens_ = Bins(10.0);
  rateSum_ = tempSum_ = variances_ = 0.0;
  rates_ = temps_ = blocks_ = 0;
  filled_ = 0;
}

void RunningStats::AddRate(double t, double rate) {
  rateSum_ += rate;
  ++rates_;
  seconds_.Add(t, rate);
}

void RunningStats::AddTemp(double t, double temp) {
  tempSum_ += temp;
  ++temps_;
  tens_.Add(t, temp);
}

void RunningStats::AddCode(double code) {
  block_[filled_++] = code;
  if (filled_ == kBlockSamples) {
    AddBlock(block_.data());
    filled_ = 0;
  }
}

void RunningStats::AddBlocks(std::span<const double> codes) {
  for (size_t k = 0; k + kBlockSamples <= codes.size(); k += kBlockSamples)
    AddBlock(codes.data() + k);
}

void RunningStats::AddBlock(const double* x) {
  double sum = 0.0;
  for (size_t i = 0; i < kBlockSamples; ++i) sum += x[i];
  const double mean = sum / kBlockSamples;
  double squares = 0.0;
  for (size_t i = 0; i < kBlockSamples; ++i) squares += (x[i] - mean) * (x[i] - mean);
  variances_ += squares / (kBlockSamples - 1);
  ++blocks_;
}

StreamStats RunningStats::Stats(double end, double codeScale) const {
  StreamStats s;
  s.secondMeans = seconds_.Closed(end);
  s.tenSecondTemps = tens_.Closed(end);
  s.blocks = blocks_;
  if (blocks_ > 0)
    s.blockSpreadRms = std::sqrt(variances_ / static_cast<double>(blocks_)) * codeScale;
  if (rates_ > 0) s.meanRate = rateSum_ / static_cast<double>(rates_);
  if (temps_ > 0) s.meanTemp = tempSum_ / static_cast<double>(temps_);
  return s;
}

}  // namespace velk::noise
