#include "model/eventcast.h"
#include "model/flight.h"
#include "model/kalmanfilter.h"
#include "model/timescan.h"
#include "model/trace.h"

#include <algorithm>
#include <cmath>

using okukipo::trace;

namespace {

QString number(float value)
{
    return QString::number(double(value));
}

// A series read on the grid origin + k * step, each grid point once: the
// stillness windows of consecutive steps share most of their samples.
class GridSamples {
public:
    GridSamples(const Series &series, float origin, double step)
        : m_series(series)
        , m_origin(origin)
        , m_step(step)
    {
    }

    double time(std::size_t k) const { return double(m_origin) + double(k) * m_step; }

    double value(std::size_t k)
    {
        while (m_values.size() <= k)
            m_values.push_back(double(sampleSeries(m_series, float(time(m_values.size()))).value));
        return m_values[k];
    }

private:
    const Series &m_series;
    const float m_origin;
    const double m_step;
    std::vector<double> m_values;
};

// Spread and trend of 20 samples of a series 0.2 s apart (every second
// point of a 0.1 s grid) from grid point first on.  Computed about the mean
// in double precision, so that altitudes of thousands of metres at times of
// thousands of seconds keep their digits.
struct Stillness {
    double variance = 0.0;
    double slope = 0.0;
};

Stillness stillness(GridSamples &grid, std::size_t first)
{
    constexpr std::size_t count = 20;
    double meanTime = 0.0;
    double meanValue = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        meanTime += grid.time(first + 2 * j);
        meanValue += grid.value(first + 2 * j);
    }
    meanTime /= count;
    meanValue /= count;
    double sumValue2 = 0.0, sumTime2 = 0.0, sumTimeValue = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        const double dt = grid.time(first + 2 * j) - meanTime;
        const double dv = grid.value(first + 2 * j) - meanValue;
        sumValue2 += dv * dv;
        sumTime2 += dt * dt;
        sumTimeValue += dt * dv;
    }
    return {sumValue2 * 0.05, sumTimeValue / sumTime2};
}

// The cube of axial accelerations beyond +-1.5 g between consecutive
// plausible readings sums negative when the board flew upside down: boost
// and burnout then read strongly negative.
bool accelerationReadsUpsideDown(const Series &accelZ)
{
    float previous = 0.0f;
    float sum = 0.0f;
    for (const SeriesPoint &reading : accelZ) {
        const float a = reading.value;
        if (std::fabs(a) <= 1.5f)
            continue;
        if (std::fabs(a - previous) < 5.0f)
            sum += a * a * a;
        previous = a;
    }
    return sum < 0.0f;
}

} // namespace

void OKUKIPOFlight::clearAnalysis()
{
    m_moments = MomentCache();
    for (Series *series : {&pressureAltitude, &gpsAltitude, &accelZ, &kalmanVelocity, &kalmanAltitude, &accelX,
                           &accelY, &gyroX, &gyroY, &gyroZ})
        series->clear();
}

