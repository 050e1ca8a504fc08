#include "device/emulation.h"
#include "emulationdata.h"
#include "workerharness.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray InputHeader = emulationData(0);

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// Whole emulations run by the worker on the virtual flight computer.
class TestDeviceEmulation : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WorkerHarness> harness;
    QTemporaryDir directory;

    WorkerHarness &h() { return *harness; }

    QString write(const char *name, const QByteArray &contents)
    {
        const QString path = directory.filePath(QLatin1String(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(contents);
        return path;
    }

    QString output() const { return directory.filePath(QStringLiteral("results.csv")); }

    void emulate(const QString &input, bool realTime = false)
    {
        h().call("emulateLaunch", Q_ARG(QString, input), Q_ARG(QString, output()), Q_ARG(bool, realTime));
    }

private slots:
    void init()
    {
        harness = std::make_unique<WorkerHarness>();
        h().connectFirmware();
        QVERIFY(h().worker->isFirmwareOpen());
        h().clearRecords();
    }

    void cleanup() { harness.reset(); }

    void emulatesAFlight()
    {
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        emulate(write("flight.csv", emulationData(700)));
        QCOMPARE(complete.count(), 1);
        QCOMPARE(h().console.lines.first(), QStringLiteral("Emulating flight on device..."));
        QCOMPARE(h().console.lines.mid(1, 7), QStringList({"Emulation time: 0 s", "Emulation time: 1 s",
                                                          "Emulation time: 2 s", "Emulation time: 3 s",
                                                          "Emulation time: 4 s", "Emulation time: 5 s",
                                                          "Emulation time: 6 s"}));
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation complete!"));
        QCOMPARE(h().console.controls, QList<bool>({false, true}));
        QCOMPARE(h().device().emulationSteps(), 700);

        const QList<QByteArray> lines = fileLines(output());
        QCOMPARE(lines.size(), 701);
        QCOMPARE(lines.first(), QByteArray(EmulationResultHeader));
        QVERIFY(lines.at(1).startsWith("0,pad,"));
        QCOMPARE(lines.at(1).split(',').size(), 14);
        // The device's logic saw the launch and the climb.
        QVERIFY(lines.last().split(',').at(1) != "pad");
        QVERIFY(lines.last().split(',').at(2).toDouble() > 50);
    }

    void onlyAHeaderSendsNothing()
    {
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        emulate(write("empty.csv", InputHeader));
        QCOMPARE(h().console.lines, QStringList({"Emulating flight on device...", "Emulation complete!"}));
        QCOMPARE(fileLines(output()), QList<QByteArray>({EmulationResultHeader}));
        QCOMPARE(h().device().emulationSteps(), 0);
        QCOMPARE(complete.count(), 1);
    }

    void fileFaults_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("line");
        QTest::newRow("no input") << "none.csv" << "Failed to read input file!";
        QTest::newRow("unwritable") << "." << "Failed to write to output file!";
        // Opening the output would empty the input.
        QTest::newRow("the input") << "./flight.csv" << "Failed to write to output file: it is the input file!";
        QTest::newRow("a link to the input") << "link.csv" << "Failed to write to output file: it is the input file!";
    }

    void fileFaults()
    {
        QFETCH(QString, target);
        QFETCH(QString, line);
        const QByteArray input = emulationData(10);
        const QString source = target == "none.csv" ? directory.filePath(target) : write("flight.csv", input);
        if (target == "link.csv")
            QFile::link(source, directory.filePath(target));
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        h().call("emulateLaunch", Q_ARG(QString, source), Q_ARG(QString, directory.filePath(target)), Q_ARG(bool, false));
        QCOMPARE(h().console.lines, QStringList({"Emulating flight on device...", line}));
        QCOMPARE(h().console.controls, QList<bool>({false, true}));
        QCOMPARE(complete.count(), 1);
        QCOMPARE(h().device().emulationSteps(), 0);
        if (target != "none.csv")
            QCOMPARE(fileLines(source).size(), 11);
    }

    void deviceFaults_data()
    {
        QTest::addColumn<bool>("atBegin");
        QTest::addColumn<QString>("diagnostic");
        QTest::newRow("begin refused") << true << "init emulation error";
        QTest::newRow("step refused") << false << "emulation error";
    }

    void deviceFaults()
    {
        QFETCH(bool, atBegin);
        QFETCH(QString, diagnostic);
        if (atBegin)
            h().device().replaceNextReplyCode(0x19, 0x09);
        else
            h().device().replaceNextReplyCode(0x20, 0x09);
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        emulate(write("flight.csv", emulationData(20)));
        QVERIFY(h().traced().contains(diagnostic));
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation failed - the data might not be formatted correctly!"));
        QCOMPARE(fileLines(output()).size(), 1);
        QCOMPARE(complete.count(), 1);
    }

    void stopsBeforeTheNextSample()
    {
        // The first step's answer is slow, so the stop lands while it is pending.
        h().device().delayNextReply(0x20, 400);
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        QMetaObject::invokeMethod(h().worker, "emulateLaunch", Qt::QueuedConnection,
                                  Q_ARG(QString, write("flight.csv", emulationData(500))), Q_ARG(QString, output()),
                                  Q_ARG(bool, true));
        // The device has the first sample and is slow to answer it.
        QTRY_COMPARE(h().device().emulationSteps(), 1);
        h().worker->stopEmulation();
        QVERIFY(complete.wait());
        h().sync();
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation stoped prematurely!"));
        QCOMPARE(fileLines(output()).size(), 2);
        QCOMPARE(complete.count(), 1);
        QCOMPARE(h().console.controls, QList<bool>({false, true}));
    }


    // The conversions and line formats alone.
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

QTEST_GUILESS_MAIN(TestDeviceEmulation)
#include "test_emulation.moc"
