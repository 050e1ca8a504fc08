#include "device/emulation.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

const char EmulationResultHeader[] =
    "Time [s],State,Altitude [m],Velocity [m/s],Acceleration [m/s^2],Line A,Line B,Line C,Line D,"
    "Orientation quaturnion w,Orientation quaturnion x,Orientation quaturnion y,Orientation quaturnion z,"
    "Angle (device frame) [deg.]";

namespace {

constexpr int EmulationFieldCount = 10;
constexpr double AccelCountsPerMs2 = 26.0958194732666; // 256 / 9.80665
constexpr double GyroCountsPerDegS = 14.285714149475098; // 1 / 0.07
constexpr double DegreesPerRadian = 57.29577951308232;
constexpr int FiredLineValue = 100;

// The device takes 16-bit counts; larger values wrap as the device would,
// endless ones stop at the ends of the range.
qint16 lowSixteenBits(double value)
{
    if (std::isnan(value))
        return 0;
    if (std::isinf(value))
        return value > 0 ? std::numeric_limits<qint16>::max() : std::numeric_limits<qint16>::min();
    const double wrapped = std::fmod(std::trunc(value), 65536.0);
    return qint16(quint16(qint32(wrapped) & 0xFFFF));
}

// A value the device's integer cannot hold is held at its range's ends.
template <typename Integer>
Integer clampedInteger(double value)
{
    using Limits = std::numeric_limits<Integer>;
    return Integer(std::trunc(std::clamp(value, double(Limits::min()), double(Limits::max()))));
}

// A field that is no number (text, or "nan") reads as 0; "inf" and values
// beyond what a double holds read as infinities and are clamped on conversion.
double numberField(const QByteArray &field)
{
    const double value = std::strtod(field.constData(), nullptr);
    return std::isnan(value) ? 0.0 : value;
}

} // namespace

float standardPressure(float altitude)
{
    return 101325.0f * std::pow(1.0f - 2.2557924e-05f * altitude, 5.255882740020752f);
}

bool parseEmulationLine(const QByteArray &line, EmulationSample &sample)
{
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (fields.size() < EmulationFieldCount)
        return false;
    auto number = [&fields](int index) { return numberField(fields.at(index)); };
    sample.time = number(0);
    sample.pressureAltitude = number(1);
    sample.gpsAltitude = number(2);
    sample.gpsValid = int(std::strtol(fields.at(3).constData(), nullptr, 10));
    for (int axis = 0; axis < 3; ++axis) {
        sample.accel[axis] = number(4 + axis);
        sample.gyro[axis] = number(7 + axis);
    }
    return true;
}

OKUEmulationInput emulationInput(const EmulationSample &sample)
{
    OKUEmulationInput input;
    const float altitude = float(std::min(sample.pressureAltitude, EmulationAltitudeLimit));
    input.pressure = clampedInteger<quint32>(standardPressure(altitude));
    input.gpsAltitudeMm = clampedInteger<qint32>(sample.gpsAltitude * 1000);
    input.gpsValid = quint8(sample.gpsValid);
    for (int axis = 0; axis < 3; ++axis) {
        input.accel[axis] = lowSixteenBits(sample.accel[axis] * AccelCountsPerMs2);
        input.gyro[axis] = lowSixteenBits(sample.gyro[axis] * GyroCountsPerDegS);
    }
    return input;
}

QString emulationStateName(int state)
{
    static const char *const names[] = {"pad", "boost", "boost end", "coast", "apogee", "decent", "ground"};
    if (state >= 0 && state < int(std::size(names)))
        return QString::fromLatin1(names[state]);
    return QStringLiteral("unknown: ") + QString::number(state);
}

QByteArray emulationResultLine(double time, const OKUEmulationResult &result)
{
    const float acceleration = float(double(result.acceleration) + 9.81);
    // Rounding can carry w² − x² − y² + z² just past ±1, where acos has no value.
    const double cosine = std::clamp(double(result.w) * result.w - double(result.x) * result.x
                                         - double(result.y) * result.y + double(result.z) * result.z,
                                     -1.0, 1.0);
    std::ostringstream line;
    line << time << ',' << emulationStateName(result.state).toStdString() << ',' << result.altitude << ','
         << result.velocity << ',' << acceleration;
    for (quint8 lineState : result.lines)
        line << ',' << (lineState >= 1 ? FiredLineValue : 0);
    line << ',' << result.w << ',' << result.x << ',' << result.y << ',' << result.z << ','
         << std::acos(cosine) * DegreesPerRadian;
    return QByteArray::fromStdString(line.str());
}
