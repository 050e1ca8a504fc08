// The analysis of flights recorded by the virtual flight computer's flight
// model, against what really happened, and of a flight worked out by hand.

#include "model/eventcast.h"
#include "model/flightcomparison.h"
#include "model/trace.h"
#include "testflights.h"
#include "verticalflight.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

namespace {

bool sameSeries(const Series &a, const Series &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(SeriesPoint)) == 0;
}

// GPS altitude minus barometric altitude: the pad's GPS altitude is not its
// altitude in the standard atmosphere.
constexpr float gpsOffset = 12.0f;

// A recorded flight as the ground station downloads it: GPS altitudes off
// the barometric ones, the radio reporting its signal strength ten times a
// second for 3 s after the recording ends.
std::shared_ptr<OKUKIPOFlight> downloadedFlight(const FlightProfile &profile, FlightTruth *truth)
{
    const auto flight = okukipo::sim::simulatedFlight(profile, truth);
    for (OKUEvent *event : flight->events) {
        if (auto *gps = eventAs<OKUEvent_GPSLLSol>(event))
            gps->altitude += gpsOffset;
    }
    for (int k = 1; k <= 30; ++k)
        insertEvent<OKUEvent_RSSI>(*flight, float(truth->endTime) + 0.1f * float(k))->rssi = -70.0f;
    return flight;
}

} // namespace

