#pragma once

// Flights recorded by the virtual flight computer's flight model, for the
// analysis and export tests, and the moments every real flight must get right.

#include "device/sim/flightmodel.h"
#include "approx.h"
#include "model/events.h"
#include "model/flight.h"

#include <QtTest>
#include <algorithm>
#include <memory>

using okukipo::sim::FlightProfile;
using okukipo::sim::FlightTruth;

// A recorded flight analysed as after loading.
inline std::shared_ptr<OKUKIPOFlight> analysedFlight(const FlightProfile &profile = FlightProfile(),
                                                     FlightTruth *truth = nullptr)
{
    const auto flight = okukipo::sim::simulatedFlight(profile, truth);
    flight->processFlight();
    return flight;
}

// The largest value of a series.
inline float maxValue(const Series &series)
{
    float best = -1e30f;
    for (const SeriesPoint &p : series)
        best = std::max(best, p.value);
    return best;
}

// The moments against what really happened.
inline void checkMoments(const OKUKIPOFlight &flight, const FlightTruth &truth)
{
    QVERIFY(flight.isFlight());
    // The first full second of boost, found from interpolated samples that
    // start rising between the last pad sample and ignition.
    QCOMPARE_NEAR(flight.launchTime(), truth.launchTime, 0.15);
    QCOMPARE_NEAR(flight.peakVelocityTime(), truth.burnoutTime, 0.3);
    QCOMPARE_NEAR(flight.apogeeTime(), truth.apogeeTime, 0.5);
    // Still air for a second or so after touchdown; a slow descent already
    // looks still a little before.
    QVERIFY2(flight.landingTime() > truth.landingTime - 0.5 && flight.landingTime() < truth.landingTime + 1.5,
             qPrintable(QString::number(double(flight.landingTime()))));
    QCOMPARE_NEAR(flight.endTime(), truth.endTime, 0.001 * truth.endTime + 0.01);
}

// The ground station's radio keeps reporting its signal strength, ten
// times a second, after the recording has ended.
inline void appendRadioTail(OKUKIPOFlight &flight, float seconds)
{
    const float end = flight.events.empty() ? 0.0f : flight.events.back()->time;
    for (int k = 1; k <= int(seconds * 10.0f); ++k) {
        auto *rssi = new OKUEvent_RSSI;
        rssi->time = end + 0.1f * float(k);
        rssi->rssi = -70.0f;
        flight.events.push_back(rssi);
    }
}
