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

// "2.10" for 0x0210, "2.0f" for 0x020F: the minor part always has two digits.
QString firmwareVersionText(quint16 version);
