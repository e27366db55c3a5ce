#include "Statistics.h"

#include <algorithm>
#include <cmath>

namespace bench {

double Quantile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0.0;
    const size_t rank = static_cast<size_t>(std::lround(p * static_cast<double>(samples.size() - 1)));
    std::nth_element(samples.begin(), samples.begin() + rank, samples.end());
    return samples[rank];
}

double WorstDeviation(const std::vector<double>& samples, double reference) {
    double worst = 0.0;
    for (double s : samples) worst = std::max(worst, std::fabs(s - reference));
    return worst;
}

std::vector<double> Intervals(const std::vector<double>& times) {
    std::vector<double> out;
    for (size_t i = 1; i < times.size(); ++i) out.push_back(times[i] - times[i - 1]);
    return out;
}

}  // namespace bench
