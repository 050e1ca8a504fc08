#include "device/emulation.h"

#include <QtTest>

// The conversions and the line formats of on-device emulation.
class TestEmulationFile : public QObject
{
    Q_OBJECT

private slots:
    void readsTheTenFields()
    {
        EmulationSample sample;
        QVERIFY(parseEmulationLine("0.02,100.5,98.25,1,9.80665,-1,2,0.07,-1,14.5\r\n", sample));
        QCOMPARE(sample.time, 0.02);
        QCOMPARE(sample.gpsAltitude, 98.25);
        QCOMPARE(sample.accel, (std::array<double, 3>{9.80665, -1, 2}));
        QCOMPARE(sample.gyro, (std::array<double, 3>{0.07, -1, 14.5}));
        QVERIFY(parseEmulationLine("t,x,5,y,0,0,0,0,0,0", sample));
        QCOMPARE(sample.pressureAltitude, 0.0);
        QCOMPARE(sample.gpsValid, 0);
        QVERIFY(!parseEmulationLine("0.02,100.5,98.25,1,0,0,0,0,0\n", sample));
    }

    void convertsToDeviceCounts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<quint32>("pressure");
        QTest::addColumn<qint32>("gpsMm");
        QTest::addColumn<qint16>("accel");
        QTest::addColumn<qint16>("gyro");
        // Counts: trunc(value * 256 / 9.80665), trunc(value / 0.07).
        QTest::newRow("sea level") << QByteArray("0,0,-1.5,1,1,0,0,1,0,0") << 101325u << -1500 << qint16(26) << qint16(14);
        QTest::newRow("one g") << QByteArray("0,0,0,1,9.80665,0,0,0.07,0,0") << 101325u << 0 << qint16(255) << qint16(0);
        // 2000 m/s^2 are 52191 counts, kept to 16 bits.
        QTest::newRow("wrapped") << QByteArray("0,0,0,1,2000,0,0,0,0,0") << 101325u << 0 << qint16(52191 - 65536) << qint16(0);
        // 101325 * (1 - 2.2557924e-05 * 30000)^5.255882740020752 = 267.9 Pa.
        QTest::newRow("above 30000 m") << QByteArray("0,45000,0,1,0,0,0,0,0,0") << 267u << 0 << qint16(0) << qint16(0);
        QTest::newRow("endless high") << QByteArray("0,inf,0,1,0,0,0,0,0,0") << 267u << 0 << qint16(0) << qint16(0);
        QTest::newRow("not a number") << QByteArray("nan,nan,nan,1,nan,0,0,nan,0,0") << 101325u << 0 << qint16(0) << qint16(0);
        QTest::newRow("endless") << QByteArray("0,-inf,inf,1,inf,0,0,-inf,0,0") << 4294967295u << 2147483647
                                 << qint16(32767) << qint16(-32768);
        QTest::newRow("beyond a double") << QByteArray("0,-1e999,-1e999,1,-1e999,0,0,1e999,0,0") << 4294967295u
                                         << qint32(-2147483647 - 1) << qint16(-32768) << qint16(32767);
        QTest::newRow("beyond the millimetres") << QByteArray("0,0,3e6,1,0,0,0,0,0,0") << 101325u << 2147483647
                                                << qint16(0) << qint16(0);
    }

    void convertsToDeviceCounts()
    {
        QFETCH(QByteArray, line);
        EmulationSample sample;
        QVERIFY(parseEmulationLine(line, sample));
        const OKUEmulationInput input = emulationInput(sample);
        QTEST(input.pressure, "pressure");
        QTEST(input.gpsAltitudeMm, "gpsMm");
        QTEST(input.accel[0], "accel");
        QTEST(input.gyro[0], "gyro");
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
        QCOMPARE(emulationStateName(7), QStringLiteral("unknown: 7"));
        OKUEmulationResult upsideDown;
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
