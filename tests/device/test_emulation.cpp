#include "device/emulation.h"
#include "emulationdata.h"
#include "workerharness.h"

#include <QElapsedTimer>
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

    void aShortLineEndsTheInput()
    {
        emulate(write("short.csv", emulationData(5) + "0.05,1,2,3\n" + emulationData(5).mid(InputHeader.size())));
        QCOMPARE(fileLines(output()).size(), 6);
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation complete!"));
    }

    void altitudesAbove30000MetresAreSentAs30000()
    {
        emulate(write("high.csv", emulationData(50, 30000)));
        const QList<QByteArray> limit = fileLines(output());
        h().call("emulateLaunch", Q_ARG(QString, write("higher.csv", emulationData(50, 41000))),
                 Q_ARG(QString, directory.filePath("higher-results.csv")), Q_ARG(bool, false));
        QCOMPARE(fileLines(directory.filePath("higher-results.csv")), limit);
        QCOMPARE(limit.size(), 51);
    }

    void missingFiles()
    {
        QSignalSpy complete(h().worker, &OKUKIPOInterface::emulationComplete);
        emulate(directory.filePath("none.csv"));
        QCOMPARE(h().console.lines, QStringList({"Emulating flight on device...", "Failed to read input file!"}));
        h().clearRecords();
        h().call("emulateLaunch", Q_ARG(QString, write("flight.csv", emulationData(10))), Q_ARG(QString, directory.path()),
                 Q_ARG(bool, false));
        QCOMPARE(h().console.lines, QStringList({"Emulating flight on device...", "Failed to write to output file!"}));
        QCOMPARE(h().console.controls, QList<bool>({false, true}));
        QCOMPARE(complete.count(), 2);
        QCOMPARE(h().device().emulationSteps(), 0);
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

        // The next emulation starts afresh.
        h().clearRecords();
        emulate(write("flight.csv", emulationData(5)));
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation complete!"));
    }

    void closingTheWorkerEndsARunningEmulation()
    {
        QMetaObject::invokeMethod(h().worker, "emulateLaunch", Qt::QueuedConnection,
                                  Q_ARG(QString, write("long.csv", emulationData(3000))), Q_ARG(QString, output()),
                                  Q_ARG(bool, true));
        QTRY_VERIFY(h().device().emulationSteps() >= 1);
        harness.reset();
        QVERIFY(fileLines(output()).size() < 3001);
    }

    void realTimeKeepsTenMillisecondsPerSample()
    {
        QElapsedTimer clock;
        clock.start();
        emulate(write("flight.csv", emulationData(30)), true);
        QVERIFY(clock.elapsed() >= 290);
        QCOMPARE(fileLines(output()).size(), 31);
    }

    void withoutADeviceTheEmulationFails()
    {
        h().worker->closeDevices();
        emulate(write("flight.csv", emulationData(5)));
        QVERIFY(h().traced().contains("emulation error"));
        QCOMPARE(h().console.lines.last(), QStringLiteral("Emulation failed - the data might not be formatted correctly!"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceEmulation)
#include "test_emulation.moc"
