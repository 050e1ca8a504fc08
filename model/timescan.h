#pragma once

#include <cmath>

// The longest time a recording can span: the device's whole flash
// (4,128,768 bytes) of 126 ms time steps.  Scans run over the flight's own
// span; this only stops damaged files with absurd time stamps from making
// them endless.
constexpr double longestRecordingSeconds = 4128768 * 0.126;

// The number of steps of the given size that cover start to end, or -1 when
// that span is not finite or longer than any recording.
inline long scanSteps(float start, float end, double step)
{
    const double span = (double(end) - double(start)) / std::fabs(step);
    if (!std::isfinite(span) || std::fabs(span) * std::fabs(step) > longestRecordingSeconds)
        return -1;
    return long(std::ceil(std::fabs(span))) + 1;
}

// Visits start, start + step, start + 2 step, ... until visit(t) returns
// false, at most as far as from start to end (visit decides where exactly it
// stops).  Times come from the step count rather than repeated addition, so
// long scans do not drift.  Nothing is visited for a span that is not finite
// or longer than any recording.
template<class Visit>
void scanTimes(float start, float end, double step, Visit visit)
{
    const long steps = scanSteps(start, end, step);
    for (long i = 0; i <= steps; ++i) {
        if (!visit(float(double(start) + double(i) * step)))
            return;
    }
}

// Visits start truncated towards zero to hundredths of a second, then every
// 0.01 s while before end, as visit(row, t) with t exact in hundredths.
// Nothing is visited for a span that is not finite or longer than any
// recording (see scanSteps).
template<class Visit>
void forEachHundredth(float start, float end, Visit visit)
{
    const double first = std::trunc(double(start * 100.0f));
    const long rows = scanSteps(float(first / 100.0), end, 0.01);
    for (long row = 0; row <= rows; ++row) {
        const double t = (first + double(row)) / 100.0;
        if (!(float(t) < end))
            return;
        visit(row, t);
    }
}