Q_DECLARE_METATYPE(FlightProfile)

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    // The recordings themselves: what really happened and what was written.
    void virtualFlightComputerRecordsAWholeFlight()
    {
        FlightTruth truth;
        const auto flight = okukipo::sim::simulatedFlight(FlightProfile(), &truth);
        QCOMPARE(truth.launchTime, 20.0);
        QVERIFY(qAbs(truth.apogeeAltitude - 300.0) < 3.0);
        // Drag keeps the rocket below where the burnout velocity would carry it in vacuum.
        const double burn = truth.burnoutTime - truth.launchTime;
        QVERIFY(truth.apogeeAltitude < truth.burnoutVelocity * (0.5 * burn + truth.burnoutVelocity / (2 * 9.80665)));
        // Under a 6 m/s parachute from 300 m.
        QVERIFY(qAbs(truth.landingTime - truth.apogeeTime - 300.0 / 6.0) < 8.0);
        QVERIFY(qAbs(flight->events.back()->time - truth.endTime) < 0.2);
        QCOMPARE(okukipo::sim::recordFlight(FlightProfile()).bytes, okukipo::sim::recordFlight(FlightProfile()).bytes);
    }

    void recordedFlights_data()
    {
        QTest::addColumn<FlightProfile>("profile");
        const auto row = [](const char *name, const std::function<void(FlightProfile &)> &change) {
            FlightProfile profile;
            change(profile);
            QTest::newRow(name) << profile;
        };
        row("clean", [](FlightProfile &) {});
        row("high, with a GPS gap", [](FlightProfile &p) {
            std::tie(p.targetApogee, p.burnSeconds, p.descentRate, p.gpsGapStart, p.gpsGapSeconds) = std::make_tuple(3000, 3, 20, 22, 48);
            p.site = okukipo::sim::lucerneDryLake();
        });
        row("upside down", [](FlightProfile &p) { p.upsideDown = true; });
        row("ground test", [](FlightProfile &p) { std::tie(p.groundTest, p.padSeconds) = std::make_tuple(true, 40.0); });
    }
    void recordedFlights()
    {
        QFETCH(FlightProfile, profile);
        FlightTruth truth;
        const auto flight = downloadedFlight(profile, &truth);
        flight->processFlight();
        QCOMPARE(flight->accelInverted, profile.upsideDown);
        QCOMPARE_NEAR(flight->groundLevel(), profile.site.altitude, 1.0);
        QCOMPARE(flight->isFlight(), truth.launched);
        const OKUEvent_GPSLLSol *first = flight->firstValidGPS();
        for (OKUEvent *event : flight->events) { // landing 0.01 degrees north: 0.01 * pi / 180 * 6371008.8 m
            if (auto *fix = eventAs<OKUEvent_GPSLLSol>(event); fix && fix != first)
                std::tie(fix->latitude, fix->longitude) = std::make_pair(first->latitude + 0.01, first->longitude);
        }
        const ComparedItem compared = comparedFlight(*flight, QStringLiteral("f.kipo"));
        const Statistics statistics = comparisonStatistics(compared);
        const auto statistic = [&statistics](Statistic which) { return statistics[std::size_t(which)].value_or(qQNaN()); };
        if (!truth.launched) {
            QCOMPARE(flight->groundLevel(), flight->sampleSeries(flight->pressureAltitude, 0.0f).value);
            QVERIFY(std::none_of(statistics.begin(), statistics.end(), [](auto value) { return value.has_value(); }));
            return;
        }
        // Beside simulations: heights above the pad, the main line firing at
        // 150 m on the way down.
        QCOMPARE_NEAR(statistic(Statistic::Apogee), truth.apogeeAltitude, 0.03 * truth.apogeeAltitude);
        QCOMPARE_NEAR(sampleSeries(compared.altitude, compared.mainDeploymentTime.value_or(0.0f)).value, 150.0, 10.0);
        QCOMPARE_NEAR(statistic(Statistic::LandingDistance), 1111.950, 0.5);
        // The first full second of boost, found from interpolated samples
        // that start rising between the last pad sample and ignition.
        QCOMPARE_NEAR(flight->launchTime(), truth.launchTime, 0.15);
        QCOMPARE_NEAR(flight->peakVelocityTime(), truth.burnoutTime, 0.3);
        QCOMPARE_NEAR(flight->apogeeTime(), truth.apogeeTime, 0.5);
        // Still air for a second or so after touchdown; a slow descent already looks still a little before.
        QVERIFY(flight->landingTime() > truth.landingTime - 0.5 && flight->landingTime() < truth.landingTime + 1.5);
        QCOMPARE_NEAR(flight->endTime(), truth.endTime, 0.001 * truth.endTime + 0.01);
        QCOMPARE_NEAR(maxValue(flight->kalmanVelocity), truth.burnoutVelocity, 0.05 * truth.burnoutVelocity);
        // The filter's frame is the GPS's, where the pad reads its GPS altitude.
        QCOMPARE_NEAR(maxValue(flight->kalmanAltitude), profile.site.altitude + gpsOffset + truth.apogeeAltitude,
                      0.03 * truth.apogeeAltitude);
        QCOMPARE_NEAR(flight->sampleSeries(flight->accelZ, float(truth.launchTime - 2.0)).value, 1.0, 0.1);
        // Loaded and analysed again, the data stays upright.
        QTemporaryDir dir;
        QVERIFY(flight->save(dir.filePath("f.kipo")));
        OKUKIPOFlight loaded;
        QVERIFY(loaded.load(dir.filePath("f.kipo")));
        QCOMPARE(loaded.accelInverted, profile.upsideDown);
        QVERIFY(sameSeries(flight->accelZ, loaded.accelZ) && sameSeries(flight->kalmanAltitude, loaded.kalmanAltitude));
    }

    void statisticsStayBetweenLaunchAndApogee()
    {
        FlightTruth truth;
        const auto recorded = downloadedFlight(FlightProfile(), &truth);
        OKUKIPOFlight &flight = *recorded;
        const auto at = [&truth](double seconds) { return float(truth.launchTime + seconds); };
        // Larger rates before launch and in the last second before apogee do not count.
        insertEvent<OKUEvent_GyroXYZ>(flight, at(-1.0))->z = 5000.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, float(truth.apogeeTime - 0.5))->x = -4000.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, at(3.0))->x = -700.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, at(4.0))->x = 700.0f; // a tie: the earlier wins
        insertEvent<OKUEvent_GyroXYZ>(flight, at(5.0))->y = 300.0f;
        auto *lateral = insertEvent<OKUEvent_AccelXY>(flight, at(2.5));
        std::tie(lateral->accelX, lateral->accelY) = std::make_pair(3.0f, -4.0f);
        insertEvent<OKUEvent_AccelXY>(flight, float(truth.apogeeTime + 2.0))->accelX = 20.0f;
        flight.processFlight();
        QCOMPARE(flight.maxRollX(), OKUKIPOFlight::Statistic(at(3.0), -700.0f));
        QCOMPARE(flight.maxRollY(), OKUKIPOFlight::Statistic(at(5.0), 300.0f));
        QCOMPARE(flight.maxLateralAcceleration(), OKUKIPOFlight::Statistic(at(2.5), 5.0f));
        // The rocket rolls at a steady 45 degrees a second; the hardest push comes at ignition.
        QCOMPARE_NEAR(flight.maxRollZ().second, 45.0, 1.0);
        QCOMPARE_NEAR(flight.maxVerticalAcceleration().second, truth.thrustToWeight, 0.02 * truth.thrustToWeight);
    }

    void trimAndZeroTimeOfADragFreeFlight()
    {
        OKUKIPOFlight flight;
        flight.trim(-1.0f, 1.0f);
        QVERIFY(!flight.isFlight() && flight.launchTime() == 0.0f && flight.groundLevel() == 0.0f);
        vertical::record(flight);
        flight.processFlight();
        QCOMPARE_NEAR(flight.launchTime(), vertical::launchAt, 0.02);
        QCOMPARE_NEAR(flight.groundLevel(), vertical::padAltitude, 0.1);
        // Without GPS the filter's frame reads 0 at launch: heights above the pad.
        QCOMPARE_NEAR(maxValue(flight.kalmanVelocity), vertical::burnoutVelocity, 0.05 * vertical::burnoutVelocity);
        QCOMPARE_NEAR(maxValue(flight.kalmanAltitude), vertical::apogeeHeight, 0.03 * vertical::apogeeHeight);
        QCOMPARE_NEAR(flight.sampleSeries(flight.kalmanVelocity, vertical::apogeeAt + 20.0f).value, -vertical::descentRate, 3.0);
        // Launch at 0, then keep -5 s to 30 s and the last record before.
        flight.zeroTime(flight.launchTime());
        flight.trim(-5.0f, 30.0f);
        QCOMPARE_NEAR(flight.launchTime(), 0.0, 0.02);
        QCOMPARE_NEAR(flight.apogeeTime(), vertical::apogeeAt - vertical::launchAt, 0.05);
        QVERIFY(flight.events.front()->time < -5.0f && flight.events[1]->time >= -5.0f);
        QVERIFY(flight.events.back()->time <= 30.0f && flight.events.back()->time > 29.98f);
    }
};

QTEST_APPLESS_MAIN(TestAnalysis)
#include "test_analysis.moc"
