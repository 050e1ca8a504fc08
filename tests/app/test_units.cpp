#include "app/units.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestUnits : public QObject
{
    Q_OBJECT

private slots:
    void coordinateFormats_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("decimal") << 45.5 << 0 << QString::fromUtf8("45.500000 °");
        QTest::newRow("decimal minutes") << 45.5 << 1 << QString::fromUtf8("45 ° 30.0000'");
        QTest::newRow("minutes seconds") << 45.5 << 2 << QString::fromUtf8("45 ° 30' 0.00''");
        QTest::newRow("negative decimal") << -12.25 << 0 << QString::fromUtf8("-12.250000 °");
        QTest::newRow("negative decimal minutes") << -12.25 << 1 << QString::fromUtf8("-12 ° 15.0000'");
        QTest::newRow("negative minutes seconds") << -12.25 << 2 << QString::fromUtf8("-12 ° 15' 0.00''");
        // 1/3600 of a degree is one second of arc.
        QTest::newRow("seconds") << 8.0 + 15.0 / 60 + 30.5 / 3600 << 2 << QString::fromUtf8("8 ° 15' 30.50''");
        QTest::newRow("south of the equator keeps its sign") << -0.5 << 2 << QString::fromUtf8("-0 ° 30' 0.00''");
        QTest::newRow("west of Greenwich keeps its sign") << -0.25 << 1 << QString::fromUtf8("-0 ° 15.0000'");
        QTest::newRow("zero") << 0.0 << 2 << QString::fromUtf8("0 ° 0' 0.00''");
        QTest::newRow("unknown format") << 45.5 << 3 << QString();
        QTest::newRow("negative format") << 45.5 << -1 << QString();
    }

    void coordinateFormats()
    {
        QFETCH(double, degrees);
        QFETCH(int, format);
        QFETCH(QString, expected);
        QCOMPARE(formatCoordinate(degrees, format), expected);
    }

    void coordinateFormatComesFromTheSettings()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        QCOMPARE(formatCoordinate(45.5, settings), QString::fromUtf8("45.500000 °"));
        settings.setValue(QStringLiteral("GPSCoordinateFormat"), 2);
        QCOMPARE(formatCoordinate(45.5, settings), QString::fromUtf8("45 ° 30' 0.00''"));
    }

    void metricUnlessNumberSystemIsOtherThanZero_data()
    {
        QTest::addColumn<QString>("iniLine");
        QTest::addColumn<bool>("metric");
        QTest::newRow("absent") << QString() << true;
        QTest::newRow("0") << QStringLiteral("numberSystem=0") << true;
        QTest::newRow("1") << QStringLiteral("numberSystem=1") << false;
        QTest::newRow("2") << QStringLiteral("numberSystem=2") << false;
        QTest::newRow("text") << QStringLiteral("numberSystem=metric") << false;
    }

    void metricUnlessNumberSystemIsOtherThanZero()
    {
        QFETCH(QString, iniLine);
        QFETCH(bool, metric);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(iniLine.toUtf8() + '\n');
        file.close();
        const QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(isMetric(settings), metric);
        QCOMPARE(DisplayUnits::fromSettings(settings).metric(), metric);
    }

    void standardAtmosphereIsSeaLevel()
    {
        QVERIFY(qAbs(pressureAltitude(101325.0f)) < 0.01f);
        QCOMPARE(DisplayUnits(true).pressureAltitudeLabel(101325), QStringLiteral("0 m"));
        QCOMPARE(DisplayUnits(false).pressureAltitudeLabel(101325), QStringLiteral("0 ft"));
    }

    void pressureAltitudeFollowsTheStandardAtmosphere()
    {
        // 89874.6 Pa is the standard atmosphere at 1000 m, 54019.9 Pa at 5000 m.
        QVERIFY(qAbs(pressureAltitude(89874.6f) - 1000.0f) < 1.0f);
        QVERIFY(qAbs(pressureAltitude(54019.9f) - 5000.0f) < 5.0f);
        // Above the reference pressure the altitude is negative.
        QVERIFY(pressureAltitude(102000.0f) < -50.0f);
        QCOMPARE(DisplayUnits(true).pressureAltitudeLabel(89874.6), QStringLiteral("1000 m"));
        QCOMPARE(DisplayUnits(false).pressureAltitudeLabel(89874.6), QStringLiteral("3281 ft"));
    }

    void metricLabels()
    {
        const DisplayUnits units(true);
        QCOMPARE(units.pressureLabel(101325), QStringLiteral("101.33 kPa"));
        QCOMPARE(units.gpsAltitudeLabel(123.45), QStringLiteral("123.5 m"));
        QCOMPARE(units.gpsAltitudeLabel(-3.04), QStringLiteral("-3.0 m"));
        QCOMPARE(units.temperatureLabel(21.56), QString::fromUtf8("21.6° C"));
        QCOMPARE(units.temperatureLabel(-5), QString::fromUtf8("-5.0° C"));
    }

    void imperialLabels()
    {
        const DisplayUnits units(false);
        // 101325 Pa are 29.92 inches of mercury.
        QCOMPARE(units.pressureLabel(101325), QStringLiteral("29.92 inHg"));
        QCOMPARE(units.gpsAltitudeLabel(100), QStringLiteral("328.1 ft"));
        QCOMPARE(units.temperatureLabel(100), QString::fromUtf8("212.0° F"));
        QCOMPARE(units.temperatureLabel(-40), QString::fromUtf8("-40.0° F"));
    }

    void labelsWithoutUnitSystem()
    {
        QCOMPARE(voltageLabel(3.7), QStringLiteral("3.70 v"));
        QCOMPARE(accelerationLabel(-1.005), QStringLiteral("-1.00 g"));
        QCOMPARE(accelerationLabel(12.5), QStringLiteral("12.50 g"));
        // A value that rounds to zero is shown without a minus sign.
        QCOMPARE(accelerationLabel(-0.001), QStringLiteral("0.00 g"));
    }

    void plotValues()
    {
        const DisplayUnits metric(true);
        const DisplayUnits imperial(false);
        QCOMPARE(metric.length(1000), 1000.0);
        QCOMPARE(imperial.length(1000), 3280.84);
        QCOMPARE(imperial.length(-10), -32.8084);
        QCOMPARE(metric.speed(50), 50.0);
        QCOMPARE(imperial.speed(50), 164.042);
        QCOMPARE(metric.travelSpeed(100), 360.0);
        QCOMPARE(imperial.travelSpeed(100), 328.084);
        QCOMPARE(metric.pressure(101325), 101325.0);
        QVERIFY(qAbs(imperial.pressure(101325) - 29.9247) < 1e-4);
        QCOMPARE(metric.temperature(50), 50.0);
        QCOMPARE(imperial.temperature(50), 122.0);
        QCOMPARE(imperial.temperature(-40), -40.0);
    }

    void unitNames()
    {
        const DisplayUnits metric(true);
        const DisplayUnits imperial(false);
        QCOMPARE(metric.lengthUnit() + metric.speedUnit() + metric.travelSpeedUnit() + metric.pressureUnit()
                     + metric.temperatureUnit(),
                 QStringLiteral("mm/skm/hPaC"));
        QCOMPARE(imperial.lengthUnit() + imperial.speedUnit() + imperial.travelSpeedUnit() + imperial.pressureUnit()
                     + imperial.temperatureUnit(),
                 QStringLiteral("ftft/sft/sinHgF"));
    }
};

QTEST_GUILESS_MAIN(TestUnits)
#include "test_units.moc"
