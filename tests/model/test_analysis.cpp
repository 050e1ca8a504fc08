#include "device/sim/flightlogic.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/trace.h"
#include "testflights.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <cstring>

namespace {

bool sameSeries(const Series &a, const Series &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(SeriesPoint)) == 0;
}

void silenceTrace()
{
    okukipo::setTraceHandler([](const QString &) {});
}

QStringList traceOf(const std::function<void()> &work)
{
    QStringList lines;
    okukipo::setTraceHandler([&lines](const QString &line) { lines << line; });
    work();
    silenceTrace();
    return lines;
}

template<class Event>
Event *insertEvent(OKUKIPOFlight &flight, float t)
{
    auto *event = new Event;
    event->time = t;
    const auto at = std::upper_bound(flight.events.begin(), flight.events.end(), t,
                                     [](float time, const OKUEvent *e) { return time < e->time; });
    flight.events.insert(at, event);
    return event;
}

// GPS altitude minus barometric altitude: the pad's GPS altitude is not its
// altitude in the standard atmosphere.
constexpr float gpsOffset = 12.0f;

// A flight as the ground station downloads it: GPS altitudes off the
// barometric ones, and the radio reporting on after the recording ends.
std::shared_ptr<OKUKIPOFlight> downloadedFlight(const FlightProfile &profile = FlightProfile(),
                                                FlightTruth *truth = nullptr)
{
    const auto flight = okukipo::sim::simulatedFlight(profile, truth);
    for (OKUEvent *event : flight->events) {
        if (auto *gps = eventAs<OKUEvent_GPSLLSol>(event))
            gps->altitude += gpsOffset;
    }
    appendRadioTail(*flight, 3.0f);
    return flight;
}

std::shared_ptr<OKUKIPOFlight> analysedDownload(const FlightProfile &profile = FlightProfile(),
                                                FlightTruth *truth = nullptr)
{
    const auto flight = downloadedFlight(profile, truth);
    flight->processFlight();
    return flight;
}

float pressureAt(float altitude)
{
    return float(okukipo::sim::FlightLogic::standardPressure(altitude));
}

