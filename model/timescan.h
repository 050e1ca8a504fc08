#pragma once

#include <cmath>

// No scan of the analysis covers more than this: far longer than the
// device's flash can record, yet it keeps the work bounded for damaged
// files whose time stamps are absurd.
constexpr double maxScanSeconds = 4.0 * 3600.0;

// Visits start, start + step, start + 2 step, ... until visit(t) returns
// false.  Times come from the step count rather than repeated addition, so
// long scans do not drift.
template<class Visit>
void scanTimes(float start, double step, Visit visit)
{
    const long steps = long(maxScanSeconds / std::fabs(step));
    for (long i = 0; i <= steps; ++i) {
        if (!visit(float(double(start) + double(i) * step)))
            return;
    }
}

// Visits start truncated towards zero to hundredths of a second, then every
// 0.01 s while before end, as visit(row, t) with t exact in hundredths.
template<class Visit>
void forEachHundredth(float start, float end, Visit visit)
{
    const double first = std::trunc(double(start * 100.0f));
    const long rows = long(maxScanSeconds * 100.0);
    for (long row = 0; row <= rows; ++row) {
        const double t = (first + double(row)) / 100.0;
        if (!(float(t) < end))
            return;
        visit(row, t);
    }
}
