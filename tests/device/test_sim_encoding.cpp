#include "decodedevent.h"
#include "device/sim/eventencoder.h"
#include "device/sim/flightlogic.h"

#include <QtTest>

using namespace okukipo::sim;

namespace {

// One 10 ms step of sensor values for the flight logic.
SensorFrame frameAt(double altitude, double accelG)
{
    SensorFrame frame;
    frame.pressure = FlightLogic::standardPressure(altitude);
    frame.accel = {0.0, 0.0, accelG};
    return frame;
}

} // namespace

class TestSimEncoding : public QObject
{
    Q_OBJECT

private slots:
    void encodesTheDeviceByteFormat_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("accel z -1 g") << encodeAccelZ(-1.0) << QByteArray::fromHex("02ff00");
        QTest::newRow("accel z saturates") << encodeAccelZ(500.0) << QByteArray::fromHex("027fff");
        QTest::newRow("pressure") << encodePressure(100000.0) << QByteArray::fromHex("030186a0");
        QTest::newRow("line flags and voltage") << encodeLine(0, {true, true, 0.0}) << QByteArray::fromHex("07c000");
        QTest::newRow("line D full scale") << encodeLine(3, {false, false, 3.3}) << QByteArray::fromHex("0a3fff");
        QTest::newRow("accel xy") << encodeAccelXY(-1.0, 1.0 / 256) << QByteArray::fromHex("0bff000001");
        QTest::newRow("gyro") << encodeGyro(0.07, -0.07, 7.0) << QByteArray::fromHex("0c0001ffff0064");
        QTest::newRow("gps") << encodeGPSPosition({200000000 * 1.0000000116860974e-7, -100000000 * 1.0000000116860974e-7, 100.0, 10, true})
                             << QByteArray::fromHex("0e0bebc200fa0a1f00000186a02a");
        QTest::newRow("gps satellites limited to 31") << encodeGPSPosition({0, 0, 0, 40, false}).right(1)
                                                      << QByteArray::fromHex("1f");
        QTest::newRow("gps time") << encodeGPSTime(0x01020304, 0x0506, true, 18) << QByteArray::fromHex("1201020304050692");
        QTest::newRow("ident padded") << encodeIdent("KIPO") << QByteArray::fromHex("114b49504f0000");
        QTest::newRow("text") << encodeText("abc") << QByteArray::fromHex("0103616263");
        QTest::newRow("orientation") << encodeOrientation(Quaternion{1.0, 0.0, 0.0, 0.0})
                                     << QByteArray::fromHex("150000000000007fff");
        QTest::newRow("short step") << encodeTimeStep(5) << QByteArray::fromHex("85");
        QTest::newRow("long step avoids erased byte") << encodeTimeStep(300) << QByteArray::fromHex("fefe b0");
        QTest::newRow("no step") << encodeTimeStep(0) << QByteArray();
    }
    void encodesTheDeviceByteFormat()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded.toHex(), expected.toHex());
    }

    void statusBitsFollowTheWordLayout()
    {
        DeviceStatus status;
        status.stateCode = 3;
        status.lineAlert[0] = true;
        status.lineContinuity[0] = true;
        status.lineOther[3] = true;
        QCOMPARE(encodeStatus(status).toHex(), QByteArray("103181"));
        const auto decodedStatus = decoded<OKUEvent_Status>(encodeStatus(status));
        QVERIFY(decodedStatus);
        QCOMPARE(decodedStatus->state, 2);
        QVERIFY(decodedStatus->lineAlert[0] && decodedStatus->lineContinuity[0] && decodedStatus->lineOther[3]);
        QVERIFY(!decodedStatus->lineAlert[1] && !decodedStatus->lineContinuity[1] && !decodedStatus->lineOther[0]);
    }

    void decoderReadsBackWhatTheDeviceWrote()
    {
        const auto temperature = decoded<OKUEvent_Temperature>(encodeTemperature(-12.34));
        QVERIFY(temperature);
        QVERIFY(qAbs(temperature->temperature + 12.34f) < 0.006f);
        const auto battery = decoded<OKUEvent_ComputerBattery>(encodeComputerBattery(8.1));
        QVERIFY(battery);
        QVERIFY(qAbs(battery->voltage - 8.1f) < 0.0002f);
        const auto gps = decoded<OKUEvent_GPSLLSol>(encodeGPSPosition({40.8807, -119.1219, 1191.25, 9, true}));
        QVERIFY(gps);
        QVERIFY(qAbs(gps->latitude - 40.8807) < 1e-6);
        QVERIFY(qAbs(gps->longitude + 119.1219) < 1e-6);
        QCOMPARE(gps->altitude, 1191.25f);
        const auto orientation = decoded<OKUEvent_Orientation>(encodeOrientation(Quaternion::fromAxisAngle({0, 0, 1}, 90)));
        QVERIFY(orientation);
        QVERIFY(qAbs(orientation->z - 0.70710678f) < 1e-4f);
        QVERIFY(qAbs(orientation->w - 0.70710678f) < 1e-4f);
    }

    void flightLogicFollowsAFlightThroughItsStates()
    {
        LineRules rules;
        rules[0].mode = LineMode::Apogee;
        rules[1].mode = LineMode::AltitudeAfterApogee;
        rules[1].altitude = 50.0;
        rules[2].mode = LineMode::Time;
        rules[2].timeSeconds = 1.0;
        rules[2].onSeconds = 0.5;
        FlightLogic logic(rules);
        logic.begin(frameAt(0.0, 1.0).pressure);

        QVector<FlightState> seen{FlightState::Pad};
        std::array<bool, 4> fired{};
        double altitude = 0.0;
        double velocity = 0.0;
        for (int step = 0; step < 6000; ++step) {
            const double t = step * 0.01;
            double accel = 0.0; // m/s^2, gravity removed
            if (t >= 1.0 && t < 2.0)
                accel = 100.0;
            else if (t >= 2.0)
                accel = velocity > -20.0 ? -9.80665 : 0.0;
            velocity += accel * 0.01;
            altitude = std::max(0.0, altitude + velocity * 0.01);
            if (altitude == 0.0 && t > 2.0) {
                velocity = 0.0;
                accel = 0.0;
            }
            const FlightLogicOutput &out = logic.step(frameAt(altitude, 1.0 + accel / 9.80665));
            if (out.state != seen.last())
                seen.append(out.state);
            for (size_t line = 0; line < 4; ++line)
                fired[line] = fired[line] || out.lines[line];
        }
        const QVector<FlightState> expected{FlightState::Pad, FlightState::Boost, FlightState::BoostEnd, FlightState::Coast,
                                            FlightState::Apogee, FlightState::Descent, FlightState::Ground};
        QCOMPARE(seen, expected);
        QVERIFY(fired[0] && fired[1] && fired[2]);
        QVERIFY(!fired[3]);
        QVERIFY(logic.lineSpent(2));
    }

    void flightLogicLevelsAnUpsideDownBoard()
    {
        FlightLogic logic;
        logic.begin(101325.0);
        const FlightLogicOutput &out = logic.step(frameAt(0.0, -1.0));
        QVERIFY(qAbs(out.acceleration) < 1e-6);
        QCOMPARE(out.state, FlightState::Pad);
    }
};

QTEST_GUILESS_MAIN(TestSimEncoding)
#include "test_sim_encoding.moc"
