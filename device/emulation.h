#pragma once

#include "device/okukipodevice.h"

#include <QByteArray>
#include <QString>
#include <array>

// The file formats and conversions of on-device flight emulation.

extern const char EmulationResultHeader[];

// Emulated pressure altitudes are limited to this height.
constexpr double EmulationAltitudeLimit = 30000.0;

// Pressure in pascals of the standard atmosphere at an altitude in metres
// (single precision, as the device computes it).
float standardPressure(float altitude);

// One line of the emulation data file.
struct EmulationSample {
    double time = 0;
    double pressureAltitude = 0;
    double gpsAltitude = 0;
    int gpsValid = 0;
    std::array<double, 3> accel{}; // m/s^2
    std::array<double, 3> gyro{};  // deg/s
};

// Reads the ten comma-separated fields of an input line; false when a field
// is missing (the input ends there).  A field that is no number reads as 0.
bool parseEmulationLine(const QByteArray &line, EmulationSample &sample);

// The sample in the device's units.
OKUEmulationInput emulationInput(const EmulationSample &sample);

// "pad", "boost", ... for the device's flight state.
QString emulationStateName(int state);

// The results file line for one sample (no line end).
QByteArray emulationResultLine(double time, const OKUEmulationResult &result);
