#include "app/longpath.h"
#include "app/messagelog.h"
#include "app/startupoptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void logLineCarriesTypeAndContext_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("debug") << int(QtDebugMsg) << QByteArray("Debug: hello (main.cpp:42, int main())\n");
        QTest::newRow("warning") << int(QtWarningMsg) << QByteArray("Warning: hello (main.cpp:42, int main())\n");
        QTest::newRow("critical") << int(QtCriticalMsg) << QByteArray("Critical: hello (main.cpp:42, int main())\n");
        QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray("Fatal: hello (main.cpp:42, int main())\n");
        QTest::newRow("info is dropped") << int(QtInfoMsg) << QByteArray();
    }

    void logLineCarriesTypeAndContext()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, expected);
        const QMessageLogContext context("main.cpp", 42, "int main()", "default");
        QCOMPARE(formatLogMessage(QtMsgType(type), context, QStringLiteral("hello")), expected);
    }

    void logLineWithoutContext()
    {
        const QMessageLogContext context;
        QCOMPARE(formatLogMessage(QtWarningMsg, context, QStringLiteral("x")), QByteArray("Warning: x (:0, )\n"));
    }

    void longPathIsAbsoluteAndCanonical()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("flights")));
        QFile file(dir.filePath(QStringLiteral("flights/first.kipo")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString expected = QFileInfo(file.fileName()).canonicalFilePath();

        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(expandLongPath(QStringLiteral("flights/../flights/first.kipo")), expected);
        QCOMPARE(expandLongPath(expected), expected);
    }

    void flightOptionInBothForms_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("two dashes") << QStringList({"okukipo", "--flight", "a b.kipo"});
        QTest::newRow("one dash") << QStringList({"okukipo", "-flight", "a b.kipo"});
        QTest::newRow("with equals sign") << QStringList({"okukipo", "--flight=a b.kipo", "--demo"});
    }

    void flightOptionInBothForms()
    {
        QFETCH(QStringList, arguments);
        QCommandLineParser parser;
        const StartupOptions options;
        options.addTo(parser);
        QVERIFY2(parser.parse(arguments), qPrintable(parser.errorText()));
        QCOMPARE(parser.value(options.flight), QStringLiteral("a b.kipo"));
        QCOMPARE(parser.isSet(options.demo), arguments.contains(QStringLiteral("--demo")));
    }

    void withoutOptionsTheFlightIsEmpty()
    {
        QCommandLineParser parser;
        const StartupOptions options;
        options.addTo(parser);
        QVERIFY(parser.parse({QStringLiteral("okukipo")}));
        QCOMPARE(parser.value(options.flight), QString());
        QVERIFY(!parser.isSet(options.demo));
    }

    void unknownOptionIsRefused()
    {
        QCommandLineParser parser;
        StartupOptions().addTo(parser);
        QVERIFY(!parser.parse({QStringLiteral("okukipo"), QStringLiteral("--fligth"), QStringLiteral("x")}));
        QVERIFY(parser.errorText().contains(QStringLiteral("fligth")));
    }

    void longPathOfMissingFileIsEmpty()
    {
        QCOMPARE(expandLongPath(QString()), QString());
        QCOMPARE(expandLongPath(QStringLiteral("/no/such/dir/flight.kipo")), QString());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
