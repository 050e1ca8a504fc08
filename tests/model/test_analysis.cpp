#include "model/eventcast.h"
#include "approx.h"
#include "model/flight.h"
#include "model/trace.h"
#include "syntheticflight.h"

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

float maxValue(const Series &series)
{
    float best = -1e30f;
    for (const SeriesPoint &p : series)
        best = std::max(best, p.value);
    return best;
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


} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { silenceTrace(); }

    // ---- A clean flight ----

    void cleanFlightMoments()
    {
        FlightTruth truth;
        const auto flight = SyntheticFlight::analysed(FlightProfile(), &truth);
        QVERIFY(flight->isFlight());
        QVERIFY(!flight->accelInverted);
        // The first full second above 1.5 g starts at ignition.
        QCOMPARE_NEAR(flight->launchTime(), truth.launch, 0.1);
        QCOMPARE_NEAR(flight->peakVelocityTime(), truth.burnout, 0.3);
        QCOMPARE_NEAR(flight->apogeeTime(), truth.apogee, 0.5);
        // Still air for more than a second after touchdown.
        QCOMPARE_NEAR(flight->landingTime(), truth.landing + 1.0, 0.5);
        // The radio's signal strength records after the end do not count.
        QCOMPARE_NEAR(flight->endTime(), truth.end, 0.01);
        QVERIFY(flight->events.back()->time > truth.end + 2.0f);
        QCOMPARE_NEAR(flight->groundLevel(), 250.0, 1.0);
    }

    void cleanFlightSeries()
    {
        FlightTruth truth;
        const auto flight = SyntheticFlight::analysed(FlightProfile(), &truth);
        int pressures = 0, accels = 0, fixes = 0, lateral = 0, gyros = 0;
        for (const OKUEvent *e : flight->events) {
            pressures += eventAs<OKUEvent_Pressure>(e) != nullptr;
            accels += eventAs<OKUEvent_AccelZ>(e) != nullptr;
            lateral += eventAs<OKUEvent_AccelXY>(e) != nullptr;
            gyros += eventAs<OKUEvent_GyroXYZ>(e) != nullptr;
            const auto *gps = eventAs<OKUEvent_GPSLLSol>(e);
            fixes += gps && gps->solution3D;
        }
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
        QCOMPARE_NEAR(maxValue(flight->kalmanAltitude), 250.0 + 12.0 + truth.apogeeHeight, 0.03 * truth.apogeeHeight);
        QCOMPARE_NEAR(flight->sampleSeries(flight->pressureAltitude, truth.apogee).value, 250.0 + truth.apogeeHeight, 1.0);
    }

    void cleanFlightTraceLines()
    {
        const auto flight = SyntheticFlight(FlightProfile()).flight();
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
        SyntheticFlight built;
        const FlightTruth truth = built.truth();
        OKUKIPOFlight &flight = *built.flight();
        // Larger rates before launch and in the last second before apogee must not count.
        insertEvent<OKUEvent_GyroXYZ>(flight, truth.launch - 1.0f)->z = 5000.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, truth.apogee - 0.5f)->x = -4000.0f;
        auto *rollX = insertEvent<OKUEvent_GyroXYZ>(flight, truth.launch + 3.0f);
        rollX->x = -700.0f;
        insertEvent<OKUEvent_GyroXYZ>(flight, truth.launch + 4.0f)->x = 700.0f; // a tie: the earlier wins
        insertEvent<OKUEvent_GyroXYZ>(flight, truth.launch + 5.0f)->y = 300.0f;
        auto *lateral = insertEvent<OKUEvent_AccelXY>(flight, truth.launch + 2.5f);
        lateral->accelX = 3.0f;
        lateral->accelY = -4.0f;
        insertEvent<OKUEvent_AccelXY>(flight, truth.apogee + 2.0f)->accelX = 20.0f;
        flight.processFlight();

        const auto x = flight.maxRollX();
        QCOMPARE(x.first, truth.launch + 3.0f);
        QCOMPARE(x.second, -700.0f);
        QCOMPARE(flight.maxRollY().second, 300.0f);
        QCOMPARE(flight.maxRollY().first, truth.launch + 5.0f);
        // The simulated roll follows the velocity: largest at burnout.
        QCOMPARE_NEAR(flight.maxRollZ().first, truth.burnout, 0.05);
        QCOMPARE_NEAR(flight.maxRollZ().second, truth.burnoutVelocity * 0.5, 2.0);
        const auto lateralMax = flight.maxLateralAcceleration();
        QCOMPARE(lateralMax.first, truth.launch + 2.5f);
        QCOMPARE(lateralMax.second, 5.0f);
        const auto vertical = flight.maxVerticalAcceleration();
        QVERIFY(vertical.first >= flight.launchTime() && vertical.first < flight.peakVelocityTime());
        QCOMPARE_NEAR(vertical.second, 10.0, 0.05);
        const QStringList lines = traceOf([&] { flight.maxRollZ(); });
        QCOMPARE(lines, QStringList{QString("time of launch: ") + QString::number(double(flight.launchTime()))});
    }

    void datingAndPosition()
    {
        const auto flight = SyntheticFlight::analysed();
        // GPS time records are valid from 2 s, with flag 6 from 4 s.
        QVERIFY(flight->flightDateEvent());
        QCOMPARE(flight->flightDateEvent()->time, 4.0f);
        // The first second has only 2D solutions.
        QVERIFY(flight->firstValidGPS());
        QCOMPARE(flight->firstValidGPS()->time, 1.0f);
        QVERIFY(flight->firstValidGPS()->solution3D);

        OKUKIPOFlight onlyValid;
        auto *dated = new OKUEvent_GPSTime;
        dated->time = 3.0f;
        dated->timeValid = true;
        auto *undated = new OKUEvent_GPSTime;
        undated->time = 1.0f;
        onlyValid.events = {undated, dated};
        QCOMPARE(onlyValid.flightDateEvent(), dated);
        dated->timeValid = false;
        QCOMPARE(onlyValid.flightDateEvent(), nullptr);
        QCOMPARE(onlyValid.firstValidGPS(), nullptr);
    }

    // ---- Other realistic flights ----

    void highFlightWithAGpsGap()
    {
        FlightProfile profile;
        profile.boostG = 16.0f;
        profile.boostSeconds = 4.0f;
        profile.padAltitude = 900.0f;
        profile.gpsGapStart = 22.0f;
        profile.gpsGapEnd = 70.0f;
        profile.descentRate = 40.0f;
        FlightTruth truth;
        const auto flight = SyntheticFlight::analysed(profile, &truth);
        QVERIFY(truth.apogeeHeight > 3000.0f);
        QVERIFY(flight->isFlight());
        QCOMPARE_NEAR(flight->launchTime(), truth.launch, 0.1);
        QCOMPARE_NEAR(flight->peakVelocityTime(), truth.burnout, 0.3);
        QCOMPARE_NEAR(flight->apogeeTime(), truth.apogee, 0.5);
        QCOMPARE_NEAR(flight->landingTime(), truth.landing + 1.0, 0.5);
        QCOMPARE_NEAR(flight->groundLevel(), 900.0, 1.0);
        QCOMPARE_NEAR(maxValue(flight->kalmanVelocity), truth.burnoutVelocity, 0.05 * truth.burnoutVelocity);
        // Through the gap the filter follows the barometer.
        for (float t = 25.0f; t < 65.0f; t += 5.0f)
            QCOMPARE_NEAR(flight->sampleSeries(flight->kalmanAltitude, t).value - 12.0f,
                          flight->sampleSeries(flight->pressureAltitude, t).value, 30.0);
        for (const SeriesPoint &p : flight->gpsAltitude)
            QVERIFY(p.time < 22.0f || p.time >= 70.0f);
    }

    void groundTest()
    {
        FlightProfile profile;
        profile.moves = false;
        const auto flight = SyntheticFlight::analysed(profile);
        QVERIFY(!flight->isFlight());
        QCOMPARE(flight->groundLevel(), flight->sampleSeries(flight->pressureAltitude, 0.0f).value);
        QCOMPARE_NEAR(flight->groundLevel(), 250.0, 1.0);
        QVERIFY(std::fabs(maxValue(flight->kalmanVelocity)) < 5.0f);
    }

    void upsideDownBoardIsInvertedOnce()
    {
        FlightProfile profile;
        profile.upsideDown = true;
        FlightTruth truth;
        SyntheticFlight built(profile);
        const auto flight = built.flight();
        truth = built.truth();
        const QStringList lines = traceOf([&] { flight->processFlight(); });
        QCOMPARE(lines.value(1), QString("Accel data negative, inverting..."));
        QVERIFY(flight->accelInverted);
        QCOMPARE_NEAR(flight->sampleSeries(flight->accelZ, truth.launch - 2.0f).value, 1.0, 0.05);
        QCOMPARE_NEAR(flight->launchTime(), truth.launch, 0.1);
        QVERIFY(flight->isFlight());
        for (const OKUEvent *e : flight->events)
            if (const auto *a = eventAs<OKUEvent_AccelZ>(e); a && a->time < truth.launch)
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
        const auto flight = SyntheticFlight::analysed();
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
        const auto flight = SyntheticFlight::analysed();
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
        const auto flight = SyntheticFlight::analysed();
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
        low.padAltitude = 100.0f;
        FlightProfile high;
        high.padAltitude = 1500.0f;
        high.padSeconds = 30.0f;
        const auto first = SyntheticFlight::analysed(low);
        QCOMPARE_NEAR(first->groundLevel(), 100.0, 1.0);
        const auto second = SyntheticFlight::analysed(high);
        QCOMPARE_NEAR(second->groundLevel(), 1500.0, 1.0);
        QCOMPARE_NEAR(first->groundLevel(), 100.0, 1.0);
        QCOMPARE_NEAR(second->launchTime(), 30.0, 0.1);
        QCOMPARE_NEAR(first->launchTime(), 20.0, 0.1);
        // Changing one leaves the other alone.
        second->zeroTime(10.0f);
        QCOMPARE_NEAR(first->launchTime(), 20.0, 0.1);
        QCOMPARE_NEAR(second->launchTime(), 20.0, 0.1);
    }
};

QTEST_APPLESS_MAIN(TestAnalysis)
#include "test_analysis.moc"
