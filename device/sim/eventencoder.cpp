#include "device/sim/eventencoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace okukipo::sim {
namespace {

// The device's fixed-point steps (one count of each field).
constexpr double AccelStep = 1.0 / 256.0;
constexpr double GyroStep = 0.07;
constexpr double BatteryStep = 0.00020294188;
constexpr double TemperatureStep = 0.01;
constexpr double LineVoltageStep = 3.3 / 16384.0;
constexpr double DegreeStep = 1.0000000116860974e-7;
constexpr double QuaternionStep = 1.0 / 32768.0;

// The nearest count within [low, high]; the device's arithmetic saturates.
long long clampedCount(double value, double low, double high)
{
    if (std::isnan(value))
        return 0;
    return std::llround(std::clamp(value, low, high));
}

template<typename Integer>
Integer saturated(double value)
{
    return Integer(clampedCount(value, double(std::numeric_limits<Integer>::min()), double(std::numeric_limits<Integer>::max())));
}

class EventBytes
{
public:
    explicit EventBytes(quint8 code) { bytes.append(char(code)); }

    EventBytes &u8(quint8 value)
    {
        bytes.append(char(value));
        return *this;
    }
    EventBytes &u16(quint16 value) { return u8(quint8(value >> 8)).u8(quint8(value)); }
    EventBytes &u24(quint32 value) { return u8(quint8(value >> 16)).u16(quint16(value)); }
    EventBytes &u32(quint32 value) { return u16(quint16(value >> 16)).u16(quint16(value)); }
    EventBytes &i16(double counts) { return u16(quint16(saturated<qint16>(counts))); }
    EventBytes &i32(double counts) { return u32(quint32(saturated<qint32>(counts))); }
    EventBytes &raw(const QByteArray &data)
    {
        bytes.append(data);
        return *this;
    }

    QByteArray bytes;
};

QByteArray encodeBattery(quint8 code, double volts)
{
    return EventBytes(code).u16(saturated<quint16>(volts / BatteryStep)).bytes;
}

quint16 flagBits(const std::array<bool, 4> &flags, int lineABit, int direction)
{
    quint16 word = 0;
    for (int line = 0; line < 4; ++line) {
        if (flags[size_t(line)])
            word |= quint16(1u << (lineABit + direction * line));
    }
    return word;
}

} // namespace

LineState lineReading(bool on, bool continuity)
{
    return {on, continuity, on ? 0.4 : (continuity ? 3.1 : 0.05)};
}

QByteArray encodeText(const QByteArray &text)
{
    const QByteArray shown = text.left(61);
    return EventBytes(TextCode).u8(quint8(shown.size())).raw(shown).bytes;
}

QByteArray encodeAccelZ(double g)
{
    return EventBytes(AccelZCode).i16(g / AccelStep).bytes;
}

QByteArray encodeAccelXY(double xG, double yG)
{
    return EventBytes(AccelXYCode).i16(xG / AccelStep).i16(yG / AccelStep).bytes;
}

QByteArray encodeGyro(double xDegPerS, double yDegPerS, double zDegPerS)
{
    return EventBytes(GyroCode).i16(xDegPerS / GyroStep).i16(yDegPerS / GyroStep).i16(zDegPerS / GyroStep).bytes;
}

QByteArray encodeMagnetometer(double x, double y, double z)
{
    return EventBytes(MagnetometerCode).i16(x).i16(y).i16(z).bytes;
}

QByteArray encodePressure(double pascals)
{
    return EventBytes(PressureCode).u24(quint32(clampedCount(pascals, 0.0, 0xFFFFFF))).bytes;
}

QByteArray encodeComputerBattery(double volts)
{
    return encodeBattery(ComputerBatteryCode, volts);
}

QByteArray encodeEjectionBattery(double volts)
{
    return encodeBattery(EjectionBatteryCode, volts);
}

QByteArray encodeTemperature(double celsius)
{
    return EventBytes(TemperatureCode).i16(celsius / TemperatureStep).bytes;
}

QByteArray encodeLine(int line, const LineState &state)
{
    const quint16 voltage = quint16(clampedCount(state.voltage / LineVoltageStep, 0.0, 0x3FFF));
    const quint16 word = quint16((state.on ? 0x8000 : 0) | (state.continuity ? 0x4000 : 0) | voltage);
    return EventBytes(quint8(LineACode + std::clamp(line, 0, 3))).u16(word).bytes;
}

QByteArray encodeGPSPosition(const GPSFix &fix)
{
    const quint8 flags = quint8((fix.solution3D ? 0x20 : 0) | std::clamp(fix.satellites, 0, 31));
    return EventBytes(GPSPositionCode)
        .i32(fix.latitude / DegreeStep)
        .i32(fix.longitude / DegreeStep)
        .i32(fix.altitude * 1000.0)
        .u8(flags)
        .bytes;
}

QByteArray encodeRSSI(int rssi)
{
    return EventBytes(RSSICode).i16(rssi).bytes;
}

QByteArray encodeStatus(const DeviceStatus &status)
{
    const quint16 word = quint16((quint16(std::clamp(status.stateCode, 0, 15)) << 12)
                                 | flagBits(status.lineAlert, 8, +1)
                                 | flagBits(status.lineContinuity, 7, -1)
                                 | flagBits(status.lineOther, 3, -1));
    return EventBytes(StatusCode).u16(word).bytes;
}

QByteArray encodeIdent(const QByteArray &text)
{
    QByteArray six = text.left(6);
    six.append(6 - six.size(), '\0');
    return EventBytes(IdentCode).raw(six).bytes;
}

QByteArray encodeGPSTime(quint32 timeOfWeekMs, quint16 week, bool timeValid, int leapSeconds)
{
    const quint8 flags = quint8((timeValid ? 0x80 : 0) | std::clamp(leapSeconds, 0, 63));
    return EventBytes(GPSTimeCode).u32(timeOfWeekMs).u16(week).u8(flags).bytes;
}

QByteArray encodeOrientation(const Quaternion &orientation)
{
    const Quaternion q = orientation.normalized();
    return EventBytes(OrientationCode)
        .i16(q.x / QuaternionStep)
        .i16(q.y / QuaternionStep)
        .i16(q.z / QuaternionStep)
        .i16(q.w / QuaternionStep)
        .bytes;
}

QByteArray encodeTimeStep(int milliseconds)
{
    constexpr int LongestStep = 126;
    QByteArray steps;
    for (int left = milliseconds; left > 0; left -= LongestStep)
        steps.append(char(0x80 | std::min(left, LongestStep)));
    return steps;
}

} // namespace okukipo::sim
