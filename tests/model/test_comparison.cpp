#include "tests/cli/clirun.h"
#include "filecontents.h"
#include "model/flightcomparison.h"
#include "model/simulationcsv.h"
#include "model/trace.h"
#include "testflights.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Worked by hand: the pad at 100 m, launch at 1 s, burnout at 2 s (60 m/s,
// 10 g of kinematic acceleration before), apogee at 5 s (100 m AGL), main
// at 10 s (125 m), 15 m/s before it and 5 m/s after it, landing at 15 s;
// the last 30 % of the descent, from 12 s, at 4 m/s.
const QByteArray handWorked = R"(# A simulation, version 1
# Time (s),Altitude (m),Vertical velocity (m/s),Vertical acceleration (m/s²)
# Event LAUNCH occurred at t=1 seconds
# Event BURNOUT occurred at t=2 seconds
0,100,0,0
1,100,0,98.0665
2,150,60,19.6133
3,180,40,-9.80665
4,195,20,-9.80665
# Event APOGEE occurred at t=5 seconds
5,200,0,-9.80665
6,185,-15,0
7,170,-15,0
8,155,-15,0
9,140,-15,0
# Event MAIN occurred at t=10 seconds
10,125,-15,0
11,118,-7,0
12,112,-6,0
13,108,-4,0
14,104,-4,0
15,100,-4,0
)";

ComparedItem handWorkedItem(const QByteArray &text)
{
    return comparedSimulation(*readSimulationCSV(text).flight, QStringLiteral("sim.csv"));
}

double statistic(const Statistics &statistics, Statistic which)
{
    return statistics[std::size_t(which)].value_or(qQNaN());
}

} // namespace

