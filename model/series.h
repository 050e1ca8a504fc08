#pragma once

#include "model/bulkmemory.h"

#include <vector>

// One sample of an analysis series.  aux is carried through sampling but
// the analysis always stores 0 there.
struct SeriesPoint {
    float time = 0.0f;
    float value = 0.0f;
    float aux = 0.0f;
};

// Points in ascending time order.
using Series = std::vector<SeriesPoint, okukipo::bulkmemory::Allocator<SeriesPoint>>;

// Reads a series at any time through a cubic Hermite spline between the two
// neighbouring points.  Before the first point (after the last) it holds that
// point's value; a series of fewer than 4 points reads as (0, 0, 0).  The
// returned time is t itself to single precision.
SeriesPoint sampleSeries(const Series &series, float t);

// Altitude above mean sea level, in metres, of a pressure in pascals.
float barometricAltitude(float pressure);

// The first time, and the value there, at which a series read every `step`
// seconds from start while before end is highest (or lowest); the candidate
// time stands unless a sample beats it.
enum class Extreme { Highest, Lowest };
SeriesPoint firstExtreme(const Series &series, Extreme extreme, float candidate, float start, float end, double step);
