#include "device/sim/flightlogic.h"
#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QtTest>
#include <cmath>

using namespace okukipo::sim;

namespace {

template<typename Event>
QVector<const Event *> eventsOf(const OKUKIPOFlight &flight, double from = -1.0, double to = 1e9)
{
    QVector<const Event *> found;
    for (const OKUEvent *event : flight.events) {
        if (const auto *typed = dynamic_cast<const Event *>(event); typed && typed->time >= from && typed->time < to)
            found.append(typed);
    }
    return found;
}

// The spacing of consecutive events of one type inside a time window, in ms.
template<typename Event>
QSet<int> spacingsMs(const OKUKIPOFlight &flight, double from, double to)
{
    const auto events = eventsOf<Event>(flight, from, to);
    QSet<int> spacings;
    for (int i = 1; i < events.size(); ++i)
        spacings.insert(int(std::lround((events[i]->time - events[i - 1]->time) * 1000.0)));
    return spacings;
}

} // namespace

class TestSimFlightModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        flight = simulatedFlight(FlightProfile(), &truth);
    }

    void truthDescribesAWholeFlight()
    {
        QVERIFY(truth.launched);
        QCOMPARE(truth.launchTime, 20.0);
        QVERIFY(qAbs(truth.apogeeAltitude - 300.0) < 3.0);
        QVERIFY(truth.launchTime < truth.burnoutTime);
        QVERIFY(truth.burnoutTime < truth.apogeeTime);
        // Drag keeps the rocket below where the burnout velocity would carry it in vacuum.
        const double burnSeconds = truth.burnoutTime - truth.launchTime;
        const double vacuumApogee = 0.5 * truth.burnoutVelocity * burnSeconds
                                    + truth.burnoutVelocity * truth.burnoutVelocity / (2.0 * 9.80665);
        QVERIFY(truth.apogeeAltitude < vacuumApogee);
        QVERIFY(truth.apogeeAltitude > 0.5 * vacuumApogee);
        QVERIFY(truth.apogeeTime <= truth.deploymentTime);
        QVERIFY(truth.deploymentTime < truth.apogeeTime + 2.0);
        // Under a 6 m/s parachute from 300 m.
        QVERIFY(qAbs(truth.landingTime - truth.apogeeTime - 300.0 / 6.0) < 8.0);
        QVERIFY(truth.endTime > truth.landingTime);
        QVERIFY(truth.endTime < truth.landingTime + 5.0);
    }

    void flightCarriesTheDeviceSettings()
    {
        QVERIFY(flight->settings.valid);
        QCOMPARE(flight->settings.deviceBytes(), factorySettings().deviceBytes());
        QCOMPARE(quint16(flight->settings.firmwareVersion), quint16(0x0221));
    }

    void eventsRunInTimeOrderUntilTheEnd()
    {
        QVERIFY(flight->events.size() > 10000);
        for (size_t i = 1; i < flight->events.size(); ++i)
            QVERIFY(flight->events[i - 1]->time <= flight->events[i]->time);
        QVERIFY(flight->events.back()->time <= truth.endTime + 1e-3);
        QVERIFY(flight->events.back()->time > truth.endTime - 0.2);
    }

    void pressureAltitudePeaksAtTheTrueApogee()
    {
        const auto pressures = eventsOf<OKUEvent_Pressure>(*flight);
        const double ground = FlightLogic::pressureAltitude(pressures.first()->pressure);
        const OKUEvent_Pressure *lowest = pressures.first();
        for (const OKUEvent_Pressure *pressure : pressures) {
            if (pressure->pressure < lowest->pressure)
                lowest = pressure;
        }
        QVERIFY(qAbs(FlightLogic::pressureAltitude(lowest->pressure) - ground - truth.apogeeAltitude) < 3.0);
        QVERIFY(qAbs(lowest->time - truth.apogeeTime) < 0.5);
    }

    void sensorsAreWrittenAtTheirRatesPerPhase()
    {
        // Pad: base periods times the pad multiple of 10.
        QCOMPARE(spacingsMs<OKUEvent_AccelZ>(*flight, 1.0, 19.0), QSet<int>{100});
        QCOMPARE(spacingsMs<OKUEvent_Pressure>(*flight, 1.0, 19.0), QSet<int>{200});
        QCOMPARE(spacingsMs<OKUEvent_GPSLLSol>(*flight, 1.0, 19.0), QSet<int>{2000});
        // In flight: the base periods.
        const double from = truth.launchTime + 0.5;
        const double to = truth.landingTime - 1.0;
        QCOMPARE(spacingsMs<OKUEvent_AccelZ>(*flight, from, to), QSet<int>{10});
        QCOMPARE(spacingsMs<OKUEvent_GyroXYZ>(*flight, from, to), QSet<int>{10});
        QCOMPARE(spacingsMs<OKUEvent_Pressure>(*flight, from, to), QSet<int>{20});
        QCOMPARE(spacingsMs<OKUEvent_LineA>(*flight, from, to), QSet<int>{50});
        QCOMPARE(spacingsMs<OKUEvent_MagXYZ>(*flight, from, to), QSet<int>{100});
        QCOMPARE(spacingsMs<OKUEvent_GPSLLSol>(*flight, from, to), QSet<int>{200});
        QCOMPARE(spacingsMs<OKUEvent_Temperature>(*flight, from, to), QSet<int>{500});
        QCOMPARE(spacingsMs<OKUEvent_GPSTime>(*flight, from, to), QSet<int>{500});
    }

    void writeRateDividerSlowsItsType()
    {
        OKUKIPOSettings settings = factorySettings();
        settings.writeRate[1] = 3; // vertical acceleration
        settings.updateChecksum();
        FlightTruth slowTruth;
        const auto slow = simulatedFlight(FlightProfile(), &slowTruth, settings);
        QCOMPARE(spacingsMs<OKUEvent_AccelZ>(*slow, slowTruth.launchTime + 0.5, slowTruth.apogeeTime), QSet<int>{30});
        QCOMPARE(spacingsMs<OKUEvent_AccelXY>(*slow, slowTruth.launchTime + 0.5, slowTruth.apogeeTime), QSet<int>{10});
    }

    void accelerationShowsPadBoostAndCoast()
    {
        const auto pad = eventsOf<OKUEvent_AccelZ>(*flight, 0.0, truth.launchTime);
        for (const OKUEvent_AccelZ *accel : pad)
            QVERIFY(qAbs(accel->accelZ - 1.0f) < 0.06f);
        // At ignition, before any drag, the board feels the motor's thrust over the rocket's weight.
        const auto ignition = eventsOf<OKUEvent_AccelZ>(*flight, truth.launchTime - 0.005, truth.launchTime + 0.02);
        QVERIFY(!ignition.isEmpty());
        QVERIFY(qAbs(ignition.first()->accelZ - truth.thrustToWeight) < 0.05);
        const auto boost = eventsOf<OKUEvent_AccelZ>(*flight, truth.launchTime + 0.1, truth.burnoutTime - 0.1);
        for (const OKUEvent_AccelZ *accel : boost)
            QVERIFY(accel->accelZ > 3.0f);
        const auto coast = eventsOf<OKUEvent_AccelZ>(*flight, truth.burnoutTime + 0.1, truth.apogeeTime - 0.5);
        for (const OKUEvent_AccelZ *accel : coast)
            QVERIFY(accel->accelZ < 0.2f);
    }

    void statusAndLinesFollowTheDeviceLogic()
    {
        const auto status = eventsOf<OKUEvent_Status>(*flight);
        QCOMPARE(status.first()->state, 0);
        QVERIFY(status.first()->lineContinuity[0] && status.first()->lineContinuity[1]);
        QVERIFY(!status.first()->lineContinuity[2]);
        QCOMPARE(eventsOf<OKUEvent_Status>(*flight, truth.launchTime + 0.2, truth.launchTime + 1.0).first()->state, 1);
        // Nothing is written on the ground with the default ground multiple of 0.
        QCOMPARE(status.last()->state, 3);

        // Line A fires at apogee, line B at 150 m on the way down.
        const auto lineA = eventsOf<OKUEvent_LineA>(*flight);
        const auto firstOn = std::find_if(lineA.begin(), lineA.end(), [](const OKUEvent_LineA *line) { return line->flag15; });
        QVERIFY(firstOn != lineA.end());
        QVERIFY(qAbs((*firstOn)->time - truth.apogeeTime) < 1.0);
        const auto lineB = eventsOf<OKUEvent_LineB>(*flight);
        QVERIFY(std::any_of(lineB.begin(), lineB.end(), [](const OKUEvent_LineB *line) { return line->flag15; }));
        QVERIFY(lineA.last()->voltage < 0.1f); // the e-match has burnt through
    }

    void gpsStaysAtTheLaunchSite()
    {
        const LaunchSite site = blackRockDesert();
        const auto fixes = eventsOf<OKUEvent_GPSLLSol>(*flight);
        QVERIFY(!fixes.isEmpty());
        for (const OKUEvent_GPSLLSol *fix : fixes) {
            QVERIFY(qAbs(fix->latitude - site.latitude) < 0.0005);
            QVERIFY(qAbs(fix->longitude - site.longitude) < 0.005);
            QVERIFY(fix->solution3D);
        }
        QVERIFY(qAbs(fixes.first()->altitude - site.altitude) < 10.0);
        const auto times = eventsOf<OKUEvent_GPSTime>(*flight);
        QVERIFY(times.first()->timeValid);
        QCOMPARE(times.first()->leapSeconds, 18);
        QCOMPARE(times.first()->week, quint16(2422)); // 13 June 2026
    }

    void gpsGapLeavesNoPositions()
    {
        FlightProfile profile;
        profile.gpsGapStart = 20.5;
        profile.gpsGapSeconds = 3.0;
        const auto gapped = simulatedFlight(profile);
        QVERIFY(eventsOf<OKUEvent_GPSLLSol>(*gapped, 20.5, 23.5).isEmpty());
        QVERIFY(!eventsOf<OKUEvent_GPSLLSol>(*gapped, 23.5, 25.0).isEmpty());
        QVERIFY(!eventsOf<OKUEvent_GPSTime>(*gapped, 20.5, 23.5).isEmpty());
    }

    void upsideDownBoardReadsNegativeGravity()
    {
        FlightProfile profile;
        profile.upsideDown = true;
        FlightTruth flippedTruth;
        const auto flipped = simulatedFlight(profile, &flippedTruth);
        for (const OKUEvent_AccelZ *accel : eventsOf<OKUEvent_AccelZ>(*flipped, 0.0, 19.0))
            QVERIFY(qAbs(accel->accelZ + 1.0f) < 0.06f);
        QVERIFY(flippedTruth.launched);
        QVERIFY(qAbs(flippedTruth.apogeeAltitude - 300.0) < 3.0);
        // The device's logic still follows the flight down.
        QVERIFY(flippedTruth.endTime < flippedTruth.landingTime + 5.0);
    }

    void groundTestNeverLaunches()
    {
        FlightProfile profile;
        profile.groundTest = true;
        profile.padSeconds = 30.0;
        FlightTruth testTruth;
        const auto test = simulatedFlight(profile, &testTruth);
        QVERIFY(!testTruth.launched);
        QVERIFY(qAbs(testTruth.endTime - 30.0) < 0.2);
        for (const OKUEvent_Status *status : eventsOf<OKUEvent_Status>(*test))
            QCOMPARE(status->state, 0);
        for (const OKUEvent_AccelZ *accel : eventsOf<OKUEvent_AccelZ>(*test))
            QVERIFY(accel->accelZ < 1.1f);
    }

    void groundMultipleKeepsRecordingAfterLanding()
    {
        OKUKIPOSettings settings = factorySettings();
        settings.groundWriteMultiple = 5;
        settings.updateChecksum();
        FlightProfile profile;
        profile.groundSeconds = 8.0;
        FlightTruth groundTruth;
        const auto grounded = simulatedFlight(profile, &groundTruth, settings);
        QVERIFY(groundTruth.endTime > groundTruth.landingTime + 8.0);
        QCOMPARE(eventsOf<OKUEvent_Status>(*grounded).last()->state, 4);
        QCOMPARE(spacingsMs<OKUEvent_AccelZ>(*grounded, groundTruth.landingTime + 4.0, groundTruth.endTime - 0.5), QSet<int>{50});
    }

    void sameProfileRecordsTheSameBytes()
    {
        FlightProfile profile;
        profile.targetApogee = 150.0;
        QCOMPARE(recordFlight(profile).bytes, recordFlight(profile).bytes);
        profile.seed = 7;
        QVERIFY(recordFlight(profile).bytes != recordFlight(FlightProfile()).bytes);
    }

    void flashImagesHoldSeveralFlights()
    {
        const auto demo = parseFlights(demoFlashImage());
        QCOMPARE(demo.size(), size_t(3));
        for (const auto &demoFlight : demo)
            QVERIFY(demoFlight->settings.valid && !demoFlight->events.empty());

        const QByteArray full = filledFlashImage(4128768);
        QCOMPARE(full.size(), 4128768);
        QVERIFY(parseFlights(full).size() >= 8);
    }

private:
    std::shared_ptr<OKUKIPOFlight> flight;
    FlightTruth truth;
};

QTEST_GUILESS_MAIN(TestSimFlightModel)
#include "test_sim_flightmodel.moc"
