#include "model/flight.h"
#include "tests/cli/clirun.h"

#include <QTemporaryDir>
#include <QtTest>

class TestCliFlash : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    }

private slots:
    void imagesGiveTheirFlightList_data()
    {
        OKUKIPOSettings settings;
        settings.updateChecksum();
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QByteArray>("list");
        // A flight marker with its settings, then an AccelZ and a Pressure record, then erased memory.
        QTest::newRow("one flight") << QByteArray(1, '\x13') + settings.deviceBytes()
                                           + QByteArray::fromHex("020100" "85" "030186a0" "8a" "020200" "ff")
                                    << QByteArray("[{\"file\": \"flight-1.kipo\", \"events\": 2, \"settingsValid\": true}]\n");
        QTest::newRow("erased") << QByteArray(1000, '\xff') << QByteArray("[]\n");
    }

    void imagesGiveTheirFlightList()
    {
        QFETCH(QByteArray, image);
        QFETCH(QByteArray, list);
        const QString out = directory.filePath(QTest::currentDataTag());
        const CliRun run = runCli({"parse-flash", write("image.bin", image), "--out", out});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, list);
        QCOMPARE(run.standardError, QByteArray());
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), list.count("flight-"));
    }

    void failuresAreOneLineOnStandardError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        const QString image = write("erased.bin", QByteArray(100, '\xff'));
        const QString blocker = write("blocker", "not a directory");
        QTest::newRow("missing") << QStringList{"parse-flash", directory.filePath("absent.bin"), "--out", "x"}
                                 << QByteArray("cannot read ");
        QTest::newRow("no --out") << QStringList{"parse-flash", image}
                                  << QByteArray("usage: okukipo-cli parse-flash IMAGE.bin --out DIR\n");
        QTest::newRow("blocked") << QStringList{"parse-flash", image, "--out", blocker + "/sub"}
                                 << QByteArray("cannot create directory ");
    }

    void failuresAreOneLineOnStandardError()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardOutput.isEmpty());
        QVERIFY2(run.standardError.startsWith("okukipo-cli: " + message), run.standardError.constData());
        QCOMPARE(run.standardError.count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestCliFlash)
#include "test_cli_flash.moc"
