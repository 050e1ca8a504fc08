#include "model/flightcomparison.h"

#include "model/eventcast.h"
#include "model/flight.h"
#include "model/gpsdate.h"
#include "model/simulationcsv.h"
#include "model/textfile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

constexpr double EarthRadius = 6371008.8; // m, the mean radius
// A deployment this soon after apogee is the apogee charge, not the main.
constexpr float ApogeeChargeSeconds = 2.0f;
constexpr double CsvStep = 0.05; // s

double radians(double degrees)
{
    return degrees * M_PI / 180.0;
}

double greatCircleDistance(const OKUEvent_GPSLLSol &from, const OKUEvent_GPSLLSol &to)
{
    const double dLatitude = radians(to.latitude - from.latitude);
    const double dLongitude = radians(to.longitude - from.longitude);
    const double h = std::pow(std::sin(dLatitude / 2), 2)
        + std::cos(radians(from.latitude)) * std::cos(radians(to.latitude)) * std::pow(std::sin(dLongitude / 2), 2);
    return 2.0 * EarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

std::optional<float> mainDeployment(const std::vector<float> &firings, float apogee, float landing)
{
    std::optional<float> main;
    for (float t : firings) {
        if (t >= apogee + ApogeeChargeSeconds && t < landing && (!main || t > *main))
            main = t;
    }
    return main;
}

float valueAt(const Series &series, float t)
{
    return sampleSeries(series, t).value;
}

Series shifted(Series series, float valueOffset)
{
    for (SeriesPoint &point : series)
        point.value += valueOffset;
    return series;
}

// The output line an event reports on (0 to 3), or -1.
int lineIndex(const OKUEvent *event)
{
    if (eventAs<OKUEvent_LineA>(event))
        return 0;
    if (eventAs<OKUEvent_LineB>(event))
        return 1;
    if (eventAs<OKUEvent_LineC>(event))
        return 2;
    if (eventAs<OKUEvent_LineD>(event))
        return 3;
    return -1;
}

// Times at which an output line switched on.
std::vector<float> lineFirings(const OKUKIPOFlight &flight)
{
    std::vector<float> firings;
    std::array<bool, 4> on{};
    for (const OKUEvent *event : flight.events) {
        const int index = lineIndex(event);
        if (index < 0)
            continue;
        const bool firing = dynamic_cast<const OKULineReading &>(*event).flag15;
        if (firing && !on[std::size_t(index)])
            firings.push_back(event->time);
        on[std::size_t(index)] = firing;
    }
    return firings;
}

std::optional<double> landingDistance(const OKUKIPOFlight &flight)
{
    const OKUEvent_GPSLLSol *launchPoint = flight.firstValidGPS();
    if (!launchPoint)
        return std::nullopt;
    // The rocket lies where it landed until the recording ends.
    const auto last = std::find_if(flight.events.rbegin(), flight.events.rend(), [](const OKUEvent *event) {
        const auto *fix = eventAs<OKUEvent_GPSLLSol>(event);
        return fix && fix->solution3D;
    });
    return greatCircleDistance(*launchPoint, *eventAs<OKUEvent_GPSLLSol>(*last));
}

// The time of the first point with the largest value between two times.
float timeOfLargest(const Series &series, float from, float to)
{
    const SeriesPoint *best = nullptr;
    for (const SeriesPoint &point : series) {
        if (point.time >= from && point.time <= to && (!best || point.value > best->value))
            best = &point;
    }
    return best ? best->time : from;
}

// The last row on the pad: the one before the altitude first rises.
float firstRise(const Series &altitude)
{
    for (std::size_t i = 1; i < altitude.size(); ++i) {
        if (altitude[i].value > altitude[i - 1].value)
            return altitude[i - 1].time;
    }
    return altitude.front().time;
}

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"'))
        return field;
    return '"' + field.replace("\"", "\"\"") + '"';
}

} // namespace

ComparedItem comparedFlight(const OKUKIPOFlight &flight, const QString &name)
{
    ComparedItem item;
    item.name = name;
    const OKUEvent_GPSTime *date = flight.flightDateEvent();
    item.date = date ? gpsDateTime(*date).toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QStringLiteral("no date");
    item.flown = flight.isFlight();
    item.launchTime = flight.launchTime();
    item.peakVelocityTime = flight.peakVelocityTime();
    item.apogeeTime = flight.apogeeTime();
    item.landingTime = flight.landingTime();
    item.altitude = shifted(flight.kalmanAltitude, -valueAt(flight.kalmanAltitude, item.launchTime));
    item.velocity = flight.kalmanVelocity;
    item.acceleration = flight.accelZ;
    item.mainDeploymentTime = mainDeployment(lineFirings(flight), item.apogeeTime, item.landingTime);
    item.maxAcceleration = flight.maxVerticalAcceleration().second;
    item.landingDistance = landingDistance(flight);
    return item;
}

ComparedItem comparedSimulation(const SimulatedFlight &simulation, const QString &name)
{
    ComparedItem item;
    item.name = name;
    item.date = QStringLiteral("simulation");
    const Series &altitude = simulation.altitude;
    item.launchTime = simulation.launchEvent.value_or(firstRise(altitude));
    item.landingTime = altitude.back().time;
    item.apogeeTime = simulation.apogeeEvent.value_or(timeOfLargest(altitude, item.launchTime, item.landingTime));
    item.peakVelocityTime
        = simulation.burnoutEvent.value_or(timeOfLargest(simulation.velocity, item.launchTime, item.apogeeTime));
    item.altitude = shifted(altitude, -valueAt(altitude, item.launchTime));
    item.velocity = simulation.velocity;
    // An accelerometer feels the kinematic acceleration plus gravity: 1 g
    // more than a simulator reports for a vertical flight.
    item.acceleration = shifted(simulation.acceleration, 1.0f);
    item.maxAcceleration = valueAt(item.acceleration,
                                   timeOfLargest(item.acceleration, item.launchTime, item.peakVelocityTime));
    item.mainDeploymentTime = mainDeployment(simulation.deploymentEvents, item.apogeeTime, item.landingTime);
    return item;
}

