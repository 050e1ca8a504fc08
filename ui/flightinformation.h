#pragma once

#include <QString>

class DisplayUnits;
class OKUKIPOFlight;

// The texts of a flight window's "Flight info" tab.  A value the flight
// cannot give is "n/a".
struct FlightInformation {
    QString date;
    QString latitude;
    QString longitude;
    QString boostTime;
    QString coastTime;
    QString totalFlightTime;
    QString maxAltitudeAGL;
    QString maxVelocity;
    QString maxLateralAcceleration;
    QString maxVerticalAcceleration;
    QString maxXRoll;
    QString maxYRoll;
    QString maxZRoll;
    bool padInverted = false;
    QString firmwareVersion;
};

// `groundAltitude` (metres above sea level) is what the altitude plot
// takes as ground; the apogee is given above it.
FlightInformation flightInformation(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units);
