#include "tests/bench/wine/bench_stats.h"

#include <algorithm>

double Stopwatch::ElapsedMs() const {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - m_start.QuadPart) / ticksPerMs;
}

namespace {

// Linear interpolation between the closest ranks of sorted samples.
double Quantile(const std::vector<double>& sorted, double fraction) {
    const double position = fraction * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<size_t>(position);
    const size_t above = std::min(below + 1, sorted.size() - 1);
    const double weight = position - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * weight;
}

}  // namespace

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    summary.count = samples.size();
    summary.median = Quantile(samples, 0.5);
    summary.q1 = Quantile(samples, 0.25);
    summary.q3 = Quantile(samples, 0.75);
    summary.min = samples.front();
    summary.max = samples.back();
    return summary;
}