ComparedItemLoading loadComparedItem(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (path.endsWith(QLatin1String(".kipo"), Qt::CaseInsensitive)) {
        OKUKIPOFlight flight;
        const bool read = flight.load(path);
        if (!read || flight.loadOutcome() == OKUKIPOFlight::LoadOutcome::NotAFlightFile)
            return {std::nullopt, QStringLiteral("%1: not a readable flight file").arg(path)};
        return {comparedFlight(flight, name), QString()};
    }
    SimulationReading reading = readSimulationFile(path);
    if (!reading.flight)
        return {std::nullopt, QStringLiteral("%1: %2").arg(path, reading.error)};
    return {comparedSimulation(*reading.flight, name), QString()};
}

const StatisticName &statisticName(Statistic statistic)
{
    static const StatisticName names[StatisticCount] = {
        {"apogee", "Apogee (AGL)", Dimension::Length},
        {"timeToApogee", "Time to apogee", Dimension::Time},
        {"maxVelocity", "Maximum velocity", Dimension::Speed},
        {"maxAcceleration", "Maximum acceleration", Dimension::Acceleration},
        {"boostTime", "Boost time", Dimension::Time},
        {"descentRate", "Descent rate (last 30 %)", Dimension::Speed},
        {"descentRateBeforeMain", "Descent rate before main", Dimension::Speed},
        {"descentRateAfterMain", "Descent rate after main", Dimension::Speed},
        {"flightDuration", "Flight duration", Dimension::Time},
        {"landingDistance", "Landing distance", Dimension::Length},
    };
    return names[std::size_t(statistic)];
}

Statistics comparisonStatistics(const ComparedItem &item)
{
    const auto altitude = [&item](float t) { return double(valueAt(item.altitude, t)); };
    // Metres lost per second between two times: the mean descent rate.
    const auto descentRate = [&altitude](float from, float to) -> std::optional<double> {
        if (!(to > from))
            return std::nullopt;
        return (altitude(from) - altitude(to)) / double(to - from);
    };
    Statistics s;
    if (!item.flown)
        return s;
    const auto set = [&s](Statistic statistic, std::optional<double> value) { s[std::size_t(statistic)] = value; };
    set(Statistic::Apogee, altitude(item.apogeeTime));
    set(Statistic::TimeToApogee, item.apogeeTime - item.launchTime);
    set(Statistic::MaxVelocity, valueAt(item.velocity, item.peakVelocityTime));
    set(Statistic::MaxAcceleration, item.maxAcceleration);
    set(Statistic::BoostTime, item.peakVelocityTime - item.launchTime);
    set(Statistic::DescentRate,
        descentRate(item.apogeeTime + 0.7f * (item.landingTime - item.apogeeTime), item.landingTime));
    if (item.mainDeploymentTime) {
        set(Statistic::DescentRateBeforeMain, descentRate(item.apogeeTime, *item.mainDeploymentTime));
        set(Statistic::DescentRateAfterMain, descentRate(*item.mainDeploymentTime, item.landingTime));
    }
    set(Statistic::FlightDuration, item.landingTime - item.launchTime);
    set(Statistic::LandingDistance, item.landingDistance);
    return s;
}

Statistics statisticDifferences(const Statistics &item, const Statistics &reference)
{
    Statistics differences;
    for (std::size_t i = 0; i < StatisticCount; ++i) {
        if (item[i] && reference[i])
            differences[i] = *item[i] - *reference[i];
    }
    return differences;
}

bool exportComparisonCSV(const std::vector<ComparedItem> &items, Alignment alignment, const QString &path)
{
    AtomicTextFile file(path);
    if (!file.isOpen())
        return false;
    file.line() = "Time (s)";
    double start = 0.0;
    double end = 0.0;
    for (const ComparedItem &item : items) {
        const QString name = item.name + QLatin1Char(' ');
        for (const char *column : {"altitude AGL (m)", "vertical velocity (m/s)", "vertical acceleration (g)"})
            file.line() += ',' + csvField(name + QString::fromLatin1(column));
        const double zero = item.alignmentTime(alignment);
        for (const Series *series : {&item.altitude, &item.velocity, &item.acceleration}) {
            if (series->empty())
                continue;
            start = std::min(start, series->front().time - zero);
            end = std::max(end, series->back().time - zero);
        }
    }
    file.endLine();
    // Steps counted from 0 so that the aligned moment has a row of its own.
    for (long step = long(std::floor(start / CsvStep)); step * CsvStep <= end + 1e-9; ++step) {
        const double t = step * CsvStep;
        appendFixed(file.line(), t, 2);
        for (const ComparedItem &item : items) {
            const float itemTime = float(t + item.alignmentTime(alignment));
            for (const Series *series : {&item.altitude, &item.velocity, &item.acceleration}) {
                file.line() += ',';
                if (series->size() >= 4 && itemTime >= series->front().time && itemTime <= series->back().time)
                    appendFixed(file.line(), valueAt(*series, itemTime), 3);
            }
        }
        file.endLine();
    }
    return file.commit();
}
