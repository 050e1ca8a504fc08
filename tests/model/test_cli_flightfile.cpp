#include "tests/cli/clirun.h"
#include "filecontents.h"
#include "flightfilebytes.h"
#include "model/flight.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCliFlightFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dumpPrintsTheFlightAsJson();
    void dumpPrintsFloatsWithNineDigitsAndDoublesWithSeventeen();
    void resaveOfCurrentFileIsByteIdentical();
    void resaveWritesOldFilesInTheCurrentVersion();
    void failuresGiveOneLineAndStatusOne_data();
    void failuresGiveOneLineAndStatusOne();

private:
    QString writeFlight(const QString &name, OKUKIPOFlight &flight);
    QTemporaryDir m_dir;
};

void TestCliFlightFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestCliFlightFile::writeFlight(const QString &name, OKUKIPOFlight &flight)
{
    const QString path = m_dir.filePath(name);
    if (!flight.save(path))
        qFatal("cannot save a test flight");
    return path;
}

void TestCliFlightFile::dumpPrintsTheFlightAsJson()
{
    OKUKIPOFlight flight;
    auto *status = new OKUEvent_Status;
    status->time = 2.0f;
    status->lineContinuity[1] = true;
    auto *text = new OKUEvent_Text;
    text->time = 1.0f;
    text->text = "say \"hi\"\n";
    flight.events = {status, text};
    flight.notes = "first flight";
    flight.settings.valid = true;
    flight.value16 = 300;
    const CliRun run = runCli({QStringLiteral("dump"), writeFlight(QStringLiteral("dump.kipo"), flight)});

    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.standardError.contains("Loaded"));
    QJsonParseError error{};
    const QJsonObject json = QJsonDocument::fromJson(run.standardOutput, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.value("value16").toInt(), 300);
    QCOMPARE(json.value("notes").toString(), QStringLiteral("first flight"));
    QCOMPARE(json.value("accelInverted").toBool(true), false);
    QCOMPARE(json.value("settings").toObject().value("valid").toBool(), true);
    QCOMPARE(json.value("settings").toObject().value("bytes").toString(),
             QString::fromLatin1(OKUKIPOSettings().deviceBytes().toHex()));
    const QJsonArray events = json.value("events").toArray();
    QCOMPARE(events.size(), 2);
    // Sorted by time on load.
    QCOMPARE(events.at(0).toObject().value("class").toString(), QStringLiteral("OKUEvent_Text"));
    QCOMPARE(events.at(0).toObject().value("text").toString(), QStringLiteral("say \"hi\"\n"));
    const QJsonObject statusJson = events.at(1).toObject();
    QCOMPARE(statusJson.value("class").toString(), QStringLiteral("OKUEvent_Status"));
    QCOMPARE(statusJson.value("time").toDouble(), 2.0);
    QCOMPARE(statusJson.value("lineContinuity").toArray(), QJsonArray({false, true, false, false}));
    QCOMPARE(statusJson.keys(), QStringList({"class", "lineAlert", "lineContinuity", "lineOther", "referenceVoltage",
                                             "state", "time"}));
}

void TestCliFlightFile::dumpPrintsFloatsWithNineDigitsAndDoublesWithSeventeen()
{
    OKUKIPOFlight flight;
    auto *position = new OKUEvent_GPSLLSol;
    position->time = 0.1f;
    position->latitude = 0.1;
    position->altitude = 0.1f;
    position->satellites = 9;
    flight.events = {position};
    const CliRun run = runCli({QStringLiteral("dump"), writeFlight(QStringLiteral("digits.kipo"), flight)});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.standardOutput.contains(
                 "{\"class\": \"OKUEvent_GPSLLSol\", \"time\": 0.100000001, \"referenceVoltage\": 3.29999995, "
                 "\"latitude\": 0.10000000000000001, \"longitude\": 0, \"altitude\": 0.100000001, "
                 "\"satellites\": 9, \"solution3D\": false}"),
             run.standardOutput.constData());
}

void TestCliFlightFile::resaveOfCurrentFileIsByteIdentical()
{
    OKUKIPOFlight flight;
    auto *accel = new OKUEvent_AccelXY;
    accel->accelX = 1.5f;
    flight.events = {accel};
    flight.notes = "resave me";
    const QString input = writeFlight(QStringLiteral("in.kipo"), flight);
    const QString output = m_dir.filePath(QStringLiteral("out.kipo"));
    const CliRun run = runCli({QStringLiteral("resave"), input, output});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.standardOutput, QByteArray());
    QCOMPARE(fileContents(output), fileContents(input));

    const QString unwritable = QStringLiteral("/nonexistent/out.kipo");
    const CliRun failed = runCli({QStringLiteral("resave"), input, unwritable});
    QCOMPARE(failed.exitCode, 1);
    QVERIFY(failed.standardError.endsWith("okukipo-cli: cannot write " + unwritable.toUtf8() + '\n'));
}

void TestCliFlightFile::resaveWritesOldFilesInTheCurrentVersion()
{
    // A version-0 flight (no settings) with an AccelXY of class version 2 (stored Y first).
    const QByteArray old = flightFile(0, storedEvents({{AccelXYId, 2, ArchiveBytes().f32(2).f32(1).bytes(), eventBase(0.5f)}})
                                             + ArchiveBytes().u16(256).str("old").bytes());
    const QString input = m_dir.filePath(QStringLiteral("old.kipo"));
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();
    const QString output = m_dir.filePath(QStringLiteral("current.kipo"));
    QCOMPARE(runCli({QStringLiteral("resave"), input, output}).exitCode, 0);

    const QByteArray expected = flightFile(3, storedEvents({{AccelXYId, 3, ArchiveBytes().f32(1).f32(2).bytes(), eventBase(0.5f)}})
                                                  + ArchiveBytes().u16(256).str("old")
                                                        .raw(storedSettings(3, false, OKUKIPOSettings().deviceBytes()))
                                                        .u8(0).bytes());
    QCOMPARE(fileContents(output).toHex(), expected.toHex());
}

void TestCliFlightFile::failuresGiveOneLineAndStatusOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    const QString missing = QStringLiteral("/nonexistent/flight.kipo");
    QTest::newRow("dump missing file") << QStringList({"dump", missing}) << "okukipo-cli: cannot read " + missing.toUtf8();
    QTest::newRow("resave missing file") << QStringList({"resave", missing, "/tmp/never.kipo"})
                                         << "okukipo-cli: cannot read " + missing.toUtf8();
    QTest::newRow("dump without file") << QStringList({"dump"}) << QByteArray("okukipo-cli: usage: okukipo-cli dump FLIGHT.kipo");
}

void TestCliFlightFile::failuresGiveOneLineAndStatusOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.standardOutput, QByteArray());
    QVERIFY2(run.standardError.endsWith(message + '\n'), run.standardError.constData());
}

QTEST_GUILESS_MAIN(TestCliFlightFile)
#include "test_cli_flightfile.moc"
