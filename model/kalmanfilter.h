#pragma once

#include "model/series.h"

#include <vector>

// What the altitude and velocity filter reads from a flight.
struct KalmanInputs {
    const Series &pressureAltitude;
    const Series &gpsAltitude;
    const Series &accelZ;
    // Times of the 3D GPS fixes, ascending.
    std::vector<float> gpsFixTimes;
    float firstEventTime = 0.0f;
    float endTime = 0.0f;
    // Where GPS and barometer are compared to bring the barometric
    // altitude into the GPS frame.
    float launchTime = 0.0f;
};

struct KalmanOutputs {
    Series altitude;
    Series velocity;
};

// Fuses barometric altitude, GPS altitude and axial acceleration into
// altitude and vertical velocity every 0.1 s, from 5 s before the first event
// to 5 s after the end.  Pure: the same inputs always give the same outputs.
KalmanOutputs runKalmanFilter(const KalmanInputs &inputs);
