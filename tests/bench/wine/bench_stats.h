// Wall-clock timing and the summary of repeated samples.
#pragma once

#include <vector>

#include "base/platform.h"

class Stopwatch {
public:
    Stopwatch() { ::QueryPerformanceCounter(&m_start); }
    double ElapsedMs() const;

private:
    LARGE_INTEGER m_start;
};

struct Summary {
    size_t count = 0;
    double median = 0;
    double q1 = 0;  // first and third quartiles
    double q3 = 0;
    double min = 0;
    double max = 0;
};

Summary Summarize(std::vector<double> samples);
