#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"
#include "tests/cli/clirun.h"
#include "tests/device/emulationdata.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CliRun runDemo(const QStringList &arguments)
{
    return runCli(QStringList({QStringLiteral("--demo"), QStringLiteral("device")}) + arguments);
}

} // namespace

// The headless device commands, run on the virtual flight computer.
class TestCliDevice : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir directory;

    // An emulation input of the given number of samples in the test folder; its path.
    QString writeEmulationInput(const QString &name, int samples)
    {
        const QString path = directory.filePath(name);
        const QByteArray data = emulationData(samples);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write an emulation input");
        return path;
    }

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(directory.isValid());
    }

    void info()
    {
        const CliRun run = runDemo({QStringLiteral("info")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, QByteArray("{\"path\": \"virtual-okukipo:firmware\", \"vendorId\": 987, \"productId\": 4, "
                                     "\"versionNumber\": 545, \"firmwareVersion\": \"2.21\"}\n"));
        QVERIFY(run.standardError.contains("OKU KIPO (firmware version: 2.21) is now connected."));
    }

    void readSettings()
    {
        const CliRun run = runDemo({QStringLiteral("read-settings")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, "{\"valid\": true, \"bytes\": \"" + okukipo::sim::factorySettings().deviceBytes().toHex() + "\"}\n");
        QVERIFY(run.standardError.contains("Reading settings... \n"));
        QVERIFY(run.standardError.contains("Success.\n"));
    }

    void downloadSavesEveryFlight()
    {
        const QString out = directory.filePath(QStringLiteral("flights"));
        const CliRun run = runDemo({QStringLiteral("download"), QStringLiteral("--out"), out});
        QCOMPARE(run.exitCode, 0);
        const auto expected = parseFlights(okukipo::sim::demoFlashImage());
        QStringList entries;
        for (size_t i = 0; i < expected.size(); ++i)
            entries << QStringLiteral("{\"file\": \"flight-%1.kipo\", \"events\": %2, \"settingsValid\": true}")
                           .arg(i + 1)
                           .arg(expected[i]->events.size());
        QCOMPARE(run.standardOutput, "[" + entries.join(QStringLiteral(", ")).toUtf8() + "]\n");
        QVERIFY(run.standardError.contains(QByteArray::number(qulonglong(expected.size())) + " flight(s) downloaded."));

        OKUKIPOFlight last;
        QVERIFY(last.load(QDir(out).filePath(QStringLiteral("flight-%1.kipo").arg(expected.size()))));
        QCOMPARE(last.events.size(), expected.back()->events.size());
    }

    void emulatesOnTheDevice()
    {
        const QString input = writeEmulationInput(QStringLiteral("in.csv"), 300);
        const QString output = directory.filePath(QStringLiteral("out.csv"));
        const CliRun run = runDemo({QStringLiteral("emulate"), input, output, QStringLiteral("--fast")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, "{\"output\": \"" + output.toUtf8() + "\", \"samples\": 300}\n");
        QVERIFY(run.standardError.contains("Emulation complete!"));

        const CliRun missing = runDemo({QStringLiteral("emulate"), directory.filePath("none.csv"), output});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.standardOutput.isEmpty());
        QVERIFY(missing.standardError.contains("okukipo-cli: Failed to read input file!"));
    }

    void emulationResultNamesAnyOutputPath()
    {
        const QString input = writeEmulationInput(QStringLiteral("plain.csv"), 20);
        const QString output = directory.filePath(QStringLiteral("out \"quoted\" \\ back.csv"));
        const CliRun run = runDemo({QStringLiteral("emulate"), input, output, QStringLiteral("--fast")});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error{};
        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(json.value(QStringLiteral("output")).toString(), output);
        QCOMPARE(json.value(QStringLiteral("samples")).toInt(), 20);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown") << QStringList({"erase"});
        QTest::newRow("download without a directory") << QStringList({"download"});
        QTest::newRow("emulate without files") << QStringList({"emulate", "in.csv"});
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const CliRun run = runDemo(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardOutput.isEmpty());
        QVERIFY(run.standardError.startsWith("okukipo-cli: usage: okukipo-cli device"));
    }

    void withoutAFlightComputer()
    {
        // Build machines have no flight computer attached.
        const CliRun run = runCli({QStringLiteral("device"), QStringLiteral("info")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardOutput.isEmpty());
        QVERIFY(run.standardError.contains("okukipo-cli: no usable OKU KIPO connected"));
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "test_cli_device.moc"
