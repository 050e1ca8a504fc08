#pragma once

#include "device/sim/quaternion.h"
#include "model/flight.h"
#include "model/settings.h"

#include <QByteArray>
#include <QDateTime>
#include <memory>

// Realistic recorded flights for the virtual flight computer, tests and
// benchmarks.  A point-mass rocket (constant thrust, quadratic drag,
// parachute) is simulated in 1 ms steps; the flight computer's own flight
// logic (device/sim/flightlogic.h) runs on the noisy sensor values every
// 10 ms, decides the flight phase and fires the lines (the parachute opens
// when an apogee line fires), and every event type is written to the flash
// bytes at its write period from the settings record times the phase's
// write multiple, exactly as the device records.
namespace okukipo::sim {

struct LaunchSite {
    const char *name;
    double latitude;  // degrees north
    double longitude; // degrees east
    double altitude;  // metres above sea level
};

LaunchSite blackRockDesert();
LaunchSite lucerneDryLake();

// Metres along a meridian per degree of latitude (a degree of longitude is
// this times the cosine of the latitude).
constexpr double MetresPerDegree = 111320.0;
// The earth's field at the launch sites in magnetometer counts, in the world
// frame (x east, y north, z up): north and down.
constexpr Vector3 EarthField{0.0, 220.0, -430.0};

struct FlightProfile {
    double targetApogee = 300.0; // metres above the pad
    double padSeconds = 20.0;    // recorded on the pad before ignition
    double burnSeconds = 1.5;
    double descentRate = 6.0;    // metres per second under the parachute
    double windSpeed = 3.0;      // drift towards the east, metres per second
    // Kept recording after the logic has detected the landing, when the
    // ground write multiple is not 0 (0 stops the recording at once).
    double groundSeconds = 10.0;
    // The GPS receiver loses its fix for gpsGapSeconds from gpsGapStart
    // (seconds from the first recorded event); no positions are written then.
    double gpsGapStart = 0.0;
    double gpsGapSeconds = 0.0;
    // A test on the pad: no ignition, padSeconds recorded, then power off.
    bool groundTest = false;
    // Board mounted with its Z axis pointing down the rocket: the vertical
    // acceleration reads negative.
    bool upsideDown = false;
    LaunchSite site = blackRockDesert();
    QDateTime startTime = QDateTime(QDate(2026, 6, 13), QTime(16, 0), Qt::UTC);
    quint32 seed = 1;
};

// What really happened, in seconds on the clock of the parsed flight
// (0 at the first recorded event, so launchTime equals padSeconds when the
// pad write multiple is not 0).
struct FlightTruth {
    bool launched = false;
    double launchTime = 0.0;     // ignition
    double burnoutTime = 0.0;
    double burnoutVelocity = 0.0; // metres per second, the fastest climb
    double thrustToWeight = 0.0;  // what the accelerometer reads at ignition, in g
    double apogeeTime = 0.0;     // highest point
    double apogeeAltitude = 0.0; // metres above the pad
    double deploymentTime = 0.0; // parachute opens
    double landingTime = 0.0;    // touchdown
    double endTime = 0.0;        // last recorded event
    double groundPressure = 0.0; // pascals at the pad, without noise
};

struct RecordedFlight {
    // Flight marker, settings record and events, as they stand in flash.
    QByteArray bytes;
    FlightTruth truth;
};

// The settings record of a virtual device fresh from the factory: the
// default record with the virtual firmware's version and a valid checksum.
OKUKIPOSettings factorySettings();

RecordedFlight recordFlight(const FlightProfile &profile, const OKUKIPOSettings &settings = factorySettings());

// The recorded flight as the flash parser delivers it (note that the parser
// drops the last recorded event).
std::shared_ptr<OKUKIPOFlight> simulatedFlight(const FlightProfile &profile, FlightTruth *truth = nullptr,
                                               const OKUKIPOSettings &settings = factorySettings());

// The flights a virtual device holds when it is switched on: a small flight,
// a high one with the board upside down and a GPS gap, and a ground test.
QByteArray demoFlashImage();

// Recorded flights one after another until exactly `size` bytes; the last
// flight is cut off where the size ends.
QByteArray filledFlashImage(int size);

} // namespace okukipo::sim