void OKUKIPOFlight::processFlight()
{
    trace(QStringLiteral("Building splines..."));
    clearAnalysis();

    // Sized first: growing the series of a full flight copied them over and over.
    std::size_t pressures = 0, axials = 0, laterals = 0, rates = 0, positions = 0;
    for (const OKUEvent *event : events) {
        const std::type_info &type = typeid(*event);
        pressures += type == typeid(OKUEvent_Pressure);
        axials += type == typeid(OKUEvent_AccelZ);
        laterals += type == typeid(OKUEvent_AccelXY);
        rates += type == typeid(OKUEvent_GyroXYZ);
        positions += type == typeid(OKUEvent_GPSLLSol);
    }
    pressureAltitude.reserve(pressures);
    accelZ.reserve(axials);
    for (Series *series : {&accelX, &accelY})
        series->reserve(laterals);
    for (Series *series : {&gyroX, &gyroY, &gyroZ})
        series->reserve(rates);
    gpsAltitude.reserve(positions);

    std::vector<float> gpsFixTimes;
    gpsFixTimes.reserve(positions);
    for (const OKUEvent *event : events) {
        const float t = event->time;
        const std::type_info &type = typeid(*event);
        if (type == typeid(OKUEvent_Pressure)) {
            pressureAltitude.push_back({t, barometricAltitude(static_cast<const OKUEvent_Pressure *>(event)->pressure), 0.0f});
        } else if (type == typeid(OKUEvent_AccelZ)) {
            accelZ.push_back({t, static_cast<const OKUEvent_AccelZ *>(event)->accelZ, 0.0f});
        } else if (type == typeid(OKUEvent_AccelXY)) {
            const auto *accel = static_cast<const OKUEvent_AccelXY *>(event);
            accelX.push_back({t, accel->accelX, 0.0f});
            accelY.push_back({t, accel->accelY, 0.0f});
        } else if (type == typeid(OKUEvent_GyroXYZ)) {
            const auto *gyro = static_cast<const OKUEvent_GyroXYZ *>(event);
            gyroX.push_back({t, gyro->x, 0.0f});
            gyroY.push_back({t, gyro->y, 0.0f});
            gyroZ.push_back({t, gyro->z, 0.0f});
        } else if (type == typeid(OKUEvent_GPSLLSol)) {
            const auto *gps = static_cast<const OKUEvent_GPSLLSol *>(event);
            if (gps->solution3D) {
                gpsAltitude.push_back({t, gps->altitude, 0.0f});
                gpsFixTimes.push_back(t);
            }
        }
    }

    // Decided on the series, which holds the axial readings in record order;
    // the records themselves are only visited again when they need turning.
    if (accelerationReadsUpsideDown(accelZ)) {
        trace(QStringLiteral("Accel data negative, inverting..."));
        accelInverted = true;
        for (SeriesPoint &reading : accelZ)
            reading.value = -reading.value;
        for (OKUEvent *event : events) {
            if (auto *accel = eventAs<OKUEvent_AccelZ>(event))
                accel->accelZ = -accel->accelZ;
        }
    }

    // The filter brings the barometer into the GPS frame where the first
    // second of sustained acceleration starts: with no velocity known yet,
    // that is what launchTime() finds.
    const KalmanInputs inputs{pressureAltitude, gpsAltitude, accelZ, std::move(gpsFixTimes),
                              firstEventTime(), endTime(), launchTime()};
    KalmanOutputs filtered = runKalmanFilter(inputs);
    kalmanAltitude = std::move(filtered.altitude);
    kalmanVelocity = std::move(filtered.velocity);
    m_moments = MomentCache();

    trace(QStringLiteral("After splinning:"));
    const float peakVelocity = peakVelocityTime();
    const float apogee = apogeeTime();
    const float launch = launchTime();
    const float end = endTime();
    const float landing = landingTime();
    trace(QStringLiteral("Start flight time: ") + number(firstEventTime()));
    trace(QStringLiteral("Peak vel time: ") + number(peakVelocity));
    trace(QStringLiteral("Apogee: ") + number(apogee));
    trace(QStringLiteral("Launch flight time: ") + number(launch));
    trace(QStringLiteral("End flight time: ") + number(end));
    trace(QStringLiteral("Landing time: ") + number(landing));
    trace(QStringLiteral("alt splined: %1 points").arg(pressureAltitude.size()));
    trace(QStringLiteral("g splined: %1 points").arg(accelZ.size()));
    trace(QStringLiteral("v splined: %1 points").arg(kalmanVelocity.size()));
}

float OKUKIPOFlight::firstEventTime() const
{
    return events.empty() ? 0.0f : events.front()->time;
}

float OKUKIPOFlight::lastEventTime() const
{
    return events.empty() ? 0.0f : events.back()->time;
}

float OKUKIPOFlight::endTime() const
{
    if (!m_moments.endTime) {
        // Radio signal strength keeps arriving after the flight has ended.
        m_moments.endTime = 0.0f;
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (!eventAs<OKUEvent_RSSI>(*it)) {
                m_moments.endTime = (*it)->time;
                break;
            }
        }
    }
    return *m_moments.endTime;
}

float OKUKIPOFlight::peakVelocityTime() const
{
    if (!m_moments.peakVelocityTime) {
        const float first = firstEventTime();
        m_moments.peakVelocityTime =
            firstExtreme(kalmanVelocity, Extreme::Highest, first, first, lastEventTime(), 0.1).time;
    }
    return *m_moments.peakVelocityTime;
}

