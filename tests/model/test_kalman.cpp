#include "model/kalmanfilter.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float padAltitude = 300.0f;
constexpr float launchAt = 10.0f;
constexpr float burnout = 12.0f;
constexpr float boostAcceleration = 9.0f * 9.81f; // 10 g read, 1 g of it gravity
constexpr float burnoutVelocity = boostAcceleration * (burnout - launchAt);
constexpr float burnoutHeight = 0.5f * boostAcceleration * (burnout - launchAt) * (burnout - launchAt);
constexpr float apogeeAt = burnout + burnoutVelocity / 9.81f;
constexpr float apogeeHeight = burnoutHeight + burnoutVelocity * burnoutVelocity / (2.0f * 9.81f);
constexpr float descentRate = 30.0f;
constexpr float landingAt = apogeeAt + apogeeHeight / descentRate;
constexpr float endAt = landingAt + 20.0f;

// A drag-free vertical flight: height above the pad and accelerometer reading.
float heightAt(float t)
{
    if (t < launchAt)
        return 0.0f;
    if (t < burnout)
        return 0.5f * boostAcceleration * (t - launchAt) * (t - launchAt);
    if (t < apogeeAt)
        return burnoutHeight + burnoutVelocity * (t - burnout) - 0.5f * 9.81f * (t - burnout) * (t - burnout);
    return std::max(apogeeHeight - descentRate * (t - apogeeAt), 0.0f);
}

float accelerometerAt(float t)
{
    if (t >= launchAt && t < burnout)
        return 10.0f;
    if (t >= burnout && t < apogeeAt)
        return 0.0f;
    return 1.0f;
}

struct SyntheticFlight {
    Series baro, gps, accel;
    std::vector<float> fixTimes;

    explicit SyntheticFlight(float gpsOffset = 0.0f, bool withGps = false)
    {
        for (int i = 0; i * 0.05f < endAt; ++i)
            baro.push_back({i * 0.05f, padAltitude + heightAt(i * 0.05f), 0.0f});
        for (int i = 0; i * 0.01f < endAt; ++i)
            accel.push_back({i * 0.01f, accelerometerAt(i * 0.01f), 0.0f});
        for (int i = 0; withGps && i * 0.2f < endAt; ++i) {
            gps.push_back({i * 0.2f, padAltitude + gpsOffset + heightAt(i * 0.2f), 0.0f});
            fixTimes.push_back(i * 0.2f);
        }
    }

    KalmanOutputs run(float launchTime = launchAt) const
    {
        return runKalmanFilter({baro, gps, accel, fixTimes, 0.0f, accel.back().time, launchTime});
    }
};

float valueAt(const Series &s, float t)
{
    const auto it = std::find_if(s.begin(), s.end(), [t](const SeriesPoint &p) { return p.time >= t - 1e-3f; });
    return it == s.end() ? NAN : it->value;
}

} // namespace

class TestKalman : public QObject {
    Q_OBJECT

private slots:
    void runsEveryTenthOfASecondAroundTheData()
    {
        const KalmanOutputs out = SyntheticFlight().run();
        QVERIFY(!out.altitude.empty());
        QCOMPARE(out.altitude.size(), out.velocity.size());
        QCOMPARE(out.altitude.front().time, -5.0f);
        QVERIFY(out.altitude.back().time < SyntheticFlight().accel.back().time + 5.0f);
        QVERIFY(out.altitude.back().time >= SyntheticFlight().accel.back().time + 4.9f);
        for (std::size_t i = 1; i < out.altitude.size(); ++i) {
            QVERIFY(std::fabs(out.altitude[i].time - out.altitude[i - 1].time - 0.1f) < 1e-3f);
            QCOMPARE(out.altitude[i].aux, 0.0f);
        }
    }

