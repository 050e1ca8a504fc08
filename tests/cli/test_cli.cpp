#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "tests/cli/clirun.h"
#include "tests/device/emulationdata.h"
#include "tests/model/filecontents.h"
#include "tests/model/flightfilebytes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

// okukipo-cli as scripts see it: the result on standard output, nothing on
// standard error unless asked or wrong, and exit statuses to branch on.
class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_flight;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const { return writeTestFile(path(name), bytes); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        OKUKIPOFlight flight;
        auto *position = new OKUEvent_GPSLLSol;
        position->time = 0.1f;
        position->latitude = 0.1;
        position->altitude = 0.1f;
        position->satellites = 9;
        auto *text = new OKUEvent_Text;
        text->text = "say \"hi\"";
        flight.events = {text, position};
        flight.notes = "first flight";
        flight.value16 = 300;
        m_flight = path("flight.kipo");
        QVERIFY(flight.save(m_flight));
    }

    void dumpPrintsTheFlightAsJson()
    {
        const CliRun run = runCli({"dump", m_flight});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardError, QByteArray());
        QVERIFY(run.standardOutput.startsWith("{\"value16\": 300, \"notes\": \"first flight\", \"accelInverted\": false, "
                                              "\"settings\": {\"valid\": false, \"bytes\": \"1002"));
        // Floats with nine significant digits, doubles with seventeen, events in time order.
        QVERIFY2(run.standardOutput.endsWith(
                     "\"events\": [\n{\"class\": \"OKUEvent_Text\", \"time\": 0, \"referenceVoltage\": 3.29999995, "
                     "\"text\": \"say \\\"hi\\\"\"},\n{\"class\": \"OKUEvent_GPSLLSol\", \"time\": 0.100000001, "
                     "\"referenceVoltage\": 3.29999995, \"latitude\": 0.10000000000000001, \"longitude\": 0, "
                     "\"altitude\": 0.100000001, \"satellites\": 9, \"solution3D\": false}\n]}\n"),
                 run.standardOutput.constData());
    }

    void analyzeIsQuietUnlessVerbose()
    {
        const CliRun quiet = runCli({"analyze", m_flight, "--series"});
        const CliRun verbose = runCli({"analyze", "-v", m_flight, "--series"});
        QCOMPARE(verbose.exitCode, 0);
        QCOMPARE(verbose.standardOutput, quiet.standardOutput);
        QCOMPARE(quiet.standardError, QByteArray());
        QVERIFY(verbose.standardError.startsWith("Checking...\nLoading...\n"));
        QVERIFY(quiet.standardOutput.startsWith("{\"endTime\": "));
        QCOMPARE(QJsonDocument::fromJson(quiet.standardOutput).object().size(), 15);
    }

    void commandsWriteTheirFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("resave") << QStringList{"resave", "IN", "OUT"};
        for (const char *kind : {"csv", "kml", "emulation"})
            QTest::newRow(kind) << QStringList{"export", kind, "IN", "OUT"};
    }

    void commandsWriteTheirFiles()
    {
        QFETCH(QStringList, arguments);
        const QString out = path(arguments.join('-'));
        arguments.replaceInStrings("IN", m_flight).replaceInStrings("OUT", out);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, QByteArray());
        QVERIFY(QFile::exists(out));
        if (arguments.first() == "resave")
            QCOMPARE(fileContents(out), fileContents(m_flight));
    }

    void unusableInputs_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QByteArray header = archiveHeader();
        const auto withHeader = [&](int at, const QByteArray &bytes) { return QByteArray(header).replace(at, bytes.size(), bytes); };
        const QByteArray flight = fileContents(m_flight);
        QTest::newRow("missing") << path("none.kipo") << QStringList() << 1 << "cannot read %1: No such file or directory";
        QTest::newRow("csv") << write("csv.kipo", "time,altitude\n0,100\n") << QStringList() << 1
                             << "%1 is not a flight file: input stream error";
        QTest::newRow("signature") << write("sig.kipo", withHeader(4, "S")) << QStringList() << 1
                                   << "%1 is not a flight file: invalid signature";
        QTest::newRow("version") << write("version.kipo", withHeader(26, "\x63")) << QStringList() << 1
                                 << "%1 is not a flight file: unsupported version";
        QTest::newRow("sizes") << write("sizes.kipo", withHeader(29, "\x08")) << QStringList() << 1
                               << "%1 is not a flight file: incompatible native format - size of long";
        const QString truncated = write("truncated.kipo", flight.left(flight.size() - 30));
        QTest::newRow("truncated") << truncated << QStringList() << 0 << "warning: %1 could be read only partly: input stream error";
        QTest::newRow("truncated strict") << truncated << QStringList{"--strict"} << 3
                                          << "%1 could be read only partly: input stream error";
    }

    void unusableInputs()
    {
        QFETCH(QString, input);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString out = path("out");
        for (const QStringList &command : {QStringList{"dump", input}, QStringList{"analyze", input},
                                           QStringList{"export", "kml", input, out}, QStringList{"resave", input, out}}) {
            QFile::remove(out);
            const CliRun run = runCli(options + command);
            QCOMPARE(run.exitCode, status);
            QCOMPARE(run.standardError, "okukipo-cli: " + message.arg(input).toLocal8Bit() + '\n');
            // Nothing printed or written unless the partly read flight is accepted.
            QCOMPARE(run.standardOutput.isEmpty() && !QFile::exists(out), status != 0);
        }
    }

    void helpNamesTheExitStatuses()
    {
        for (const QStringList &arguments : {QStringList{"--help"}, QStringList{"help", "dump"}, QStringList{"export", "-h"}}) {
            const CliRun run = runCli(arguments);
            QCOMPARE(run.exitCode, 0);
            QVERIFY(run.standardOutput.contains("\nexit status:\n  0  success") && run.standardOutput.contains("\n  3  with --strict"));
        }
        QVERIFY(runCli({"--help"}).standardOutput.contains("\n  dump FLIGHT.kipo\n"));
        QVERIFY(runCli({"export", "--help"}).standardOutput.contains("--propellant-mass KG"));
    }

    void results_data()
    {
        OKUKIPOSettings settings;
        settings.updateChecksum();
        // A flight marker with its settings, an AccelZ and a Pressure record, then erased memory.
        const QByteArray image = QByteArray(1, '\x13') + settings.deviceBytes() + QByteArray::fromHex("020100850301" "86a08a020200ff");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("one flight") << QStringList{"parse-flash", write("one.bin", image), "--out", path("one")}
                                    << QByteArray("[{\"file\": \"flight-1.kipo\", \"events\": 2, \"settingsValid\": true}]\n");
        QTest::newRow("erased") << QStringList{"parse-flash", write("erased.bin", QByteArray(1000, '\xff')), "--out", path("none")}
                                << QByteArray("[]\n");
        QTest::newRow("device info") << QStringList{"--demo", "device", "info"}
                                     << QByteArray("{\"path\": \"virtual-okukipo:firmware\", \"vendorId\": 987, \"productId\": 4, "
                                                   "\"versionNumber\": 545, \"firmwareVersion\": \"2.21\"}\n");
    }

    void results()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, result);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, result);
        QCOMPARE(run.standardError, QByteArray());
    }

    void verboseDeviceCommandsShowTheConsole()
    {
        const CliRun run = runCli({"device", "read-settings", "--demo", "--verbose"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, "{\"valid\": true, \"bytes\": \"" + okukipo::sim::factorySettings().deviceBytes().toHex() + "\"}\n");
        QVERIFY(run.standardError.contains("OKU KIPO (firmware version: 2.21) is now connected.\n"));
        QVERIFY(run.standardError.contains("Reading settings... \n") && run.standardError.contains("Success.\n"));
    }

    void downloadSavesEveryFlight()
    {
        const CliRun run = runCli({"--demo", "device", "download", "--out", path("flights")});
        QCOMPARE(run.exitCode, 0);
        // Not a terminal: no progress line.
        QCOMPARE(run.standardError, QByteArray());
        // The demo memory holds three flights.
        const QRegularExpression list(R"(^\[(\{"file": "flight-[123].kipo", "events": \d+, "settingsValid": true\}(, |\]\n$)){3})");
        QVERIFY2(list.match(run.standardOutput).hasMatch(), run.standardOutput.constData());
        QCOMPARE(QDir(path("flights")).entryList(QDir::Files), QStringList({"flight-1.kipo", "flight-2.kipo", "flight-3.kipo"}));
    }

    void emulatesOnTheDevice()
    {
        const QString output = path("out \"quoted\" \\ back.csv");
        const CliRun run = runCli({"--demo", "device", "emulate", write("in.csv", emulationData(30)), output, "--fast"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
        QCOMPARE(json.value("output").toString(), output);
        QCOMPARE(json.value("samples").toInt(), 30);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString deviceUsage = "usage: okukipo-cli [--demo] device info | read-settings | download --out DIR | ";
        QTest::newRow("unknown command") << QStringList{"fly"} << "unknown command 'fly' (see okukipo-cli --help)\n";
        QTest::newRow("dump without file") << QStringList{"dump"} << "usage: okukipo-cli dump FLIGHT.kipo\n";
        QTest::newRow("unknown option") << QStringList{"analyze", "x.kipo", "--bogus"} << "Unknown option 'bogus'.\n";
        QTest::newRow("unknown export") << QStringList{"export", "pdf", "x.kipo", "out"} << "usage: okukipo-cli export csv|kml|";
        QTest::newRow("no masses") << QStringList{"export", "thrust", "x", "o"} << "thrust data needs --total-mass and --propellant-mass\n";
        QTest::newRow("more propellant than rocket")
            << QStringList{"export", "thrust", "x", "o", "--total-mass", "1", "--propellant-mass", "2"}
            << "the propellant mass must be less than the total mass\n";
        QTest::newRow("no image") << QStringList{"parse-flash", "absent.bin", "--out", "x"} << "cannot read absent.bin: ";
        QTest::newRow("no --out") << QStringList{"parse-flash", "x.bin"} << "usage: okukipo-cli parse-flash IMAGE.bin --out DIR\n";
        QTest::newRow("no folder") << QStringList{"parse-flash", write("image.bin", "\xff"), "--out", write("file", "") + "/sub"}
                                   << "cannot create directory " + path("file") + "/sub\n";
        QTest::newRow("no operation") << QStringList{"--demo", "device"} << deviceUsage;
        QTest::newRow("download without folder") << QStringList{"--demo", "device", "download"} << deviceUsage;
        QTest::newRow("no emulation input") << QStringList{"--demo", "device", "emulate", "none.csv", "out.csv"}
                                            << "Failed to read input file!\n";
        // Build machines have no flight computer attached.
        QTest::newRow("no device") << QStringList{"device", "info"} << "no usable OKU KIPO connected\n";
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        QVERIFY2(run.standardError.startsWith("okukipo-cli: " + message.toLocal8Bit()), run.standardError.constData());
        QCOMPARE(run.standardError.count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
