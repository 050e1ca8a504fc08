#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"
#include "tests/cli/clirun.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestCliFlash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(directory.isValid());
    }

    void handWrittenImageGivesItsFlightList()
    {
        OKUKIPOSettings settings;
        settings.updateChecksum();
        const QByteArray image = QByteArray(1, '\x13') + settings.deviceBytes()
                                 + QByteArray::fromHex("020100" "85" "030186a0" "8a" "020200" "ff");
        const QString imagePath = directory.filePath(QStringLiteral("hand.bin"));
        QVERIFY(writeFile(imagePath, image));
        const CliRun run = runCli({QStringLiteral("parse-flash"), imagePath, QStringLiteral("--out"), directory.filePath("hand")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, QByteArray("[{\"file\": \"flight-1.kipo\", \"events\": 2, \"settingsValid\": true}]\n"));
        QVERIFY(run.standardError.contains("flight marker found."));

        OKUKIPOFlight saved;
        QVERIFY(saved.load(directory.filePath(QStringLiteral("hand/flight-1.kipo"))));
        QCOMPARE(saved.events.size(), size_t(2));
        QCOMPARE(saved.settings.deviceBytes(), settings.deviceBytes());
    }

    void recordedFlightsAreSavedInMemoryOrder()
    {
        const QByteArray image = okukipo::sim::demoFlashImage();
        const auto expected = parseFlights(image);
        const QString imagePath = directory.filePath(QStringLiteral("demo.bin"));
        QVERIFY(writeFile(imagePath, image));
        const QString out = directory.filePath(QStringLiteral("demo/flights"));
        const CliRun run = runCli({QStringLiteral("parse-flash"), imagePath, QStringLiteral("--out"), out});
        QCOMPARE(run.exitCode, 0);

        QStringList entries;
        for (size_t i = 0; i < expected.size(); ++i) {
            entries.append(QStringLiteral("{\"file\": \"flight-%1.kipo\", \"events\": %2, \"settingsValid\": true}")
                               .arg(i + 1)
                               .arg(expected[i]->events.size()));
            OKUKIPOFlight saved;
            QVERIFY(saved.load(QDir(out).filePath(QStringLiteral("flight-%1.kipo").arg(i + 1))));
            QCOMPARE(saved.events.size(), expected[i]->events.size());
        }
        QCOMPARE(expected.size(), size_t(3));
        QCOMPARE(QString::fromUtf8(run.standardOutput), QStringLiteral("[%1]\n").arg(entries.join(QStringLiteral(", "))));
    }

    void imageWithoutFlightsGivesAnEmptyList()
    {
        const QString imagePath = directory.filePath(QStringLiteral("erased.bin"));
        QVERIFY(writeFile(imagePath, QByteArray(1000, '\xff')));
        const CliRun run = runCli({QStringLiteral("parse-flash"), imagePath, QStringLiteral("--out"), directory.filePath("none")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, QByteArray("[]\n"));
    }

    void failuresAreOneLineOnStandardError()
    {
        const CliRun missing = runCli({QStringLiteral("parse-flash"), directory.filePath("absent.bin"), QStringLiteral("--out"),
                                    directory.filePath("absent")});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.standardOutput.isEmpty());
        QVERIFY(missing.standardError.startsWith("okukipo-cli: cannot read "));

        const CliRun noOut = runCli({QStringLiteral("parse-flash"), directory.filePath("erased.bin")});
        QCOMPARE(noOut.exitCode, 1);
        QVERIFY(noOut.standardOutput.isEmpty());
        QCOMPARE(noOut.standardError, QByteArray("okukipo-cli: usage: okukipo-cli parse-flash IMAGE.bin --out DIR\n"));

        const QString blocker = directory.filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(blocker, "not a directory"));
        const CliRun blocked = runCli({QStringLiteral("parse-flash"), directory.filePath("hand.bin"), QStringLiteral("--out"),
                                    blocker + QStringLiteral("/sub")});
        QCOMPARE(blocked.exitCode, 1);
        QVERIFY(blocked.standardOutput.isEmpty());
        QVERIFY(blocked.standardError.contains("cannot create directory"));
    }

private:
    QTemporaryDir directory;
};

QTEST_GUILESS_MAIN(TestCliFlash)
#include "test_cli_flash.moc"
