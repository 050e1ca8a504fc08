#pragma once

// Flights made by hand: records added at their place in time, and a
// drag-free vertical flight worked out by hand: 2 s of boost at 10 g read
// (9 g net) from 10 s, a ballistic coast, a 30 m/s descent, 20 s on the ground.

#include "model/flight.h"

#include <algorithm>
#include <cmath>

// Adds a record at its place in time.
template<class Event>
Event *insertEvent(OKUKIPOFlight &flight, float t)
{
    auto *event = new Event;
    event->time = t;
    const auto later = [](const OKUEvent *a, const OKUEvent *b) { return a->time < b->time; };
    flight.events.insert(std::upper_bound(flight.events.begin(), flight.events.end(), event, later), event);
    return event;
}

inline float maxValue(const Series &series)
{
    float best = -1e30f;
    for (const SeriesPoint &p : series)
        best = std::max(best, p.value);
    return best;
}

namespace vertical {

constexpr float padAltitude = 300.0f, launchAt = 10.0f, burnoutAt = 12.0f, descentRate = 30.0f;
constexpr float boostAcceleration = 9.0f * 9.81f;
constexpr float burnoutVelocity = boostAcceleration * (burnoutAt - launchAt);
constexpr float burnoutHeight = 0.5f * burnoutVelocity * (burnoutAt - launchAt);
constexpr float apogeeAt = burnoutAt + burnoutVelocity / 9.81f;
constexpr float apogeeHeight = burnoutHeight + burnoutVelocity * burnoutVelocity / (2.0f * 9.81f);
constexpr float landingAt = apogeeAt + apogeeHeight / descentRate;
constexpr float endAt = landingAt + 20.0f;

inline float heightAt(float t) // above the pad
{
    if (t < burnoutAt)
        return t < launchAt ? 0.0f : 0.5f * boostAcceleration * (t - launchAt) * (t - launchAt);
    if (t < apogeeAt)
        return burnoutHeight + burnoutVelocity * (t - burnoutAt) - 0.5f * 9.81f * (t - burnoutAt) * (t - burnoutAt);
    return std::max(apogeeHeight - descentRate * (t - apogeeAt), 0.0f);
}

// What the accelerometer reads, in g: the thrust in boost, nothing while
// falling freely, gravity at rest and under the parachute.
inline float accelerometerAt(float t)
{
    return t >= launchAt && t < burnoutAt ? 10.0f : t >= burnoutAt && t < apogeeAt ? 0.0f : 1.0f;
}

inline float pressureAt(float altitude) // inverse of h = 44330.32 (1 - (p / 101325)^0.190263)
{
    return float(101325.0 * std::pow(1.0 - double(altitude) / 44330.32, 1.0 / 0.190263));
}

// The flight as records: pressure every 50 ms, acceleration every 10 ms.
inline void record(OKUKIPOFlight &flight)
{
    for (int i = 0; i * 0.01f < endAt; ++i) {
        const float t = i * 0.01f;
        if (i % 5 == 0) {
            auto *pressure = new OKUEvent_Pressure;
            pressure->time = t;
            pressure->pressure = pressureAt(padAltitude + heightAt(t));
            flight.events.push_back(pressure);
        }
        auto *accel = new OKUEvent_AccelZ;
        std::tie(accel->time, accel->accelZ) = std::make_pair(t, accelerometerAt(t));
        flight.events.push_back(accel);
    }
}

} // namespace vertical
