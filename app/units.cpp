#include "app/units.h"
#include "model/units.h"

#include <QSettings>
#include <cmath>

namespace {

constexpr double InchesOfMercuryPerPascal = 0.000295333727;

QString fixed(double value, int decimals)
{
    // Rounding a small negative value must not print "-0".
    const QString text = QString::number(value, 'f', decimals);
    const bool negativeZero = text.startsWith(QLatin1Char('-')) && text.mid(1).toDouble() == 0.0;
    return negativeZero ? text.mid(1) : text;
}

QString withUnit(double value, int decimals, const QString &unit)
{
    return fixed(value, decimals) + QLatin1Char(' ') + unit;
}

} // namespace

bool isMetric(const QSettings &settings)
{
    return settings.value(QLatin1String(NumberSystemKey), int(Metric)) == QVariant(int(Metric));
}

QString formatCoordinate(double degrees, int format)
{
    const double wholeDegrees = std::trunc(degrees);
    const double minutes = std::fabs(degrees - wholeDegrees) * 60.0;
    const double wholeMinutes = std::trunc(minutes);
    const double seconds = std::fabs(minutes - wholeMinutes) * 60.0;
    // Between -1 and 0 degrees the whole degrees alone would lose the sign.
    const QString degreeText = (degrees < 0 && wholeDegrees == 0 ? QStringLiteral("-") : QString())
        + QString::number(wholeDegrees, 'f', 0) + QStringLiteral(" \u00b0 ");

    switch (format) {
    case DecimalDegrees:
        return QString::number(degrees, 'f', 6) + QStringLiteral(" \u00b0");
    case DegreesDecimalMinutes:
        return degreeText + QString::number(minutes, 'f', 4) + QLatin1Char('\'');
    case DegreesMinutesSeconds:
        return degreeText + QString::number(wholeMinutes, 'f', 0) + QStringLiteral("' ")
            + QString::number(seconds, 'f', 2) + QStringLiteral("''");
    }
    return {};
}

QString formatCoordinate(double degrees, const QSettings &settings)
{
    return formatCoordinate(degrees, settings.value(QLatin1String(CoordinateFormatKey), int(DecimalDegrees)).toInt());
}

float pressureAltitude(float pascals)
{
    return 44330.32f * (1.0f - std::pow(pascals * 0.001f * 0.009869232773780823f, 0.190263f));
}

QString voltageLabel(double volts)
{
    return withUnit(volts, 2, QStringLiteral("v"));
}

QString accelerationLabel(double g)
{
    return withUnit(g, 2, QStringLiteral("g"));
}

double DisplayUnits::length(double metres) const
{
    return m_metric ? metres : okukipo::units::metresToFeet(metres);
}

QString DisplayUnits::lengthUnit() const
{
    return m_metric ? QStringLiteral("m") : QStringLiteral("ft");
}

double DisplayUnits::speed(double metresPerSecond) const
{
    return length(metresPerSecond);
}

QString DisplayUnits::speedUnit() const
{
    return lengthUnit() + QStringLiteral("/s");
}

double DisplayUnits::travelSpeed(double metresPerSecond) const
{
    return m_metric ? metresPerSecond * 3.6 : okukipo::units::metresToFeet(metresPerSecond);
}

QString DisplayUnits::travelSpeedUnit() const
{
    return m_metric ? QStringLiteral("km/h") : QStringLiteral("ft/s");
}

double DisplayUnits::pressure(double pascals) const
{
    return m_metric ? pascals : pascals * InchesOfMercuryPerPascal;
}

QString DisplayUnits::pressureUnit() const
{
    return m_metric ? QStringLiteral("Pa") : QStringLiteral("inHg");
}

double DisplayUnits::temperature(double celsius) const
{
    return m_metric ? celsius : celsius * 1.8 + 32.0;
}

QString DisplayUnits::temperatureUnit() const
{
    return m_metric ? QStringLiteral("C") : QStringLiteral("F");
}

QString DisplayUnits::pressureLabel(double pascals) const
{
    return m_metric ? withUnit(pascals * 0.001, 2, QStringLiteral("kPa"))
                    : withUnit(pressure(pascals), 2, pressureUnit());
}

QString DisplayUnits::pressureAltitudeLabel(double pascals) const
{
    return withUnit(length(pressureAltitude(float(pascals))), 0, lengthUnit());
}

QString DisplayUnits::gpsAltitudeLabel(double metres) const
{
    return withUnit(length(metres), 1, lengthUnit());
}

QString DisplayUnits::temperatureLabel(double celsius) const
{
    return fixed(temperature(celsius), 1) + QStringLiteral("\u00b0 ") + temperatureUnit();
}

