#include "tests/model/filecontents.h"
#include "tests/model/flightfilebytes.h"
#include "model/flight.h"
#include "tests/cli/clirun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

// The flight-file commands: their output, exit status and standard error.
class TestCliFlights : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_flight;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return path(name);
    }

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
        // Quiet: no trace lines.
        QCOMPARE(run.standardError, QByteArray());
        // Floats with nine significant digits, doubles with seventeen, events in time order.
        QVERIFY2(run.standardOutput.contains(
                     "\"events\": [\n{\"class\": \"OKUEvent_Text\", \"time\": 0, \"referenceVoltage\": 3.29999995, "
                     "\"text\": \"say \\\"hi\\\"\"},\n{\"class\": \"OKUEvent_GPSLLSol\", \"time\": 0.100000001, "
                     "\"referenceVoltage\": 3.29999995, \"latitude\": 0.10000000000000001, \"longitude\": 0, "
                     "\"altitude\": 0.100000001, \"satellites\": 9, \"solution3D\": false}\n]}"),
                 run.standardOutput.constData());
        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
        QCOMPARE(json.keys(), QStringList({"accelInverted", "events", "notes", "settings", "value16"}));
        QCOMPARE(json["value16"].toInt(), 300);
        QCOMPARE(json["notes"].toString(), "first flight");
    }

    void verboseAddsTheTraceOnStandardError()
    {
        const CliRun quiet = runCli({"analyze", m_flight});
        const CliRun verbose = runCli({"analyze", "-v", m_flight});
        QCOMPARE(verbose.exitCode, 0);
        QCOMPARE(verbose.standardOutput, quiet.standardOutput);
        QCOMPARE(quiet.standardError, QByteArray());
        QVERIFY(verbose.standardError.startsWith("Checking...\nLoading...\n"));
    }

    void analyzePrintsItsKeysInOrder()
    {
        const QByteArrayList keys{"endTime", "landingTime", "groundLevel", "peakVelocityTime", "apogeeTime", "launchTime",
                                  "isFlight", "accelInverted", "maxVerticalAcceleration", "maxRollX", "maxRollY",
                                  "maxRollZ", "maxLateralAcceleration", "kalmanAltitude", "kalmanVelocity"};
        const CliRun run = runCli({"analyze", m_flight, "--series"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(run.standardOutput).object().size(), keys.size());
        int at = 0;
        for (const QByteArray &key : keys) {
            at = run.standardOutput.indexOf("\"" + key + "\": ", at);
            QVERIFY2(at >= 0, key.constData());
        }
    }

    void commandsWriteTheirFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("resave") << QStringList{"resave", "IN", "OUT"};
        for (const char *kind : {"csv", "kml", "emulation"})
            QTest::newRow(kind) << QStringList{"export", kind, "IN", "OUT"};
        QTest::newRow("thrust") << QStringList{"export", "thrust", "IN", "OUT", "--total-mass", "2", "--propellant-mass", "1"};
    }

    void commandsWriteTheirFiles()
    {
        QFETCH(QStringList, arguments);
        const QString out = path(arguments.join('-'));
        arguments.replaceInStrings("IN", m_flight).replaceInStrings("OUT", out);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, arguments.contains("thrust") ? 1 : 0);
        QCOMPARE(run.standardOutput, QByteArray());
        // A flight without a coast phase has no thrust sheet; nothing is written then.
        QCOMPARE(QFile::exists(out), !arguments.contains("thrust"));
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

    void helpNamesTheCommandsAndExitStatuses()
    {
        for (const QStringList &arguments : {QStringList{"--help"}, QStringList{"help"}, QStringList{"dump", "-h"}}) {
            const CliRun run = runCli(arguments);
            QCOMPARE(run.exitCode, 0);
            QVERIFY(run.standardOutput.contains("\nexit status:\n  0  success") && run.standardOutput.contains("\n  3  with --strict"));
        }
        const QByteArray tool = runCli({"--help"}).standardOutput;
        QVERIFY(tool.contains("  -v, --verbose  "));
        for (const char *command : {"\n  dump FLIGHT.kipo\n", "\n  resave ", "\n  analyze ", "\n  export ", "\n  device "})
            QVERIFY2(tool.contains(command), command);
        QVERIFY(runCli({"export", "--help"}).standardOutput.contains("--propellant-mass KG"));
    }

    void usageFailures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command") << QStringList{"fly"} << "unknown command 'fly' (see okukipo-cli --help)";
        QTest::newRow("dump without file") << QStringList{"dump"} << "usage: okukipo-cli dump FLIGHT.kipo";
        QTest::newRow("unknown option") << QStringList{"analyze", "x.kipo", "--bogus"} << "Unknown option 'bogus'.";
        QTest::newRow("unknown export") << QStringList{"export", "pdf", "x.kipo", "out"} << "usage: okukipo-cli export csv|kml|";
        QTest::newRow("thrust without masses")
            << QStringList{"export", "thrust", "x.kipo", "out.csv"} << "thrust data needs --total-mass and --propellant-mass";
        QTest::newRow("thrust with a bad mass")
            << QStringList{"export", "thrust", "x", "o", "--total-mass", "heavy", "--propellant-mass", "1"}
            << "masses must be numbers of kilograms from 0.001 to 100000";
        QTest::newRow("more propellant than rocket")
            << QStringList{"export", "thrust", "x", "o", "--total-mass", "1", "--propellant-mass", "2"}
            << "the propellant mass must be less than the total mass";
    }

    void usageFailures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        QVERIFY2(run.standardError.startsWith("okukipo-cli: " + message.toLocal8Bit()), run.standardError.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliFlights)
#include "test_cli_flights.moc"
