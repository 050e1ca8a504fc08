#pragma once

// Timing helpers shared by the benchmarks.

#include <algorithm>
#include <ctime>
#include <vector>

namespace bench {

// Processor time of this process so far: on a busy shared machine wall
// time mostly measures the neighbours.
inline double processorMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
