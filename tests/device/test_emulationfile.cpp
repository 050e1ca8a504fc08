#include "device/emulation.h"

#include <QtTest>

// The conversions and the line formats of on-device emulation.
class TestEmulationFile : public QObject
{
    Q_OBJECT

private slots:
    void headerLine()
    {
        QCOMPARE(QByteArray(EmulationResultHeader),
                 QByteArray("Time [s],State,Altitude [m],Velocity [m/s],Acceleration [m/s^2],Line A,Line B,Line C,"
                            "Line D,Orientation quaturnion w,Orientation quaturnion x,Orientation quaturnion y,"
                            "Orientation quaturnion z,Angle (device frame) [deg.]"));
    }

    void stateNames()
    {
        const QStringList names = {"pad", "boost", "boost end", "coast", "apogee", "decent", "ground"};
        for (int state = 0; state < names.size(); ++state)
            QCOMPARE(emulationStateName(state), names.at(state));
        QCOMPARE(emulationStateName(7), QStringLiteral("unknown: 7"));
        QCOMPARE(emulationStateName(255), QStringLiteral("unknown: 255"));
    }

    void readsTheTenFields()
    {
        EmulationSample sample;
        QVERIFY(parseEmulationLine("0.02,100.5,98.25,1,9.80665,-1,2,0.07,-1,14.5\r\n", sample));
        QCOMPARE(sample.time, 0.02);
        QCOMPARE(sample.pressureAltitude, 100.5);
        QCOMPARE(sample.gpsAltitude, 98.25);
        QCOMPARE(sample.gpsValid, 1);
        QCOMPARE(sample.accel, (std::array<double, 3>{9.80665, -1, 2}));
        QCOMPARE(sample.gyro, (std::array<double, 3>{0.07, -1, 14.5}));
    }

    void aShortLineEndsTheInput()
    {
        EmulationSample sample;
        QVERIFY(!parseEmulationLine("0.02,100.5,98.25,1,0,0,0,0,0\n", sample));
        QVERIFY(!parseEmulationLine("", sample));
    }

    void aFieldThatIsNoNumberReadsAsZero()
    {
        EmulationSample sample;
        QVERIFY(parseEmulationLine("t,x,5,y,0,0,0,0,0,0", sample));
        QCOMPARE(sample.time, 0.0);
        QCOMPARE(sample.pressureAltitude, 0.0);
        QCOMPARE(sample.gpsAltitude, 5.0);
        QCOMPARE(sample.gpsValid, 0);
    }

    void convertsToDeviceCounts()
    {
        EmulationSample sample;
        sample.pressureAltitude = 0;
        sample.gpsAltitude = -1.5;
        sample.gpsValid = 1;
        sample.accel = {1.0, -1.0, 9.80665};
        sample.gyro = {1.0, -1.0, 0.07};
        const OKUEmulationInput input = emulationInput(sample);
        QCOMPARE(input.pressure, quint32(101325));
        QCOMPARE(input.gpsAltitudeMm, qint32(-1500));
        QCOMPARE(input.gpsValid, quint8(1));
        // trunc(value * 256 / 9.80665), trunc(value / 0.07)
        QCOMPARE(input.accel, (std::array<qint16, 3>{26, -26, 255}));
        QCOMPARE(input.gyro, (std::array<qint16, 3>{14, -14, 0}));
    }

    void countsKeepTheirLowSixteenBits()
    {
        EmulationSample sample;
        sample.accel = {2000.0, 0, 0}; // 52191 counts
        QCOMPARE(emulationInput(sample).accel[0], qint16(52191 - 65536));
    }

    void altitudeIsLimitedTo30000Metres()
    {
        EmulationSample high;
        high.pressureAltitude = 30000;
        EmulationSample higher;
        higher.pressureAltitude = 45000;
        QCOMPARE(emulationInput(higher).pressure, emulationInput(high).pressure);
        // 101325 * (1 - 2.2557924e-05 * 30000)^5.255882740020752 = 267.9 Pa
        QCOMPARE(emulationInput(high).pressure, quint32(267));
    }

    void resultLine()
    {
        OKUEmulationResult result;
        result.state = 1;
        result.altitude = 12.5f;
        result.velocity = 3.25f;
        result.acceleration = 0.19f;
        result.lines = {0, 2, 1, 0};
        result.w = 1;
        QCOMPARE(emulationResultLine(0.01, result), QByteArray("0.01,boost,12.5,3.25,10,0,100,100,0,1,0,0,0,0"));
    }

    void angleFromVertical()
    {
        OKUEmulationResult upsideDown;
        upsideDown.w = 0;
        upsideDown.x = 1;
        QVERIFY(emulationResultLine(0, upsideDown).endsWith(",0,1,0,0,180"));
        // Rounding past 1 must not make the angle undefined.
        OKUEmulationResult rounded;
        rounded.w = 1.0000001f;
        QVERIFY(emulationResultLine(0, rounded).endsWith(",0"));
    }
};

QTEST_GUILESS_MAIN(TestEmulationFile)
#include "test_emulationfile.moc"
