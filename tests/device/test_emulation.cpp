#include "device/emulation.h"
#include "emulationdata.h"
#include "workerharness.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Whole emulations run by the worker on the virtual flight computer, then
// the conversions and line formats alone.
class TestDeviceEmulation : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WorkerHarness> h;
    QTemporaryDir directory;

    QString path(const QString &name) const { return directory.filePath(name); }

    QString write(const QString &name, const QByteArray &contents)
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        return path(name);
    }

    QList<QByteArray> lines(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n') : QList<QByteArray>();
    }

    void emulate(const QString &input, const QString &output = QStringLiteral("results.csv"))
    {
        h->call("emulateLaunch", Q_ARG(QString, path(input)), Q_ARG(QString, path(output)), Q_ARG(bool, false));
    }

private slots:
    void init()
    {
        h = std::make_unique<WorkerHarness>();
        h->connectFirmware();
        QVERIFY(h->worker->isFirmwareOpen());
        h->clearRecords();
    }

    void cleanup() { h.reset(); }

    void emulatesAFlight_data()
    {
        QTest::addColumn<int>("samples");
        QTest::newRow("7 s") << 700;
        QTest::newRow("only a header") << 0;
    }

    void emulatesAFlight()
    {
        QFETCH(int, samples);
        QSignalSpy complete(h->worker, &OKUKIPOInterface::emulationComplete);
        write("flight.csv", emulationData(samples));
        emulate("flight.csv");
        QCOMPARE(complete.count(), 1);
        // One line a second of the flight.
        QCOMPARE(h->console.lines.size(), 2 + samples / 100);
        QCOMPARE(h->console.lines.last(), QStringLiteral("Emulation complete!"));
        QCOMPARE(h->console.controls, QList<bool>({false, true}));
        QCOMPARE(h->device().emulationSteps(), samples);
        const QList<QByteArray> results = lines("results.csv");
        QCOMPARE(results.size(), samples + 1);
        QCOMPARE(results.first(), QByteArray(EmulationResultHeader));
        if (samples == 0)
            return;
        QCOMPARE(h->console.lines.at(7), QStringLiteral("Emulation time: 6 s"));
        QVERIFY(results.at(1).startsWith("0,pad,"));
        QCOMPARE(results.at(1).split(',').size(), 14);
        // The device's logic saw the launch and the climb.
        QVERIFY(results.last().split(',').at(1) != "pad");
        QVERIFY(results.last().split(',').at(2).toDouble() > 50);
    }

    // Nothing is emulated, the input stays whole, and the controls come back.
    void failures_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("refused"); // the request the device refuses, if any
        QTest::addColumn<QString>("line");
        const QString itself("Failed to write to output file: it is the input file!");
        const QString failed("Emulation failed - the data might not be formatted correctly!");
        QTest::newRow("no input") << "none.csv" << "results.csv" << 0 << "Failed to read input file!";
        QTest::newRow("unwritable") << "flight.csv" << "." << 0 << "Failed to write to output file!";
        // Opening the output would empty the input.
        QTest::newRow("the input") << "flight.csv" << "./flight.csv" << 0 << itself;
        QTest::newRow("a link to the input") << "flight.csv" << "link.csv" << 0 << itself;
        QTest::newRow("begin refused") << "flight.csv" << "results.csv" << 0x19 << failed;
        QTest::newRow("step refused") << "flight.csv" << "results.csv" << 0x20 << failed;
    }

    void failures()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(int, refused);
        QFETCH(QString, line);
        QFile::link(write("flight.csv", emulationData(10)), path("link.csv"));
        if (refused)
            h->device().replaceNextReplyCode(quint8(refused), 0x09);
        QSignalSpy complete(h->worker, &OKUKIPOInterface::emulationComplete);
        emulate(input, output);
        QCOMPARE(h->console.lines, QStringList({"Emulating flight on device...", line}));
        QCOMPARE(h->console.controls, QList<bool>({false, true}));
        QCOMPARE(complete.count(), 1);
        QCOMPARE(lines("flight.csv").size(), 11);
    }

    void stopsBeforeTheNextSample()
    {
        // The first step's answer is slow, so the stop lands while it is pending.
        h->device().delayNextReply(0x20, 400);
        QSignalSpy complete(h->worker, &OKUKIPOInterface::emulationComplete);
        QMetaObject::invokeMethod(h->worker, "emulateLaunch", Qt::QueuedConnection,
                                  Q_ARG(QString, write("flight.csv", emulationData(500))),
                                  Q_ARG(QString, path("results.csv")), Q_ARG(bool, true));
        // The device has the first sample and is slow to answer it.
        QTRY_COMPARE(h->device().emulationSteps(), 1);
        h->worker->stopEmulation();
        QVERIFY(complete.wait());
        h->sync();
        QCOMPARE(h->console.lines.last(), QStringLiteral("Emulation stoped prematurely!"));
        QCOMPARE(lines("results.csv").size(), 2);
        QCOMPARE(complete.count(), 1);
        QCOMPARE(h->console.controls, QList<bool>({false, true}));
    }

    void readsTheTenFields()
    {
        EmulationSample sample;
        QVERIFY(parseEmulationLine("0.02,100.5,98.25,1,9.80665,-1,2,0.07,-1,14.5\r\n", sample));
        QCOMPARE(sample.accel, (std::array<double, 3>{9.80665, -1, 2}));
        QCOMPARE(sample.gyro, (std::array<double, 3>{0.07, -1, 14.5}));
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
        QTest::newRow("text") << QByteArray("t,x,5,y,0,0,0,0,0,0") << 101325u << 5000 << qint16(0) << qint16(0);
        QTest::newRow("not a number") << QByteArray("nan,nan,nan,1,nan,0,0,nan,0,0") << 101325u << 0 << qint16(0) << qint16(0);
        QTest::newRow("endless") << QByteArray("0,-inf,inf,1,inf,0,0,-inf,0,0") << 4294967295u << 2147483647
                                 << qint16(32767) << qint16(-32768);
        QTest::newRow("beyond a double") << QByteArray("0,1e999,-1e999,1,-1e999,0,0,1e999,0,0") << 267u
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
        const OKUEmulationResult boost{1, 12.5f, 3.25f, 0.19f, {0, 2, 1, 0}, 1};
        QCOMPARE(emulationResultLine(0.01, boost), QByteArray("0.01,boost,12.5,3.25,10,0,100,100,0,1,0,0,0,0"));
        QCOMPARE(emulationStateName(7), QStringLiteral("unknown: 7"));
        const OKUEmulationResult upsideDown{0, 0, 0, 0, {}, 0, 1};
        QVERIFY(emulationResultLine(0, upsideDown).endsWith(",0,1,0,0,180"));
        // Rounding past 1 must not make the angle undefined.
        const OKUEmulationResult rounded{0, 0, 0, 0, {}, 1.0000001f};
        QVERIFY(emulationResultLine(0, rounded).endsWith(",0"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceEmulation)
#include "test_emulation.moc"