class TestComparison : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(m_dir.isValid());
    }

    void readsSimulatorFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVector<float>>("secondRow"); // s, m, m/s, g
        QTest::addColumn<float>("launch");            // NaN: no event
        QTest::addColumn<float>("apogee");
        QTest::addColumn<int>("deployments");
        QTest::addColumn<QString>("error");
        const float none = qQNaN();
        QTest::newRow("metric, names in a comment, events") << handWorked << QVector<float>{1, 100, 0, 10} << 1.0f << 5.0f << 1 << "";
        // 32.174 ft/s² is one standard gravity.
        QTest::newRow("imperial, names on the first line")
            << QByteArray("Time (s), Altitude (ft), Vertical velocity (ft/s), Vertical acceleration (ft/s^2)\n"
                          "# Event RECOVERY_DEVICE_DEPLOYMENT occurred at t=7.5 seconds\n"
                          "0,0,0,0\n0.5,100,10,32.174\n1,101,10,0\n2,102,10,0\n")
            << QVector<float>{0.5f, 30.48f, 3.048f, 1.0f} << none << none << 1 << "";
        QTest::newRow("columns in another order, acceleration in G")
            << QByteArray("#Vertical acceleration (G),Altitude [m],Time [s],Vertical speed [m/s]\n2,5,0,1\n3,6,1,2\n2,7,2,1\n2,8,3,1\n")
            << QVector<float>{1, 6, 2, 3} << none << none << 0 << "";
        const auto bad = [none](const char *name, const QByteArray &text, const char *error) {
            QTest::newRow(name) << text << QVector<float>{} << none << none << 0 << QString::fromUtf8(error);
        };
        bad("no time column", "# Altitude (m),Vertical velocity (m/s),Vertical acceleration (G)\n1,2,3\n",
            "line 1: no time column, expected a column such as \"Time (s)\"");
        bad("unknown unit", "Time (s),Altitude (km),Vertical velocity (m/s),Vertical acceleration (G)\n",
            "line 1: the unit of column \"Altitude (km)\" is \"km\", expected one of m, ft");
        bad("non-numeric cell in the first row", QByteArray(handWorked).replace("\n0,100,", "\n0,x,"),
            "line 5: \"x\" in column \"Altitude (m)\" is not a number");
        bad("short row", QByteArray(handWorked).replace("\n3,180,40,", "\n3,180,"), "line 8: 3 fields, expected 4 as in the column names on line 2");
        bad("time going back", QByteArray(handWorked).replace("\n3,180,", "\n1.5,180,"),
            "line 8: the time 1.5 s is before the previous row's, expected rising times");
        bad("empty file", "\n\n", "line 1: the file is empty, expected column names and data rows");
        bad("too few rows", handWorked.left(handWorked.indexOf("\n2,150")), "line 6: 2 data rows, expected at least 4");
    }

    void readsSimulatorFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVector<float>, secondRow);
        QFETCH(float, launch);
        QFETCH(float, apogee);
        QFETCH(int, deployments);
        QFETCH(QString, error);
        const SimulationReading reading = readSimulationCSV(text);
        QCOMPARE(reading.error, error);
        QCOMPARE(reading.flight.has_value(), error.isEmpty());
        if (!reading.flight)
            return;
        const SimulatedFlight &flight = *reading.flight;
        QCOMPARE_NEAR(flight.altitude[1].time, secondRow[0], 1e-6);
        QCOMPARE_NEAR(flight.altitude[1].value, secondRow[1], 1e-4);
        QCOMPARE_NEAR(flight.velocity[1].value, secondRow[2], 1e-4);
        QCOMPARE_NEAR(flight.acceleration[1].value, secondRow[3], 1e-4);
        QCOMPARE(flight.launchEvent.value_or(qQNaN()), launch);
        QCOMPARE(flight.apogeeEvent.value_or(qQNaN()), apogee);
        QCOMPARE(int(flight.deploymentEvents.size()), deployments);
    }

    void simulationStatisticsAsWorkedByHand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("rateBeforeMain");
        QTest::addColumn<double>("rateAfterMain");
        QTest::newRow("events") << handWorked << 15.0 << 5.0;
        // A deployment within 2 s of apogee is the apogee charge: no main.
        QTest::newRow("apogee charge only") << QByteArray(handWorked).replace("MAIN occurred at t=10", "MAIN occurred at t=6.5") << qQNaN() << qQNaN();
        // Launch from the last still row, apogee from the highest, no main.
        QTest::newRow("no events") << QString::fromUtf8(handWorked).remove(QRegularExpression("# Event[^\n]*\n")).toUtf8() << qQNaN() << qQNaN();
    }

    void simulationStatisticsAsWorkedByHand()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, rateBeforeMain);
        QFETCH(double, rateAfterMain);
        const Statistics s = comparisonStatistics(handWorkedItem(text));
        const std::pair<Statistic, double> expected[] = {
            {Statistic::Apogee, 100},        {Statistic::TimeToApogee, 4},  {Statistic::MaxVelocity, 60},
            {Statistic::MaxAcceleration, 11}, {Statistic::BoostTime, 1},     {Statistic::DescentRate, 4},
            {Statistic::FlightDuration, 14}, {Statistic::DescentRateBeforeMain, rateBeforeMain},
            {Statistic::DescentRateAfterMain, rateAfterMain}, {Statistic::LandingDistance, qQNaN()},
        };
        for (const auto &[which, value] : expected) {
            if (qIsNaN(value))
                QVERIFY2(!s[std::size_t(which)], statisticName(which).key);
            else
                QVERIFY2(qAbs(statistic(s, which) - value) < 0.01, statisticName(which).key);
        }
    }

    // The CLI's table: statistics and differences to the first item, nulls
    // where nothing qualifies; the curves exported side by side, aligned.
    void cliComparesAndExportsAlignedCurves()
    {
        const QString flightPath = m_dir.filePath(QStringLiteral("a,b.kipo"));
        const QString simulationPath = m_dir.filePath(QStringLiteral("sim.csv"));
        const QString csvPath = m_dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(okukipo::sim::simulatedFlight(FlightProfile())->save(flightPath));
        QVERIFY(writeFile(simulationPath, handWorked));
        const CliRun run = runCli({"compare", flightPath, simulationPath, "--align", "apogee", "--csv", csvPath});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray items = QJsonDocument::fromJson(run.standardOutput).array();
        QCOMPARE(items.size(), 2);
        QVERIFY(items[1]["statistics"]["landingDistance"].isNull() && items[1]["differences"]["landingDistance"].isNull());
        QCOMPARE_NEAR(items[1]["statistics"]["apogee"].toDouble(), 100.0, 0.01);
        QCOMPARE_NEAR(items[1]["differences"]["apogee"].toDouble(), 100.0 - items[0]["statistics"]["apogee"].toDouble(), 0.01);
        const QStringList lines = QString::fromUtf8(fileContents(csvPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines[0], "Time (s),\"a,b.kipo altitude AGL (m)\",\"a,b.kipo vertical velocity (m/s)\",\"a,b.kipo vertical acceleration (g)\","
                           "sim.csv altitude AGL (m),sim.csv vertical velocity (m/s),sim.csv vertical acceleration (g)");
        // Both apogees at 0 s, in steps of 0.05 s: the flight's 300 m, the simulation's 100 m.
        const int zero = lines.indexOf(QRegularExpression(QStringLiteral("^0\\.00,.*")));
        QVERIFY(zero > 0);
        QCOMPARE(lines[zero - 1].section(QLatin1Char(','), 0, 0), "-0.05");
        QCOMPARE(lines[zero + 1].section(QLatin1Char(','), 0, 0), "0.05");
        QCOMPARE_NEAR(lines[zero].section(QLatin1Char(','), 1, 1).toDouble(), 300.0, 10.0);
        QCOMPARE_NEAR(lines[zero].section(QLatin1Char(','), 4, 4).toDouble(), 100.0, 0.01);

        QVERIFY(writeFile(simulationPath, "Altitude (m)\n1\n"));
        const CliRun bad = runCli({"compare", flightPath, simulationPath, "--csv", m_dir.filePath("none.csv")});
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.standardError.contains("sim.csv: line 1: no time column"), bad.standardError);
        QVERIFY(bad.standardOutput.isEmpty() && !QFile::exists(m_dir.filePath("none.csv")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestComparison)
#include "test_comparison.moc"
