#include "app/applicationsettingswidget.h"
#include "app/longpath.h"
#include "app/messagelog.h"
#include "app/startupoptions.h"
#include "app/units.h"
#include "scriptedasker.h"

#include <QComboBox>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

// Start-up, and the two display choices: how the dialog stores them and what they do.
class TestApplicationSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Each dialog on a file of its own, as the next start of the program would read it.
    static void runDialog(QSettings &settings, int format, int numbers, const char *button, const QStringList &shown)
    {
        ApplicationSettingsWidget dialog(nullptr, &settings);
        auto *formats = dialog.findChild<QComboBox *>(QStringLiteral("coordinateFormat"));
        auto *systems = dialog.findChild<QComboBox *>(QStringLiteral("numberSystem"));
        QCOMPARE(QStringList({formats->currentText(), systems->currentText()}), shown);
        if (format >= 0)
            formats->setCurrentIndex(format);
        if (numbers >= 0)
            systems->setCurrentIndex(numbers);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }

private slots:
    void okStoresTheChoicesAndAsksForARestartCancelNothing()
    {
        ScriptedAsker asker;
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        runDialog(settings, 1, 1, "Cancel", {"Decimal degrees", "Metric"});
        QVERIFY(asker.messages.isEmpty() && !settings.contains(QStringLiteral("numberSystem")));
        // The second item is degrees, minutes and seconds: format 2.
        runDialog(settings, 1, 1, "OK", {"Decimal degrees", "Metric"});
        QCOMPARE(settings.value(QStringLiteral("GPSCoordinateFormat")).toInt(), 2);
        QCOMPARE(settings.value(QStringLiteral("numberSystem")).toInt(), 1);
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages.first().title, QStringLiteral("Restart required"));
        QCOMPARE(asker.messages.first().text, QStringLiteral("Certain settings require the application to be restarted."));
        settings.setValue(QStringLiteral("GPSCoordinateFormat"), 1);
        runDialog(settings, -1, -1, "Cancel", {"Degrees and decimal minutes", "Imperial"});
        // A value it does not know selects nothing and survives OK.
        settings.setValue(QStringLiteral("GPSCoordinateFormat"), 7);
        runDialog(settings, -1, 0, "OK", {"", "Imperial"});
        QCOMPARE(settings.value(QStringLiteral("GPSCoordinateFormat")).toInt(), 7);
        QCOMPARE(settings.value(QStringLiteral("numberSystem")).toInt(), 0);
    }

    // Expected values from the standard atmosphere, 1 ft = 0.3048 m, the
    // display's 0.000295333727 inHg per Pa, and 1/3600 of a degree per second of arc.
    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const DisplayUnits metric(true), imperial(false);
        QTest::newRow("decimal degrees") << formatCoordinate(-12.25, 0) << QString::fromUtf8("-12.250000 °");
        QTest::newRow("decimal minutes") << formatCoordinate(-0.25, 1) << QString::fromUtf8("-0 ° 15.0000'");
        QTest::newRow("seconds") << formatCoordinate(8 + 15 / 60.0 + 30.5 / 3600, 2) << QString::fromUtf8("8 ° 15' 30.50''");
        QTest::newRow("unknown format") << formatCoordinate(45.5, 3) << QString();
        QTest::newRow("1000 m") << metric.pressureAltitudeLabel(89874.6) << "1000 m";
        QTest::newRow("1000 m in feet") << imperial.pressureAltitudeLabel(89874.6) << "3281 ft";
        QTest::newRow("kPa") << metric.pressureLabel(101325) << "101.33 kPa";
        QTest::newRow("inHg") << imperial.pressureLabel(101325) << "29.92 inHg";
        QTest::newRow("GPS altitude in feet") << imperial.gpsAltitudeLabel(100) << "328.1 ft";
        QTest::newRow("Fahrenheit") << imperial.temperatureLabel(100) << QString::fromUtf8("212.0° F");
        QTest::newRow("no minus zero") << accelerationLabel(-0.001) << "0.00 g";
        QTest::newRow("plotted values") << QStringLiteral("%1 %2 %3 %4 %5").arg(imperial.length(-10)).arg(metric.travelSpeed(100))
                                               .arg(imperial.travelSpeed(100)).arg(imperial.pressure(101325), 0, 'f', 5).arg(imperial.temperature(-40))
                                        << "-32.8084 360 328.084 29.92469 -40";
    }
    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void choicesComeFromTheSettings()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        QVERIFY(isMetric(settings));
        settings.setValue(QStringLiteral("GPSCoordinateFormat"), 2);
        settings.setValue(QStringLiteral("numberSystem"), QStringLiteral("metric")); // only 0 is metric
        QCOMPARE(formatCoordinate(45.5, settings), QString::fromUtf8("45 ° 30' 0.00''"));
        QVERIFY(!DisplayUnits::fromSettings(settings).metric());
    }

    // Start-up: the message log and the command line.
    void logLineCarriesTypeAndContext()
    {
        const QMessageLogContext context("main.cpp", 42, "int main()", "default");
        QCOMPARE(formatLogMessage(QtWarningMsg, context, "hi"), QByteArray("Warning: hi (main.cpp:42, int main())\n"));
        QCOMPARE(formatLogMessage(QtCriticalMsg, QMessageLogContext(), "x"), QByteArray("Critical: x (:0, )\n"));
        QCOMPARE(formatLogMessage(QtInfoMsg, context, "dropped"), QByteArray());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("flight"); // null when the line is refused
        QTest::newRow("two dashes") << QStringList({"okukipo", "--flight", "a b.kipo"}) << "a b.kipo";
        QTest::newRow("one dash") << QStringList({"okukipo", "-flight", "a b.kipo", "--demo"}) << "a b.kipo";
        QTest::newRow("no options") << QStringList({"okukipo"}) << "";
        QTest::newRow("misspelt") << QStringList({"okukipo", "--fligth", "x"}) << QString();
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, flight);
        QCommandLineParser parser;
        const StartupOptions options;
        options.addTo(parser);
        QCOMPARE(parser.parse(arguments), !flight.isNull());
        QCOMPARE(parser.value(options.flight), flight);
        QCOMPARE(parser.isSet(options.demo), arguments.contains(QStringLiteral("--demo")));
    }

    void longPathIsAbsoluteAndCanonical()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("flights")) && QDir::setCurrent(dir.path()));
        QFile file(QStringLiteral("flights/first.kipo"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(expandLongPath("flights/../flights/first.kipo"), QFileInfo(file).canonicalFilePath());
        QCOMPARE(expandLongPath(QStringLiteral("/no/such/dir/flight.kipo")), QString());
    }

    void mapTilesSettingsAndClearingTheCache()
    {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        QFile tile(cache.filePath(QStringLiteral("okukipo/tiles/source/viewed/0/0/0.png")));
        QVERIFY(QDir().mkpath(QFileInfo(tile).absolutePath()) && tile.open(QIODevice::WriteOnly));
        tile.write(QByteArray(3 * 1024 * 1024 / 2, 'x'));
        tile.close();
        ScriptedAsker asker;
        QSettings settings(dir.filePath(QStringLiteral("tiles.ini")), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        auto *server = dialog.findChild<QLineEdit *>(QStringLiteral("tileServer"));
        auto *limit = dialog.findChild<QSpinBox *>(QStringLiteral("tileCacheLimit"));
        auto *size = dialog.findChild<QLabel *>(QStringLiteral("mapCacheSize"));
        QCOMPARE(server->text(), QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
        QCOMPARE(limit->value(), 500);
        QCOMPARE(size->text(), QStringLiteral("Map cache: 1.5 MB"));
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("clearMapCache")), Qt::LeftButton);
        QVERIFY(!tile.exists());
        QCOMPARE(size->text(), QStringLiteral("Map cache: 0.0 MB"));
        server->setText(QStringLiteral(" http://tiles.example/{z}/{x}/{y}.png "));
        limit->setValue(80);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("OK")), Qt::LeftButton);
        QCOMPARE(settings.value(QStringLiteral("tileServer")).toString(), QStringLiteral("http://tiles.example/{z}/{x}/{y}.png"));
        QCOMPARE(settings.value(QStringLiteral("tileCacheLimitMB")).toInt(), 80);
        qunsetenv("XDG_CACHE_HOME");
    }
};

QTEST_MAIN(TestApplicationSettings)
#include "test_applicationsettings.moc"
