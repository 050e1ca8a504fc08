#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "tests/cli/clirun.h"
#include "tests/device/emulationdata.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CliRun runDemo(const QStringList &arguments)
{
    return runCli(QStringList{"--demo", "device"} + arguments);
}

} // namespace

// The headless device commands, run on the virtual flight computer.
class TestCliDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    void infoAndSettings()
    {
        const CliRun info = runDemo({"info"});
        QCOMPARE(info.exitCode, 0);
        QCOMPARE(info.standardOutput, QByteArray("{\"path\": \"virtual-okukipo:firmware\", \"vendorId\": 987, \"productId\": 4, "
                                                 "\"versionNumber\": 545, \"firmwareVersion\": \"2.21\"}\n"));
        // Quiet unless asked: the console lines come with --verbose only.
        QCOMPARE(info.standardError, QByteArray());
        const CliRun settings = runDemo({"read-settings", "--verbose"});
        QCOMPARE(settings.exitCode, 0);
        QCOMPARE(settings.standardOutput,
                 "{\"valid\": true, \"bytes\": \"" + okukipo::sim::factorySettings().deviceBytes().toHex() + "\"}\n");
        QVERIFY(settings.standardError.contains("OKU KIPO (firmware version: 2.21) is now connected.\n"));
        QVERIFY(settings.standardError.contains("Reading settings... \n") && settings.standardError.contains("Success.\n"));
    }

    void downloadSavesEveryFlight()
    {
        const QString out = directory.filePath("flights");
        const CliRun run = runDemo({"download", "--out", out});
        QCOMPARE(run.exitCode, 0);
        // Not a terminal: no progress line.
        QCOMPARE(run.standardError, QByteArray());
        const auto expected = parseFlights(okukipo::sim::demoFlashImage());
        QStringList entries;
        for (size_t i = 0; i < expected.size(); ++i)
            entries << QStringLiteral("{\"file\": \"flight-%1.kipo\", \"events\": %2, \"settingsValid\": true}")
                           .arg(i + 1)
                           .arg(expected[i]->events.size());
        QCOMPARE(run.standardOutput, "[" + entries.join(", ").toUtf8() + "]\n");
        QVERIFY(QFile::exists(QDir(out).filePath(QStringLiteral("flight-%1.kipo").arg(expected.size()))));
    }

    void emulatesOnTheDevice()
    {
        const QString input = directory.filePath("in.csv");
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(emulationData(30)) > 0);
        file.close();
        const QString output = directory.filePath("out \"quoted\" \\ back.csv");
        const CliRun run = runDemo({"emulate", input, output, "--fast"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
        QCOMPARE(json.value("output").toString(), output);
        QCOMPARE(json.value("samples").toInt(), 30);

        const CliRun missing = runDemo({"emulate", directory.filePath("none.csv"), output});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.standardOutput.isEmpty());
        QCOMPARE(missing.standardError, QByteArray("okukipo-cli: Failed to read input file!\n"));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        const QByteArray usage = "usage: okukipo-cli [--demo] device info";
        QTest::newRow("nothing") << QStringList{"--demo", "device"} << usage;
        QTest::newRow("unknown") << QStringList{"--demo", "device", "erase"} << usage;
        QTest::newRow("download without a directory") << QStringList{"--demo", "device", "download"} << usage;
        QTest::newRow("emulate without files") << QStringList{"--demo", "device", "emulate", "in.csv"} << usage;
        // Build machines have no flight computer attached.
        QTest::newRow("no device") << QStringList{"device", "info"} << QByteArray("no usable OKU KIPO connected\n");
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardOutput.isEmpty());
        QVERIFY2(run.standardError.startsWith("okukipo-cli: " + message), run.standardError.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "test_cli_device.moc"