float OKUKIPOFlight::apogeeTime() const
{
    if (!m_moments.apogeeTime) {
        // The highest pressure reading, the earliest on ties: the series holds
        // every one of them with its altitude already computed.
        const auto highest = std::max_element(pressureAltitude.begin(), pressureAltitude.end(),
                                              [](const SeriesPoint &a, const SeriesPoint &b) { return a.value < b.value; });
        m_moments.apogeeTime = highest == pressureAltitude.end() ? 0.0f : highest->time;
    }
    return *m_moments.apogeeTime;
}

float OKUKIPOFlight::launchTime() const
{
    if (!m_moments.launchTime)
        m_moments.launchTime = computeLaunchTime();
    return *m_moments.launchTime;
}

float OKUKIPOFlight::computeLaunchTime() const
{
    const float first = firstEventTime();
    // Walk back from the fastest moment to still air on the pad, in steps
    // of 0.5 s: every fifth point of a grid running back 0.1 s a step...
    const float peakVelocity = peakVelocityTime();
    GridSamples grid(pressureAltitude, peakVelocity, -0.1);
    const long steps = scanSteps(first, peakVelocity, 0.1);
    std::optional<float> stillAir;
    for (std::size_t k = 0; !stillAir; k += 5) {
        const float t = float(grid.time(k));
        if (!(t >= first) || long(k) > steps)
            return first;
        const Stillness air = stillness(grid, k);
        if (air.variance < 25.0 && air.slope < 0.5)
            stillAir = t;
    }
    // ...then forward to the first full second above 1.5 g.
    const float last = lastEventTime();
    float launch = *stillAir;
    int samplesAbove = 0;
    scanTimes(*stillAir - 5.0f, last, 0.01, [&](float s) {
        if (!(s <= last))
            return false;
        samplesAbove = ::sampleSeries(accelZ, s).value > 1.5f ? samplesAbove + 1 : 0;
        if (samplesAbove < 100)
            return true;
        launch = s - 1.0f;
        return false;
    });
    return launch;
}

float OKUKIPOFlight::landingTime() const
{
    if (!m_moments.landingTime)
        m_moments.landingTime = computeLandingTime();
    return *m_moments.landingTime;
}

float OKUKIPOFlight::computeLandingTime() const
{
    const float apogee = apogeeTime();
    const float end = endTime();
    trace(QStringLiteral("apogee: ") + number(apogee));
    trace(QStringLiteral("endtime: ") + number(end));
    // Landed once the altitude has stayed still for more than a second.
    GridSamples grid(pressureAltitude, apogee, 0.1);
    const long steps = scanSteps(apogee, end, 0.1);
    std::optional<float> landing;
    int stillSteps = 0;
    for (std::size_t k = 0; !landing; ++k) {
        const float s = float(grid.time(k));
        if (!(s < end) || long(k) > steps)
            break;
        const Stillness air = stillness(grid, k);
        if (air.variance >= 25.0 || std::fabs(air.slope) >= 1.0)
            stillSteps = 0;
        else if (++stillSteps > 10)
            landing = s;
    }
    return landing ? *landing : lastEventTime();
}

bool OKUKIPOFlight::isFlight() const
{
    if (!m_moments.isFlight)
        m_moments.isFlight = computeIsFlight();
    return *m_moments.isFlight;
}

bool OKUKIPOFlight::computeIsFlight() const
{
    if (events.empty())
        return false;
    const float first = firstEventTime();
    const float last = lastEventTime();
    int fastSamples = 0;
    int hardSamples = 0;
    bool fast = false;
    bool hard = false;
    scanTimes(first, last, 0.1, [&](float t) {
        if (!(t <= last))
            return false;
        fastSamples = ::sampleSeries(kalmanVelocity, t).value > 50.0f ? fastSamples + 1 : 0;
        hardSamples = ::sampleSeries(accelZ, t).value > 3.0f ? hardSamples + 1 : 0;
        fast = fast || fastSamples >= 20;
        hard = hard || hardSamples >= 5;
        return true;
    });
    return fast && hard;
}

float OKUKIPOFlight::groundLevel() const
{
    if (!m_moments.groundLevel) {
        if (pressureAltitude.empty())
            m_moments.groundLevel = 0.0f;
        else
            m_moments.groundLevel = ::sampleSeries(pressureAltitude, isFlight() ? launchTime() : firstEventTime()).value;
    }
    return *m_moments.groundLevel;
}

