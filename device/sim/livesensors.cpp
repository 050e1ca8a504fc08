#include "device/sim/livesensors.h"

#include "device/sim/flightlogic.h"
#include "device/sim/gpstime.h"

#include <algorithm>
#include <cmath>

namespace okukipo::sim {
namespace {

const Vector3 TurningAxis{0.3, 0.2, 0.93};
constexpr double TurningRate = 8.0; // degrees per second

} // namespace

LiveSensors::LiveSensors(const LaunchSite &site)
    : site(site)
    , random(2718)
{
}

Quaternion LiveSensors::attitudeAt(qint64 sinceStartMs)
{
    return Quaternion::fromAxisAngle(TurningAxis, TurningRate * double(sinceStartMs) * 0.001);
}

QByteArray LiveSensors::read(quint8 code, qint64 sinceStartMs, const QDateTime &utc, int pressureOffset, const Lines &lines)
{
    const Quaternion attitude = attitudeAt(sinceStartMs);
    const Vector3 gravity = attitude.conjugated().rotate({0.0, 0.0, 1.0});
    const bool firing = std::any_of(lines.states.begin(), lines.states.end(), [](const LineState &line) { return line.on; });
    switch (code) {
    case TextCode:
        return encodeText("OKU KIPO virtual flight computer ready");
    case AccelZCode:
        return encodeAccelZ(gravity[2] + noise(0.01));
    case AccelXYCode:
        return encodeAccelXY(gravity[0] + noise(0.01), gravity[1] + noise(0.01));
    case GyroCode: {
        const double length = std::sqrt(TurningAxis[0] * TurningAxis[0] + TurningAxis[1] * TurningAxis[1]
                                         + TurningAxis[2] * TurningAxis[2]);
        const double scale = TurningRate / length;
        return encodeGyro(TurningAxis[0] * scale + noise(0.2), TurningAxis[1] * scale + noise(0.2),
                          TurningAxis[2] * scale + noise(0.2));
    }
    case MagnetometerCode: {
        const Vector3 field = attitude.conjugated().rotate(EarthField);
        return encodeMagnetometer(field[0] + noise(2.0), field[1] + noise(2.0), field[2] + noise(2.0));
    }
    case PressureCode:
        return encodePressure(FlightLogic::standardPressure(site.altitude) + pressureOffset + noise(3.0));
    case ComputerBatteryCode:
        return encodeComputerBattery(8.1 + noise(0.01));
    case EjectionBatteryCode:
        return encodeEjectionBattery(9.0 - (firing ? 1.5 : 0.0) + noise(0.01));
    case TemperatureCode:
        return encodeTemperature(23.0 + noise(0.05));
    case LineACode:
    case LineACode + 1:
    case LineACode + 2:
    case LineACode + 3:
        return encodeLine(code - LineACode, lines.states[size_t(code - LineACode)]);
    case GPSPositionCode: {
        GPSFix fix;
        fix.latitude = site.latitude + noise(1.5) / MetresPerDegree;
        fix.longitude = site.longitude + noise(1.5) / (MetresPerDegree * std::cos(site.latitude * M_PI / 180.0));
        fix.altitude = site.altitude + noise(2.5);
        fix.satellites = 8 + int(sinceStartMs / 7000 % 3);
        fix.solution3D = true;
        return encodeGPSPosition(fix);
    }
    case RSSICode:
        return encodeRSSI(int(std::lround(-72.0 + noise(2.0))));
    case StatusCode: {
        DeviceStatus status;
        for (size_t line = 0; line < 4; ++line) {
            status.lineAlert[line] = lines.states[line].on;
            status.lineContinuity[line] = lines.states[line].continuity;
        }
        return encodeStatus(status);
    }
    case IdentCode:
        return encodeIdent("KIPO22");
    case GPSTimeCode: {
        const GPSWeekTime time = gpsWeekTime(utc);
        return encodeGPSTime(time.timeOfWeekMs, time.week, true, GPSLeapSeconds);
    }
    case OrientationCode:
        return encodeOrientation(attitude);
    default:
        return {};
    }
}

} // namespace okukipo::sim
