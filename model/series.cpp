#include "model/series.h"

#include "model/timescan.h"

#include <cmath>

namespace {

SeriesPoint operator-(const SeriesPoint &a, const SeriesPoint &b)
{
    return {a.time - b.time, a.value - b.value, a.aux - b.aux};
}

SeriesPoint operator*(const SeriesPoint &p, float factor)
{
    return {p.time * factor, p.value * factor, p.aux * factor};
}

SeriesPoint withTime(SeriesPoint p, float t)
{
    p.time = t;
    return p;
}

// Index i of the segment [i, i + 1] that holds t; the first or last segment
// when t lies outside the series.
std::size_t segmentIndex(const Series &series, float t)
{
    const std::size_t n = series.size();
    std::size_t lo = 0;
    std::size_t hi = n;
    std::size_t m = n / 2;
    while (lo + 1 < hi) {
        if (t >= series[m].time)
            lo = m;
        else
            hi = m;
        m = (lo + hi) / 2;
    }
    return m >= n - 1 ? m - 1 : m;
}

struct HermiteSegment {
    SeriesPoint p0, p1, m0, m1;

    float component(float u, float SeriesPoint::*c) const
    {
        const float u2 = u * u;
        const float u3 = u2 * u;
        const float h00 = 2.0f * u3 - 3.0f * u2 + 1.0f;
        const float h10 = u3 - 2.0f * u2 + u;
        const float h01 = (3.0f - 2.0f * u) * u2;
        const float h11 = u3 - u2;
        return h00 * (p0.*c) + h01 * (p1.*c) + h10 * (m0.*c) + h11 * (m1.*c);
    }
};

// The end segments use half the central difference at their inner end and a
// flat tangent at the outer one; inner segments use a tenth of it, which
// keeps the curve close to the chord between unevenly spaced samples.
HermiteSegment hermiteSegment(const Series &p, std::size_t i)
{
    const std::size_t n = p.size();
    HermiteSegment segment{p[i], p[i + 1], {}, {}};
    if (i == 0) {
        segment.m0.time = p[1].time - p[0].time;
        segment.m1 = (p[2] - p[0]) * 0.5f;
    } else if (i == n - 2) {
        segment.m0 = (p[i + 1] - p[i - 1]) * 0.5f;
        segment.m1.time = p[i + 1].time - p[i].time;
    } else {
        segment.m0 = (p[i + 1] - p[i - 1]) * 0.1f;
        segment.m1 = (p[i + 2] - p[i]) * 0.1f;
    }
    return segment;
}

} // namespace

SeriesPoint sampleSeries(const Series &series, float t)
{
    if (series.size() < 4)
        return {};
    const std::size_t i = segmentIndex(series, t);
    const SeriesPoint &first = series[i];
    const SeriesPoint &second = series[i + 1];
    if (t < first.time)
        return withTime(first, t);
    if (t > second.time)
        return withTime(second, t);
    // Two points at the same time: no curve between them to follow.
    if (!(second.time > first.time))
        return withTime(second, t);

    const HermiteSegment segment = hermiteSegment(series, i);
    float lo = 0.0f;
    float hi = 1.0f;
    float u = (t - first.time) / (second.time - first.time);
    for (int round = 0; round < 16; ++round) {
        if (t >= segment.component(u, &SeriesPoint::time))
            lo = u;
        else
            hi = u;
        u = (lo + hi) / 2.0f;
    }
    return {segment.component(u, &SeriesPoint::time), segment.component(u, &SeriesPoint::value),
            segment.component(u, &SeriesPoint::aux)};
}

float barometricAltitude(float pressure)
{
    return (1.0f - std::pow(pressure * 9.869233e-06f, 0.190263f)) * 44330.32f;
}

SeriesPoint firstExtreme(const Series &series, Extreme extreme, float candidate, float start, float end, double step)
{
    // Times are the requested ones: a series too short to read gives time 0.
    SeriesPoint best = sampleSeries(series, candidate);
    best.time = candidate;
    scanTimes(start, end, step, [&](float t) {
        if (!(t < end))
            return false;
        SeriesPoint sample = sampleSeries(series, t);
        sample.time = t;
        if (extreme == Extreme::Highest ? sample.value > best.value : sample.value < best.value)
            best = sample;
        return true;
    });
    return best;
}