void OKUKIPOFlight::trim(float start, float end)
{
    if (!(start < end))
        return;
    trace(QStringLiteral("start: ") + number(start));
    trace(QStringLiteral("end: ") + number(end));
    // Keep the last event before start too, so that the series are defined
    // from start on.
    std::size_t first = 0;
    std::size_t last = 0;
    while (last < events.size() && events[last]->time <= end) {
        if (events[last]->time < start)
            first = last;
        ++last;
    }
    for (std::size_t i = last; i < events.size(); ++i)
        delete events[i];
    events.erase(events.begin() + std::ptrdiff_t(last), events.end());
    for (std::size_t i = 0; i < first; ++i)
        delete events[i];
    events.erase(events.begin(), events.begin() + std::ptrdiff_t(first));
    processFlight();
}

void OKUKIPOFlight::zeroTime(float offset)
{
    for (OKUEvent *event : events)
        event->time -= offset;
    processFlight();
}

OKUKIPOFlight::Statistic OKUKIPOFlight::maxVerticalAcceleration() const
{
    const SeriesPoint hardest =
        firstExtreme(accelZ, Extreme::Highest, firstEventTime(), launchTime(), peakVelocityTime(), 0.01);
    return {hardest.time, hardest.value};
}

// The record of the given class with the largest magnitude from launch until
// a second before apogee; the earliest one on ties.
template<class Event, class Magnitude>
const Event *OKUKIPOFlight::largestDuringAscent(Magnitude magnitude) const
{
    const float launch = launchTime();
    const float ascentEnd = apogeeTime() - 1.0f;
    const Event *best = nullptr;
    float bestMagnitude = 0.0f;
    for (const OKUEvent *event : events) {
        if (event->time < launch)
            continue;
        const Event *candidate = eventAs<Event>(event);
        if (!candidate)
            continue;
        if (candidate->time > ascentEnd)
            break;
        const float m = magnitude(*candidate);
        if (!best || m > bestMagnitude) {
            best = candidate;
            bestMagnitude = m;
        }
    }
    return best;
}

namespace {

template<class Event>
OKUKIPOFlight::Statistic statistic(const Event *event, float value)
{
    return event ? OKUKIPOFlight::Statistic{event->time, value} : OKUKIPOFlight::Statistic{0.0f, 0.0f};
}

} // namespace

OKUKIPOFlight::Statistic OKUKIPOFlight::maxRollX() const
{
    const auto *gyro = largestDuringAscent<OKUEvent_GyroXYZ>([](const OKUEvent_GyroXYZ &g) { return std::fabs(g.x); });
    return statistic(gyro, gyro ? gyro->x : 0.0f);
}

OKUKIPOFlight::Statistic OKUKIPOFlight::maxRollY() const
{
    const auto *gyro = largestDuringAscent<OKUEvent_GyroXYZ>([](const OKUEvent_GyroXYZ &g) { return std::fabs(g.y); });
    return statistic(gyro, gyro ? gyro->y : 0.0f);
}

OKUKIPOFlight::Statistic OKUKIPOFlight::maxRollZ() const
{
    trace(QStringLiteral("time of launch: ") + number(launchTime()));
    const auto *gyro = largestDuringAscent<OKUEvent_GyroXYZ>([](const OKUEvent_GyroXYZ &g) { return std::fabs(g.z); });
    return statistic(gyro, gyro ? gyro->z : 0.0f);
}

OKUKIPOFlight::Statistic OKUKIPOFlight::maxLateralAcceleration() const
{
    const auto lateral = [](const OKUEvent_AccelXY &a) { return std::sqrt(a.accelX * a.accelX + a.accelY * a.accelY); };
    const auto *accel = largestDuringAscent<OKUEvent_AccelXY>(lateral);
    return statistic(accel, accel ? lateral(*accel) : 0.0f);
}

const OKUEvent_GPSTime *OKUKIPOFlight::flightDateEvent() const
{
    const OKUEvent_GPSTime *valid = nullptr;
    for (const OKUEvent *event : events) {
        const auto *time = eventAs<OKUEvent_GPSTime>(event);
        if (!time || !time->timeValid)
            continue;
        if (time->flag6)
            return time;
        if (!valid)
            valid = time;
    }
    return valid;
}

const OKUEvent_GPSLLSol *OKUKIPOFlight::firstValidGPS() const
{
    for (const OKUEvent *event : events) {
        const auto *gps = eventAs<OKUEvent_GPSLLSol>(event);
        if (gps && gps->solution3D)
            return gps;
    }
    return nullptr;
}
