#include "ui/flightinformation.h"

#include "app/units.h"
#include "device/hiddevice.h"
#include "model/flight.h"
#include "model/gpsdate.h"

namespace {

const QString notAvailable = QStringLiteral("n/a");

QString seconds(float value)
{
    return QString::number(value, 'f', 2) + QStringLiteral(" s");
}

// " @ 1.23 s": when a maximum happened, counted from launch.
QString at(float time, float launch)
{
    return QStringLiteral(" @ ") + seconds(time - launch);
}

bool qualifies(const OKUKIPOFlight::Statistic &statistic)
{
    return statistic.first != 0.0f || statistic.second != 0.0f;
}

QString statisticText(const OKUKIPOFlight::Statistic &statistic, const QString &value, const QString &unit,
                      float launch)
{
    if (!qualifies(statistic))
        return notAvailable;
    return value + QLatin1Char(' ') + unit + at(statistic.first, launch);
}

void fillFlightMoments(FlightInformation &info, const OKUKIPOFlight &flight, float groundAltitude,
                       const DisplayUnits &units)
{
    const float launch = flight.launchTime();
    const float peakVelocity = flight.peakVelocityTime();
    const float apogee = flight.apogeeTime();
    info.boostTime = seconds(peakVelocity - launch);
    info.coastTime = seconds(apogee - peakVelocity);
    info.totalFlightTime = seconds(flight.landingTime() - launch);

    const double apogeeAltitude = units.length(
        double(OKUKIPOFlight::sampleSeries(flight.pressureAltitude, apogee).value) - double(groundAltitude));
    info.maxAltitudeAGL = QString::number(apogeeAltitude, 'f', 0) + QLatin1Char(' ') + units.lengthUnit()
        + at(apogee, launch);
    const double velocity = units.travelSpeed(OKUKIPOFlight::sampleSeries(flight.kalmanVelocity, peakVelocity).value);
    info.maxVelocity = QString::number(velocity, 'f', 0) + QLatin1Char(' ') + units.travelSpeedUnit()
        + at(peakVelocity, launch);

    const auto vertical = flight.maxVerticalAcceleration();
    info.maxVerticalAcceleration = statisticText(vertical, QString::number(vertical.second, 'f', 1), QStringLiteral("g"), launch);
    const auto lateral = flight.maxLateralAcceleration();
    info.maxLateralAcceleration = statisticText(lateral, QString::number(lateral.second, 'g', 6), QStringLiteral("g"), launch);
    const auto rollText = [launch](const OKUKIPOFlight::Statistic &roll) {
        return statisticText(roll, QString::number(roll.second, 'f', 0), QStringLiteral("dps"), launch);
    };
    info.maxXRoll = rollText(flight.maxRollX());
    info.maxYRoll = rollText(flight.maxRollY());
    info.maxZRoll = rollText(flight.maxRollZ());
}

} // namespace

FlightInformation flightInformation(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units)
{
    FlightInformation info;
    for (QString *text : {&info.date, &info.latitude, &info.longitude, &info.boostTime, &info.coastTime,
                          &info.totalFlightTime, &info.maxAltitudeAGL, &info.maxVelocity, &info.maxLateralAcceleration,
                          &info.maxVerticalAcceleration, &info.maxXRoll, &info.maxYRoll, &info.maxZRoll,
                          &info.firmwareVersion})
        *text = notAvailable;

    if (const OKUEvent_GPSTime *date = flight.flightDateEvent())
        info.date = gpsDateTime(*date).toLocalTime().toString();
    if (const OKUEvent_GPSLLSol *position = flight.firstValidGPS()) {
        info.latitude = QString::number(position->latitude, 'g', 6);
        info.longitude = QString::number(position->longitude, 'g', 6);
    }
    if (flight.isFlight())
        fillFlightMoments(info, flight, groundAltitude, units);
    info.padInverted = flight.accelInverted;
    if (flight.settings.valid)
        info.firmwareVersion = versionText(flight.settings.firmwareVersion);
    return info;
}
