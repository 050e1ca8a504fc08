#include "tests/cli/clirun.h"
#include "device/sim/flightmodel.h"
#include "filecontents.h"
#include "model/flight.h"
#include "model/trace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Floats print with nine significant digits, which read back exactly.
float jsonFloat(const QJsonValue &value)
{
    return float(value.toDouble());
}

} // namespace

class TestCliAnalysis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(m_dir.isValid());
        m_flightPath = m_dir.filePath("clean.kipo");
        QVERIFY(okukipo::sim::simulatedFlight(okukipo::sim::FlightProfile())->save(m_flightPath));
        QVERIFY(m_flight.load(m_flightPath));
    }

    void analyzePrintsTheMomentsAsJson()
    {
        const CliRun run = runCli({"analyze", m_flightPath});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.standardOutput.startsWith("{\"endTime\": "));
        // The keys in their documented order.
        const QStringList keys{"endTime", "landingTime", "groundLevel", "peakVelocityTime", "apogeeTime",
                               "launchTime", "isFlight", "accelInverted", "maxVerticalAcceleration", "maxRollX",
                               "maxRollY", "maxRollZ", "maxLateralAcceleration"};
        int at = 0;
        for (const QString &key : keys) {
            const int found = run.standardOutput.indexOf("\"" + key.toLatin1() + "\": ", at);
            QVERIFY2(found >= at, qPrintable(key));
            at = found;
        }
        QVERIFY(!run.standardOutput.contains("kalmanAltitude"));

        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
        QCOMPARE(json.size(), keys.size());
        QCOMPARE(jsonFloat(json["endTime"]), m_flight.endTime());
        QCOMPARE(jsonFloat(json["landingTime"]), m_flight.landingTime());
        QCOMPARE(jsonFloat(json["groundLevel"]), m_flight.groundLevel());
        QCOMPARE(jsonFloat(json["peakVelocityTime"]), m_flight.peakVelocityTime());
        QCOMPARE(jsonFloat(json["apogeeTime"]), m_flight.apogeeTime());
        QCOMPARE(jsonFloat(json["launchTime"]), m_flight.launchTime());
        QCOMPARE(json["isFlight"].toBool(), true);
        QCOMPARE(json["accelInverted"].toBool(), false);
        const std::pair<const char *, OKUKIPOFlight::Statistic> statistics[] = {
            {"maxVerticalAcceleration", m_flight.maxVerticalAcceleration()},
            {"maxRollX", m_flight.maxRollX()},
            {"maxRollY", m_flight.maxRollY()},
            {"maxRollZ", m_flight.maxRollZ()},
            {"maxLateralAcceleration", m_flight.maxLateralAcceleration()},
        };
        for (const auto &[key, expected] : statistics) {
            const QJsonArray pair = json[key].toArray();
            QCOMPARE(pair.size(), 2);
            QCOMPARE(jsonFloat(pair[0]), expected.first);
            QCOMPARE(jsonFloat(pair[1]), expected.second);
        }
    }

    void analyzeWithSeriesAddsTheFilteredCurves()
    {
        const CliRun run = runCli({"analyze", m_flightPath, "--series"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(run.standardOutput).object();
        QCOMPARE(json.size(), 15);
        for (const auto &[key, series] : {std::pair<const char *, const Series *>{"kalmanAltitude", &m_flight.kalmanAltitude},
                                          {"kalmanVelocity", &m_flight.kalmanVelocity}}) {
            const QJsonArray points = json[key].toArray();
            QCOMPARE(std::size_t(points.size()), series->size());
            for (int i = 0; i < points.size(); ++i) {
                const QJsonArray point = points[i].toArray();
                QCOMPARE(jsonFloat(point[0]), (*series)[std::size_t(i)].time);
                QCOMPARE(jsonFloat(point[1]), (*series)[std::size_t(i)].value);
            }
        }
    }

    void exportWritesWhatTheFlightWindowWould()
    {
        struct Case {
            QString kind;
            std::function<bool(const QString &)> write;
            QStringList options;
        };
        const QList<Case> cases{
            {"csv", [this](const QString &p) { return m_flight.exportCSV(p); }, {}},
            {"kml", [this](const QString &p) { return m_flight.exportKML(p); }, {}},
            {"emulation", [this](const QString &p) { return m_flight.exportEmulationData(p); }, {}},
            {"thrust", [this](const QString &p) { return m_flight.exportThrustData(p, 1.5, 0.25); },
             {"--total-mass", "1.5", "--propellant-mass", "0.25"}},
        };
        for (const Case &c : cases) {
            const QString out = m_dir.filePath("cli." + c.kind);
            const QString expected = m_dir.filePath("expected." + c.kind);
            const CliRun run = runCli(QStringList{"export", c.kind, m_flightPath, out} + c.options);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.standardOutput, QByteArray());
            QVERIFY(c.write(expected));
            QCOMPARE(fileContents(out), fileContents(expected));
        }
    }

    void failuresGiveOneLineAndStatusOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString missing = "missing.kipo";
        QTest::newRow("analyze missing file") << QStringList{"analyze", missing} << "cannot read missing.kipo";
        QTest::newRow("analyze no file") << QStringList{"analyze"} << "usage: okukipo-cli analyze";
        QTest::newRow("analyze unknown option") << QStringList{"analyze", "x.kipo", "--bogus"} << "Unknown option 'bogus'.";
        QTest::newRow("export unknown kind") << QStringList{"export", "pdf", "x.kipo", "out"} << "usage: okukipo-cli export";
        QTest::newRow("export missing file") << QStringList{"export", "csv", missing, "out.csv"} << "cannot read missing.kipo";
        QTest::newRow("thrust without masses")
            << QStringList{"export", "thrust", "x.kipo", "out.csv"} << "thrust data needs --total-mass and --propellant-mass";
        QTest::newRow("thrust with a bad mass")
            << QStringList{"export", "thrust", "x.kipo", "out.csv", "--total-mass", "heavy", "--propellant-mass", "1"}
            << "masses must be numbers of kilograms from 0.001 to 100000";
        QTest::newRow("thrust with more propellant than rocket")
            << QStringList{"export", "thrust", "x.kipo", "out.csv", "--total-mass", "1", "--propellant-mass", "2"}
            << "the propellant mass must be less than the total mass";
    }

    void failuresGiveOneLineAndStatusOne()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        const QList<QByteArray> lines = run.standardError.trimmed().split('\n');
        QVERIFY2(lines.last().startsWith("okukipo-cli: " + message.toLocal8Bit()), run.standardError.constData());
    }

    void exportThatCannotBeWrittenFails()
    {
        const QString out = m_dir.filePath("no/such/folder/out.csv");
        const CliRun run = runCli({"export", "csv", m_flightPath, out});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardError.trimmed().endsWith("okukipo-cli: could not export to " + out.toLocal8Bit()));

        // A flight without a coast phase has nothing to fit the drag to.
        const QString empty = m_dir.filePath("empty.kipo");
        QVERIFY(OKUKIPOFlight().save(empty));
        const QString thrust = m_dir.filePath("thrust.csv");
        const CliRun noCoast = runCli({"export", "thrust", empty, thrust, "--total-mass", "1", "--propellant-mass", "0.1"});
        QCOMPARE(noCoast.exitCode, 1);
        QVERIFY(noCoast.standardError.contains("invalid matrix size\n"));
        QVERIFY(!QFile::exists(thrust));
    }

private:
    QTemporaryDir m_dir;
    QString m_flightPath;
    OKUKIPOFlight m_flight;
};

QTEST_GUILESS_MAIN(TestCliAnalysis)
#include "test_cli_analysis.moc"