okukipo::sim::LaunchSite siteAt(double altitude)
{
    okukipo::sim::LaunchSite site = okukipo::sim::blackRockDesert();
    site.altitude = altitude;
    return site;
}

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { silenceTrace(); }

    // ---- A clean flight ----

    void cleanFlightMoments()
    {
        FlightTruth truth;
        const auto flight = analysedDownload(FlightProfile(), &truth);
        checkMoments(*flight, truth);
        QVERIFY(!flight->accelInverted);
        // The radio's signal strength records after the end do not count.
        QVERIFY(flight->events.back()->time > truth.endTime + 2.0);
        QCOMPARE_NEAR(flight->groundLevel(), okukipo::sim::blackRockDesert().altitude, 1.0);
    }

    void cleanFlightSeries()
    {
        FlightTruth truth;
        const auto flight = analysedDownload(FlightProfile(), &truth);
        int pressures = 0, accels = 0, fixes = 0, lateral = 0, gyros = 0;
        for (const OKUEvent *e : flight->events) {
            pressures += eventAs<OKUEvent_Pressure>(e) != nullptr;
            accels += eventAs<OKUEvent_AccelZ>(e) != nullptr;
            lateral += eventAs<OKUEvent_AccelXY>(e) != nullptr;
            gyros += eventAs<OKUEvent_GyroXYZ>(e) != nullptr;
            const auto *gps = eventAs<OKUEvent_GPSLLSol>(e);
            fixes += gps && gps->solution3D;
        }
        QVERIFY(fixes > 0);
        QCOMPARE(flight->pressureAltitude.size(), std::size_t(pressures));
        QCOMPARE(flight->accelZ.size(), std::size_t(accels));
        QCOMPARE(flight->gpsAltitude.size(), std::size_t(fixes));
        QCOMPARE(flight->accelX.size(), std::size_t(lateral));
        QCOMPARE(flight->accelY.size(), std::size_t(lateral));
        QCOMPARE(flight->gyroX.size(), std::size_t(gyros));
        QCOMPARE(flight->gyroZ.size(), std::size_t(gyros));
        for (const Series *s : {&flight->pressureAltitude, &flight->accelZ, &flight->gyroY, &flight->kalmanAltitude})
            for (const SeriesPoint &p : *s)
                QCOMPARE(p.aux, 0.0f);
        // The filter runs every 0.1 s from 5 s before the first event to 5 s after the end.
        QCOMPARE_NEAR(flight->kalmanVelocity.front().time, -5.0, 1e-4);
        QCOMPARE_NEAR(flight->kalmanVelocity.back().time, flight->endTime() + 4.9, 0.05);
        QCOMPARE(flight->kalmanAltitude.size(), flight->kalmanVelocity.size());
        QCOMPARE_NEAR(maxValue(flight->kalmanVelocity), truth.burnoutVelocity, 0.05 * truth.burnoutVelocity);
        // GPS frame: the pad reads its GPS altitude.
        const double pad = okukipo::sim::blackRockDesert().altitude;
        QCOMPARE_NEAR(maxValue(flight->kalmanAltitude), pad + gpsOffset + truth.apogeeAltitude,
                      0.03 * truth.apogeeAltitude);
        QCOMPARE_NEAR(flight->sampleSeries(flight->pressureAltitude, float(truth.apogeeTime)).value,
                      pad + truth.apogeeAltitude, 1.0);
    }

    void cleanFlightTraceLines()
    {
        const auto flight = downloadedFlight();
        const QStringList lines = traceOf([&] { flight->processFlight(); });
        QCOMPARE(lines.value(0), QString("Building splines..."));
        QCOMPARE(lines.value(1), QString("After splinning:"));
        QVERIFY(lines.value(2).startsWith("apogee: "));
        QVERIFY(lines.value(3).startsWith("endtime: "));
        const QStringList prefixes{"Start flight time: ", "Peak vel time: ", "Apogee: ", "Launch flight time: ",
                                   "End flight time: ", "Landing time: "};
        for (int i = 0; i < prefixes.size(); ++i)
            QVERIFY2(lines.value(4 + i).startsWith(prefixes[i]), qPrintable(lines.value(4 + i)));
        QCOMPARE(lines.value(4), QString("Start flight time: 0"));
        QCOMPARE(lines.value(10), QString("alt splined: %1 points").arg(flight->pressureAltitude.size()));
        QCOMPARE(lines.value(11), QString("g splined: %1 points").arg(flight->accelZ.size()));
        QCOMPARE(lines.value(12), QString("v splined: %1 points").arg(flight->kalmanVelocity.size()));
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines.value(7), QString("Launch flight time: ") + QString::number(double(flight->launchTime())));
    }

    void statisticsStayBetweenLaunchAndApogee()
    {
        FlightTruth truth;
        const auto recorded = downloadedFlight(FlightProfile(), &truth);
        OKUKIPOFlight &flight = *recorded;
        const auto at = [&truth](double seconds) { return float(truth.launchTime + seconds); };
        // Larger rates before launch and in the last second before apogee must not count.
        insertEvent<OKUEvent_GyroXYZ>(flight, at(-1.0))->z = 5000.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, float(truth.apogeeTime - 0.5))->x = -4000.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, at(3.0))->x = -700.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, at(4.0))->x = 700.0f; // a tie: the earlier wins
        insertEvent<OKUEvent_GyroXYZ>(flight, at(5.0))->y = 300.0f;
        auto *lateral = insertEvent<OKUEvent_AccelXY>(flight, at(2.5));
        lateral->accelX = 3.0f;
        lateral->accelY = -4.0f;
        insertEvent<OKUEvent_AccelXY>(flight, float(truth.apogeeTime + 2.0))->accelX = 20.0f;
        flight.processFlight();

        const auto x = flight.maxRollX();
        QCOMPARE(x.first, at(3.0));
        QCOMPARE(x.second, -700.0f);
        QCOMPARE(flight.maxRollY().second, 300.0f);
        QCOMPARE(flight.maxRollY().first, at(5.0));
        // The rocket rolls at a steady 45 degrees a second on its way up:
        // the largest reading is that rate plus the gyro's noise.
        const auto z = flight.maxRollZ();
        QVERIFY(z.first >= flight.launchTime() && z.first <= flight.apogeeTime() - 1.0f);
        QCOMPARE_NEAR(z.second, 45.0, 1.0);
        const auto lateralMax = flight.maxLateralAcceleration();
        QCOMPARE(lateralMax.first, at(2.5));
        QCOMPARE(lateralMax.second, 5.0f);
        // The hardest push comes at ignition, before drag builds up.  It is
        // read from the curve through the samples, which overshoots the jump
        // at ignition a little where the write rate rises tenfold.
        const auto vertical = flight.maxVerticalAcceleration();
        QVERIFY(vertical.first >= flight.launchTime() && vertical.first < flight.peakVelocityTime());
        QCOMPARE_NEAR(vertical.first, truth.launchTime, 0.1);
        QCOMPARE_NEAR(vertical.second, truth.thrustToWeight, 0.02 * truth.thrustToWeight);
        const QStringList lines = traceOf([&] { flight.maxRollZ(); });
        QCOMPARE(lines, QStringList{QString("time of launch: ") + QString::number(double(flight.launchTime()))});
    }

    void datingAndPosition()
    {
        // A receiver still acquiring: its time is not valid for the first
        // 5 s and not confirmed (flag 6) for 10 s; its first fixes are 2D.
        const auto flight = downloadedFlight();
        for (OKUEvent *e : flight->events) {
            if (auto *time = eventAs<OKUEvent_GPSTime>(e)) {
                time->timeValid = e->time >= 4.9f;
                time->flag6 = e->time >= 9.9f;
            } else if (auto *gps = eventAs<OKUEvent_GPSLLSol>(e)) {
                gps->solution3D = e->time >= 2.9f;
            }
        }
        flight->processFlight();
        const OKUEvent_GPSTime *dated = flight->flightDateEvent();
        QVERIFY(dated);
        QVERIFY(dated->flag6);
        QCOMPARE_NEAR(dated->time, 10.0, 0.01);
        const OKUEvent_GPSLLSol *firstFix = flight->firstValidGPS();
        QVERIFY(firstFix);
        QVERIFY(firstFix->solution3D);
        QCOMPARE_NEAR(firstFix->time, 4.0, 0.01);

        OKUKIPOFlight onlyValid;
        auto *validTime = new OKUEvent_GPSTime;
        validTime->time = 3.0f;
        validTime->timeValid = true;
        auto *invalidTime = new OKUEvent_GPSTime;
        invalidTime->time = 1.0f;
        onlyValid.events = {invalidTime, validTime};
        QCOMPARE(onlyValid.flightDateEvent(), validTime);
        validTime->timeValid = false;
        QCOMPARE(onlyValid.flightDateEvent(), nullptr);
        QCOMPARE(onlyValid.firstValidGPS(), nullptr);
    }

    // ---- Other realistic flights ----

    void highFlightWithAGpsGap()
    {
        FlightProfile profile;
        profile.targetApogee = 3000.0;
        profile.burnSeconds = 3.0;
        profile.descentRate = 20.0;
        profile.site = okukipo::sim::lucerneDryLake();
        profile.gpsGapStart = 22.0;
        profile.gpsGapSeconds = 48.0;
        FlightTruth truth;
        const auto flight = analysedDownload(profile, &truth);
        QVERIFY(truth.apogeeAltitude > 2900.0);
        checkMoments(*flight, truth);
        QCOMPARE_NEAR(flight->groundLevel(), profile.site.altitude, 1.0);
        QCOMPARE_NEAR(maxValue(flight->kalmanVelocity), truth.burnoutVelocity, 0.05 * truth.burnoutVelocity);
        // Through the gap the filter follows the barometer.
        for (float t = 25.0f; t < 65.0f; t += 5.0f)
            QCOMPARE_NEAR(flight->sampleSeries(flight->kalmanAltitude, t).value - gpsOffset,
                          flight->sampleSeries(flight->pressureAltitude, t).value, 30.0);
        for (const SeriesPoint &p : flight->gpsAltitude)
            QVERIFY(p.time < 22.0f || p.time >= 69.99f);
    }

    void groundTest()
    {
        FlightProfile profile;
        profile.groundTest = true;
        profile.padSeconds = 40.0;
        const auto flight = analysedDownload(profile);
        QVERIFY(!flight->isFlight());
        QCOMPARE(flight->groundLevel(), flight->sampleSeries(flight->pressureAltitude, 0.0f).value);
        QCOMPARE_NEAR(flight->groundLevel(), profile.site.altitude, 1.0);
        QVERIFY(std::fabs(maxValue(flight->kalmanVelocity)) < 5.0f);
    }

    void upsideDownBoardIsInvertedOnce()
    {
        FlightProfile profile;
        profile.upsideDown = true;
        FlightTruth truth;
        const auto flight = downloadedFlight(profile, &truth);
        const QStringList lines = traceOf([&] { flight->processFlight(); });
        QCOMPARE(lines.value(1), QString("Accel data negative, inverting..."));
        QVERIFY(flight->accelInverted);
        QCOMPARE_NEAR(flight->sampleSeries(flight->accelZ, float(truth.launchTime - 2.0)).value, 1.0, 0.05);
        checkMoments(*flight, truth);
        for (const OKUEvent *e : flight->events)
            if (const auto *a = eventAs<OKUEvent_AccelZ>(e); a && a->time < truth.launchTime)
                QVERIFY(a->accelZ > 0.9f);

        // Analysing the already inverted data again leaves it as it is.
        const Series before = flight->accelZ;
        const QStringList again = traceOf([&] { flight->processFlight(); });
        QVERIFY(!again.contains("Accel data negative, inverting..."));
        QVERIFY(flight->accelInverted);
        QVERIFY(sameSeries(before, flight->accelZ));

        // So does a save and load.
        QTemporaryDir dir;
        QVERIFY(flight->save(dir.filePath("upside.kipo")));
        OKUKIPOFlight loaded;
        QVERIFY(loaded.load(dir.filePath("upside.kipo")));
        QVERIFY(loaded.accelInverted);
        QVERIFY(sameSeries(before, loaded.accelZ));
        QCOMPARE(loaded.launchTime(), flight->launchTime());
    }

    void emptyFlight()
    {
        OKUKIPOFlight flight;
        flight.processFlight();
        QCOMPARE(flight.endTime(), 0.0f);
        QCOMPARE(flight.peakVelocityTime(), 0.0f);
        QCOMPARE(flight.apogeeTime(), 0.0f);
        QCOMPARE(flight.launchTime(), 0.0f);
        QCOMPARE(flight.landingTime(), 0.0f);
        QCOMPARE(flight.groundLevel(), 0.0f);
        QVERIFY(!flight.isFlight());
        QVERIFY(flight.pressureAltitude.empty());
        QCOMPARE(flight.sampleSeries(flight.kalmanAltitude, 3.0f).value, 0.0f);
        const OKUKIPOFlight::Statistic none{0.0f, 0.0f};
        QCOMPARE(flight.maxVerticalAcceleration(), none);
        QCOMPARE(flight.maxRollX(), none);
        QCOMPARE(flight.maxRollY(), none);
        QCOMPARE(flight.maxRollZ(), none);
        QCOMPARE(flight.maxLateralAcceleration(), none);
        QCOMPARE(flight.flightDateEvent(), nullptr);
        flight.trim(-1.0f, 1.0f);
        flight.zeroTime(2.0f);
        QVERIFY(flight.events.empty());
    }

    // ---- Edge cases of the moments ----

    void stillAltitudeFromApogeeLandsOneSecondLater()
    {
        OKUKIPOFlight flight;
        for (int i = 0; i <= 200; ++i) {
            const float t = i * 0.05f;
            auto *p = new OKUEvent_Pressure;
            p->time = t;
            // Climbing for 4 s, then holding still at the top for 6 s.
            p->pressure = pressureAt(t < 4.0f ? t * 25.0f : 100.0f);
            flight.events.push_back(p);
        }
        flight.processFlight();
        QCOMPARE(flight.apogeeTime(), 4.0f);
        QCOMPARE_NEAR(flight.landingTime(), 5.0, 1e-4);
    }

    void apogeeTakesTheEarlierOfEqualAltitudes()
    {
        OKUKIPOFlight flight;
        for (float pressure : {90000.0f, 80000.0f, 85000.0f, 80000.0f, 95000.0f}) {
            auto *p = new OKUEvent_Pressure;
            p->time = float(flight.events.size());
            p->pressure = pressure;
            flight.events.push_back(p);
        }
        flight.processFlight();
        QCOMPARE(flight.apogeeTime(), 1.0f);
    }

    void trimKeepsTheWindowAndOneEventBefore()
    {
        const auto flight = analysedDownload();
        const std::size_t all = flight->events.size();
        flight->trim(5.0f, 3.0f);
        QCOMPARE(flight->events.size(), all);

        const float lastTime = flight->events.back()->time;
        // A window wider than the data keeps every event, the last one included.
        flight->trim(-10.0f, lastTime + 10.0f);
        QCOMPARE(flight->events.size(), all);

        flight->trim(10.0f, 50.0f);
        QVERIFY(flight->events.front()->time < 10.0f);
        QVERIFY(flight->events[1]->time >= 10.0f);
        QVERIFY(flight->events.back()->time <= 50.0f);
        QVERIFY(flight->events.back()->time > 49.9f);
        QCOMPARE_NEAR(flight->endTime(), flight->events.back()->time, 0.1);
        QVERIFY(flight->kalmanVelocity.back().time < 55.0f);
    }

    void zeroTimeShiftsEveryMoment()
    {
        const auto flight = analysedDownload();
        const float launch = flight->launchTime();
        const float peak = flight->peakVelocityTime();
        const float apogee = flight->apogeeTime();
        const float landing = flight->landingTime();
        const float end = flight->endTime();
        const float ground = flight->groundLevel();
        flight->zeroTime(launch);
        QCOMPARE_NEAR(flight->launchTime(), 0.0, 0.02);
        QCOMPARE_NEAR(flight->peakVelocityTime(), peak - launch, 0.11);
        QCOMPARE_NEAR(flight->apogeeTime(), apogee - launch, 1e-3);
        QCOMPARE_NEAR(flight->landingTime(), landing - launch, 0.11);
        QCOMPARE_NEAR(flight->endTime(), end - launch, 1e-3);
        QCOMPARE_NEAR(flight->groundLevel(), ground, 0.5);
        QCOMPARE_NEAR(flight->events.front()->time, -launch, 1e-3);
    }

    // ---- State ----

    void twoAnalysesGiveIdenticalResults()
    {
        const auto flight = analysedDownload();
        const OKUKIPOFlight &f = *flight;
        const Series altitude = f.kalmanAltitude, velocity = f.kalmanVelocity, pressure = f.pressureAltitude;
        const float moments[] = {f.launchTime(), f.apogeeTime(), f.landingTime(), f.groundLevel(), f.peakVelocityTime()};
        flight->processFlight();
        QVERIFY(sameSeries(altitude, f.kalmanAltitude));
        QVERIFY(sameSeries(velocity, f.kalmanVelocity));
        QVERIFY(sameSeries(pressure, f.pressureAltitude));
        const float again[] = {f.launchTime(), f.apogeeTime(), f.landingTime(), f.groundLevel(), f.peakVelocityTime()};
        QVERIFY(std::memcmp(moments, again, sizeof moments) == 0);
    }

    void twoFlightsKeepTheirOwnState()
    {
        FlightProfile low;
        low.site = siteAt(100.0);
        FlightProfile high;
        high.site = siteAt(1500.0);
        high.padSeconds = 30.0;
        const auto first = analysedDownload(low);
        QCOMPARE_NEAR(first->groundLevel(), 100.0, 1.0);
        const auto second = analysedDownload(high);
        QCOMPARE_NEAR(second->groundLevel(), 1500.0, 1.0);
        QCOMPARE_NEAR(first->groundLevel(), 100.0, 1.0);
        QCOMPARE_NEAR(second->launchTime(), 30.0, 0.15);
        QCOMPARE_NEAR(first->launchTime(), 20.0, 0.15);
        // Changing one leaves the other alone.
        const float secondLaunch = second->launchTime();
        second->zeroTime(10.0f);
        QCOMPARE_NEAR(first->launchTime(), 20.0, 0.15);
        QCOMPARE_NEAR(second->launchTime(), secondLaunch - 10.0f, 0.02);
    }
};

QTEST_APPLESS_MAIN(TestAnalysis)
#include "test_analysis.moc"