    void followsABarometerOnlyFlight()
    {
        // Without GPS the GPS frame reads 0 at launch, so the altitude comes
        // out as height above the launch point.
        const KalmanOutputs out = SyntheticFlight().run();
        // Still on the pad before launch.
        QVERIFY(std::fabs(valueAt(out.velocity, 9.0f)) < 1.0f);
        QVERIFY(std::fabs(valueAt(out.altitude, 9.0f)) < 2.0f);
        // Burnout speed and apogee height within a few percent.
        const float peakVelocity = std::max_element(out.velocity.begin(), out.velocity.end(),
                                                    [](auto &a, auto &b) { return a.value < b.value; })->value;
        QVERIFY2(std::fabs(peakVelocity - burnoutVelocity) < 0.05f * burnoutVelocity, qPrintable(QString::number(peakVelocity)));
        const auto top = std::max_element(out.altitude.begin(), out.altitude.end(),
                                          [](auto &a, auto &b) { return a.value < b.value; });
        QVERIFY2(std::fabs(top->value - apogeeHeight) < 0.03f * apogeeHeight, qPrintable(QString::number(top->value)));
        QVERIFY2(std::fabs(top->time - apogeeAt) < 1.0f, qPrintable(QString::number(top->time)));
        // Descending under the parachute, then at rest on the ground.
        QVERIFY(std::fabs(valueAt(out.velocity, apogeeAt + 20.0f) + descentRate) < 3.0f);
        QVERIFY(std::fabs(valueAt(out.velocity, endAt - 1.0f)) < 2.0f);
        QVERIFY(std::fabs(valueAt(out.altitude, endAt - 1.0f)) < 5.0f);
    }

    void startsInTheGpsFrame()
    {
        // GPS reads 50 m above the barometer: the filter starts there.
        const KalmanOutputs shifted = SyntheticFlight(50.0f, true).run();
        QVERIFY2(std::fabs(shifted.altitude.front().value - (padAltitude + 50.0f)) < 0.5f,
                 qPrintable(QString::number(shifted.altitude.front().value)));
        // More than 300 m apart: the GPS is not believed and the barometer rules.
        const KalmanOutputs far = SyntheticFlight(400.0f, true).run();
        QVERIFY2(std::fabs(far.altitude.front().value - padAltitude) < 0.5f,
                 qPrintable(QString::number(far.altitude.front().value)));
    }

    void sameInputsGiveIdenticalOutputs()
    {
        const SyntheticFlight flight(10.0f, true);
        const KalmanOutputs first = flight.run();
        const KalmanOutputs second = flight.run();
        QCOMPARE(first.altitude.size(), second.altitude.size());
        QVERIFY(memcmp(first.altitude.data(), second.altitude.data(), first.altitude.size() * sizeof(SeriesPoint)) == 0);
        QVERIFY(memcmp(first.velocity.data(), second.velocity.data(), first.velocity.size() * sizeof(SeriesPoint)) == 0);
    }

    void emptyInputsStayAtZero()
    {
        const Series none;
        const KalmanOutputs out = runKalmanFilter({none, none, none, {}, 0.0f, 0.0f, 0.0f});
        QCOMPARE(out.altitude.size(), std::size_t(100));
        for (std::size_t i = 0; i < out.altitude.size(); ++i) {
            QCOMPARE(out.altitude[i].value, 0.0f);
            QCOMPARE(out.velocity[i].value, 0.0f);
        }
    }

    void coastsAboveTheBarometersRange()
    {
        // Above 15 km nothing is measured: the filter integrates acceleration.
        Series baro, gps, accel;
        for (int i = 0; i < 400; ++i) {
            baro.push_back({i * 0.05f, 20000.0f, 0.0f});
            gps.push_back({i * 0.05f, 20000.0f, 0.0f});
            accel.push_back({i * 0.05f, 1.0f, 0.0f});
        }
        const KalmanOutputs out = runKalmanFilter({baro, gps, accel, {}, 0.0f, 20.0f, 0.0f});
        for (const SeriesPoint &p : out.altitude)
            QVERIFY(std::fabs(p.value - 20000.0f) < 1.0f);
    }
};

QTEST_APPLESS_MAIN(TestKalman)
#include "test_kalman.moc"
