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

};

QTEST_GUILESS_MAIN(TestDeviceEmulation)
#include "test_emulation.moc"
