#pragma once

#include "device/sim/quaternion.h"

#include <QByteArray>
#include <array>

// The flight computer's side of the event byte format: physical values in,
// code byte plus big-endian payload out.  The same bytes answer live reads and
// fill the flash image, so both the virtual device and the flight recorder use
// these functions.  Values beyond a field's range are clamped, as the device's
// fixed-point arithmetic saturates.
namespace okukipo::sim {

enum EventCode : quint8 {
    TextCode = 0x01,
    AccelZCode = 0x02,
    PressureCode = 0x03,
    ComputerBatteryCode = 0x04,
    EjectionBatteryCode = 0x05,
    TemperatureCode = 0x06,
    LineACode = 0x07, // lines B to D follow
    AccelXYCode = 0x0B,
    GyroCode = 0x0C,
    MagnetometerCode = 0x0D,
    GPSPositionCode = 0x0E,
    RSSICode = 0x0F,
    StatusCode = 0x10,
    IdentCode = 0x11,
    GPSTimeCode = 0x12,
    FlightMarker = 0x13,
    OrientationCode = 0x15,
};

struct LineState {
    bool on = false;         // the output is firing
    bool continuity = false; // a load is connected
    double voltage = 0.0;    // measured at the line, at most 3.3 V
};

// A line's reading: a firing line pulls its sense voltage down, a connected
// load (an e-match) shows the battery through the divider.
LineState lineReading(bool on, bool continuity);

// Flight-logic state as carried in the top four bits of the status word.
struct DeviceStatus {
    int stateCode = 0;
    std::array<bool, 4> lineAlert{};
    std::array<bool, 4> lineContinuity{};
    std::array<bool, 4> lineOther{};
};

struct GPSFix {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double altitude = 0.0;  // metres above sea level
    int satellites = 0;
    bool solution3D = false;
};

// Live text: length byte then at most 61 characters (a reply holds 63 data bytes).
QByteArray encodeText(const QByteArray &text);
QByteArray encodeAccelZ(double g);
QByteArray encodeAccelXY(double xG, double yG);
QByteArray encodeGyro(double xDegPerS, double yDegPerS, double zDegPerS);
QByteArray encodeMagnetometer(double x, double y, double z); // raw counts
QByteArray encodePressure(double pascals);
QByteArray encodeComputerBattery(double volts);
QByteArray encodeEjectionBattery(double volts);
QByteArray encodeTemperature(double celsius);
QByteArray encodeLine(int line, const LineState &state); // line 0 to 3 = A to D
QByteArray encodeGPSPosition(const GPSFix &fix);
QByteArray encodeRSSI(int rssi);
QByteArray encodeStatus(const DeviceStatus &status);
// Exactly six characters, padded with zero bytes.
QByteArray encodeIdent(const QByteArray &text);
QByteArray encodeGPSTime(quint32 timeOfWeekMs, quint16 week, bool timeValid, int leapSeconds);
QByteArray encodeOrientation(const Quaternion &orientation);

// Time-delta bytes for a gap of the given milliseconds: one byte carries at
// most 126 ms because 0xFF is erased flash, so longer gaps take several.
QByteArray encodeTimeStep(int milliseconds);

} // namespace okukipo::sim
