#pragma once

#include <QString>

class QSettings;

// Display units and label formats shared by every window.  The model keeps
// metres, pascals, degrees Celsius, volts and g; values are converted here,
// and only here, when they are shown.

// The keys of "settings.ini".
inline constexpr char CoordinateFormatKey[] = "GPSCoordinateFormat";
inline constexpr char NumberSystemKey[] = "numberSystem";

// The values of "GPSCoordinateFormat".
enum CoordinateFormat { DecimalDegrees = 0, DegreesDecimalMinutes = 1, DegreesMinutesSeconds = 2 };
// The values of "numberSystem".
enum NumberSystem { Metric = 0, Imperial = 1 };

// Metric exactly when "numberSystem" is 0 (or absent); any other value,
// even one that is not a number, means imperial.
bool isMetric(const QSettings &settings);

// A latitude or longitude in the given format; empty for an unknown format.
QString formatCoordinate(double degrees, int format);
// ... in the format "settings.ini" currently holds.
QString formatCoordinate(double degrees, const QSettings &settings);

// Altitude above mean sea level in metres of a pressure in pascals
// (standard atmosphere, single precision).
float pressureAltitude(float pascals);

QString voltageLabel(double volts);
QString accelerationLabel(double g);

// Conversions and labels of the quantities that differ between metric and
// imperial display.
class DisplayUnits
{
public:
    explicit DisplayUnits(bool metric) : m_metric(metric) {}
    static DisplayUnits fromSettings(const QSettings &settings) { return DisplayUnits(isMetric(settings)); }

    bool metric() const { return m_metric; }

    // Plot values and the units of their axes.
    double length(double metres) const;
    QString lengthUnit() const;
    double speed(double metresPerSecond) const;
    QString speedUnit() const;
    // km/h or ft/s, for peak speeds in summaries.
    double travelSpeed(double metresPerSecond) const;
    QString travelSpeedUnit() const;
    double pressure(double pascals) const;
    QString pressureUnit() const;
    double temperature(double celsius) const;
    // Without the degree sign, which plots draw themselves.
    QString temperatureUnit() const;

    // Labels.
    QString pressureLabel(double pascals) const;
    // The barometric altitude of a pressure, whole metres or feet.
    QString pressureAltitudeLabel(double pascals) const;
    // A GPS altitude, one decimal.
    QString gpsAltitudeLabel(double metres) const;
    QString temperatureLabel(double celsius) const;

private:
    bool m_metric;
};
