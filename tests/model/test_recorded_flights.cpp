// The analysis and exports on flights recorded by the virtual flight
// computer: a point-mass rocket flown through the device's own flight logic,
// written at the device's write rates and cut out of the flash image.

#include "model/eventcast.h"
#include "model/flashparser.h"
#include "model/flight.h"
#include "model/trace.h"
#include "testflights.h"

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstring>

class TestRecordedFlights : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    void cleanFlight()
    {
        FlightTruth truth;
        const auto flight = analysedFlight(FlightProfile(), &truth);
        checkMoments(*flight, truth);
        QVERIFY(!flight->accelInverted);
        QCOMPARE_NEAR(flight->groundLevel(), flight->sampleSeries(flight->pressureAltitude, flight->launchTime()).value, 1e-3);
        QCOMPARE_NEAR(flight->groundLevel(), okukipo::sim::blackRockDesert().altitude, 5.0);
        // Highest filtered altitude: the apogee above the pad, in the GPS frame.
        QCOMPARE_NEAR(maxValue(flight->kalmanAltitude)
                          - flight->sampleSeries(flight->kalmanAltitude, truth.launchTime - 1.0f).value,
                      truth.apogeeAltitude, 0.05 * truth.apogeeAltitude);
        // The boost is the hardest push.
        const auto vertical = flight->maxVerticalAcceleration();
        QVERIFY(vertical.first >= truth.launchTime - 0.2 && vertical.first <= truth.burnoutTime);
        QVERIFY(vertical.second > 3.0f);
        QVERIFY(flight->flightDateEvent());
        QVERIFY(flight->firstValidGPS());
    }

    void highFlightWithAGpsGap()
    {
        FlightProfile profile;
        profile.targetApogee = 3000.0;
        profile.burnSeconds = 3.0;
        profile.descentRate = 20.0;
        profile.gpsGapStart = 25.0;
        profile.gpsGapSeconds = 30.0;
        FlightTruth truth;
        const auto flight = analysedFlight(profile, &truth);
        checkMoments(*flight, truth);
        for (const SeriesPoint &p : flight->gpsAltitude)
            QVERIFY(p.time < 25.0f || p.time > 54.9f);
        // No jumps where the GPS drops out and comes back.
        for (std::size_t i = 1; i < flight->kalmanAltitude.size(); ++i)
            QVERIFY(std::fabs(flight->kalmanAltitude[i].value - flight->kalmanAltitude[i - 1].value) < 70.0f);
        QCOMPARE_NEAR(maxValue(flight->kalmanAltitude)
                          - flight->sampleSeries(flight->kalmanAltitude, truth.launchTime - 1.0f).value,
                      truth.apogeeAltitude, 0.05 * truth.apogeeAltitude);
    }

    void groundTest()
    {
        FlightProfile profile;
        profile.groundTest = true;
        profile.padSeconds = 60.0;
        FlightTruth truth;
        const auto flight = analysedFlight(profile, &truth);
        QVERIFY(!truth.launched);
        QVERIFY(!flight->isFlight());
        QCOMPARE(flight->groundLevel(), flight->sampleSeries(flight->pressureAltitude, flight->events.front()->time).value);
        QCOMPARE_NEAR(flight->endTime(), truth.endTime, 0.05);
        for (const SeriesPoint &p : flight->kalmanVelocity)
            QVERIFY(std::fabs(p.value) < 3.0f);
    }

    void upsideDownBoard()
    {
        FlightProfile profile;
        profile.upsideDown = true;
        profile.targetApogee = 900.0;
        profile.burnSeconds = 2.2;
        FlightTruth truth;
        const auto flight = analysedFlight(profile, &truth);
        QVERIFY(flight->accelInverted);
        checkMoments(*flight, truth);
        QCOMPARE_NEAR(flight->sampleSeries(flight->accelZ, truth.launchTime - 2.0f).value, 1.0, 0.1);

        // Once only: saving and loading, or analysing again, keeps the data upright.
        const Series upright = flight->accelZ;
        flight->processFlight();
        QVERIFY(std::memcmp(upright.data(), flight->accelZ.data(), upright.size() * sizeof(SeriesPoint)) == 0);
        QTemporaryDir dir;
        QVERIFY(flight->save(dir.filePath("f.kipo")));
        OKUKIPOFlight loaded;
        QVERIFY(loaded.load(dir.filePath("f.kipo")));
        QVERIFY(loaded.accelInverted);
        QCOMPARE(loaded.launchTime(), flight->launchTime());
        QCOMPARE(loaded.landingTime(), flight->landingTime());

        // The emulation file gives the device its readings as recorded: upside down.
        QVERIFY(flight->exportEmulationData(dir.filePath("e.csv")));
        QFile file(dir.filePath("e.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        file.readLine();
        const QList<QByteArray> firstRow = file.readLine().trimmed().split(',');
        QCOMPARE(firstRow[0], QByteArray("0.00"));
        QCOMPARE_NEAR(firstRow[6].toDouble(), -9.81, 0.5);
    }

    void flightWithoutEvents()
    {
        // A marker and a settings record, then the end of the flight.
        QByteArray image = okukipo::sim::recordFlight(FlightProfile()).bytes.left(100);
        image.append('\0');
        const auto flights = parseFlights(image);
        QCOMPARE(flights.size(), std::size_t(1));
        OKUKIPOFlight &flight = *flights.front();
        QVERIFY(flight.events.empty());
        flight.processFlight();
        QVERIFY(!flight.isFlight());
        QCOMPARE(flight.launchTime(), 0.0f);
        QCOMPARE(flight.landingTime(), 0.0f);
        QCOMPARE(flight.groundLevel(), 0.0f);
        QTemporaryDir dir;
        QVERIFY(flight.exportCSV(dir.filePath("f.csv")));
        QVERIFY(flight.exportKML(dir.filePath("f.kml")));
        QVERIFY(flight.exportEmulationData(dir.filePath("f.emu")));
        QVERIFY(!flight.exportThrustData(dir.filePath("f.thr"), 1.0, 0.1));
        QVERIFY(!QFile::exists(dir.filePath("f.thr")));
    }

    void autoTrimAndZero()
    {
        // What the flight window's auto trim does: launch to 0, then keep
        // 100 s before it up to 10 s after landing.
        FlightTruth truth;
        const auto flight = analysedFlight(FlightProfile(), &truth);
        const float launch = flight->launchTime();
        const float apogee = flight->apogeeTime();
        flight->zeroTime(launch);
        QCOMPARE_NEAR(flight->launchTime(), 0.0, 0.02);
        QCOMPARE_NEAR(flight->apogeeTime(), apogee - launch, 1e-3);
        const float landing = flight->landingTime();
        const auto kept = std::count_if(flight->events.begin(), flight->events.end(),
                                        [landing](const OKUEvent *e) { return e->time <= landing + 10.0f; });
        flight->trim(-100.0f, landing + 10.0f);
        // Everything up to 10 s after landing, the last record included when
        // the recording stops earlier.
        QCOMPARE(std::ptrdiff_t(flight->events.size()), kept);
        QVERIFY(flight->events.back()->time <= landing + 10.0f);
        QCOMPARE_NEAR(flight->launchTime(), 0.0, 0.02);
        QCOMPARE_NEAR(flight->apogeeTime(), apogee - launch, 1e-3);
        QVERIFY(flight->isFlight());
    }
};

QTEST_APPLESS_MAIN(TestRecordedFlights)
#include "test_recorded_flights.moc"
