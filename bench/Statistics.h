// Order statistics of a set of samples.
#pragma once

#include <vector>

namespace bench {

// The p-quantile (0..1) by nearest rank; 0 for no samples.
double Quantile(std::vector<double> samples, double p);
inline double Median(const std::vector<double>& samples) { return Quantile(samples, 0.5); }

// Largest distance of a sample from `reference`; 0 for no samples.
double WorstDeviation(const std::vector<double>& samples, double reference);

// Differences between consecutive times.
std::vector<double> Intervals(const std::vector<double>& times);

}  // namespace bench
