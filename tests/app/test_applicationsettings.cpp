#include "app/applicationsettingswidget.h"
#include "scriptedasker.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class TestApplicationSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    // One file per test function: QSettings caches files by path, size and
    // modification time, so rewriting one file within a second can go unseen.
    QString iniPath() const
    {
        return dir.filePath(QLatin1String(QTest::currentTestFunction()) + QStringLiteral("/settings.ini"));
    }

    void writeIni(const QByteArray &contents)
    {
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

    static QComboBox *combo(ApplicationSettingsWidget &dialog, const char *name)
    {
        return dialog.findChild<QComboBox *>(QLatin1String(name));
    }

    static void click(ApplicationSettingsWidget &dialog, const char *button)
    {
        QTest::mouseClick(dialog.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }

private slots:
    void init() { QVERIFY(QDir(dir.path()).mkpath(QLatin1String(QTest::currentTestFunction()))); }

    void formShowsTheChoicesInOrder()
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Application settings"));
        QComboBox *format = combo(dialog, "coordinateFormat");
        QComboBox *numbers = combo(dialog, "numberSystem");
        QVERIFY(format && numbers);
        const QStringList formatTexts{QStringLiteral("Decimal degrees"), QStringLiteral("Degrees, minutes and seconds"),
                                      QStringLiteral("Degrees and decimal minutes")};
        const QList<int> formatData{0, 2, 1};
        QCOMPARE(format->count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(format->itemText(i), formatTexts.at(i));
            QCOMPARE(format->itemData(i).toInt(), formatData.at(i));
        }
        QCOMPARE(numbers->count(), 2);
        QCOMPARE(numbers->itemText(0), QStringLiteral("Metric"));
        QCOMPARE(numbers->itemData(0).toInt(), 0);
        QCOMPARE(numbers->itemText(1), QStringLiteral("Imperial"));
        QCOMPARE(numbers->itemData(1).toInt(), 1);
    }

    void withoutSettingsFileTheZeroItemsAreSelected()
    {
        QVERIFY(!QFile::exists(iniPath()));
        QSettings settings(iniPath(), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        QCOMPARE(combo(dialog, "coordinateFormat")->currentText(), QStringLiteral("Decimal degrees"));
        QCOMPARE(combo(dialog, "numberSystem")->currentText(), QStringLiteral("Metric"));
    }

    void storedValuesAreSelected()
    {
        writeIni("[General]\nGPSCoordinateFormat=1\nnumberSystem=1\n");
        QSettings settings(iniPath(), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        QCOMPARE(combo(dialog, "coordinateFormat")->currentText(), QStringLiteral("Degrees and decimal minutes"));
        QCOMPARE(combo(dialog, "numberSystem")->currentText(), QStringLiteral("Imperial"));
    }

    void unknownStoredValueSelectsNothingAndSurvivesOk()
    {
        writeIni("[General]\nGPSCoordinateFormat=7\nnumberSystem=1\n");
        {
            ScriptedAsker asker;
            QSettings settings(iniPath(), QSettings::IniFormat);
            ApplicationSettingsWidget dialog(nullptr, &settings);
            QCOMPARE(combo(dialog, "coordinateFormat")->currentIndex(), -1);
            click(dialog, "OK");
        }
        const QSettings reread(iniPath(), QSettings::IniFormat);
        QCOMPARE(reread.value(QStringLiteral("GPSCoordinateFormat")).toInt(), 7);
        QCOMPARE(reread.value(QStringLiteral("numberSystem")).toInt(), 1);
    }

    void okStoresTheChoicesAndAsksForARestart()
    {
        ScriptedAsker asker;
        {
            QSettings settings(iniPath(), QSettings::IniFormat);
            ApplicationSettingsWidget dialog(nullptr, &settings);
            combo(dialog, "coordinateFormat")->setCurrentIndex(1);
            combo(dialog, "numberSystem")->setCurrentIndex(1);
            click(dialog, "OK");
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages.first().icon, QMessageBox::Warning);
        QCOMPARE(asker.messages.first().title, QStringLiteral("Restart required"));
        QCOMPARE(asker.messages.first().text, QStringLiteral("Certain settings require the application to be restarted."));
        QCOMPARE(asker.messages.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        // Read back from the file, as the next start of the program would.
        QSettings reread(iniPath(), QSettings::IniFormat);
        QCOMPARE(reread.value(QStringLiteral("GPSCoordinateFormat")).toInt(), 2);
        QCOMPARE(reread.value(QStringLiteral("numberSystem")).toInt(), 1);
        ApplicationSettingsWidget again(nullptr, &reread);
        QCOMPARE(combo(again, "coordinateFormat")->currentText(), QStringLiteral("Degrees, minutes and seconds"));
        QCOMPARE(combo(again, "numberSystem")->currentText(), QStringLiteral("Imperial"));
    }

    void okWithoutChangesStillAsksForARestart()
    {
        ScriptedAsker asker;
        QSettings settings(iniPath(), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        click(dialog, "OK");
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages.first().title, QStringLiteral("Restart required"));
        QCOMPARE(settings.value(QStringLiteral("GPSCoordinateFormat")).toInt(), 0);
        QCOMPARE(settings.value(QStringLiteral("numberSystem")).toInt(), 0);
    }

    void cancelStoresNothing()
    {
        ScriptedAsker asker;
        {
            QSettings settings(iniPath(), QSettings::IniFormat);
            ApplicationSettingsWidget dialog(nullptr, &settings);
            combo(dialog, "numberSystem")->setCurrentIndex(1);
            click(dialog, "Cancel");
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QVERIFY(asker.messages.isEmpty());
        const QSettings reread(iniPath(), QSettings::IniFormat);
        QVERIFY(!reread.contains(QStringLiteral("numberSystem")));
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
        QSettings settings(iniPath(), QSettings::IniFormat);
        ApplicationSettingsWidget dialog(nullptr, &settings);
        auto *server = dialog.findChild<QLineEdit *>(QStringLiteral("tileServer"));
        auto *limit = dialog.findChild<QSpinBox *>(QStringLiteral("tileCacheLimit"));
        auto *size = dialog.findChild<QLabel *>(QStringLiteral("mapCacheSize"));
        QCOMPARE(server->text(), QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
        QCOMPARE(limit->value(), 500);
        QCOMPARE(size->text(), QStringLiteral("Map cache: 1.5 MB"));
        click(dialog, "clearMapCache");
        QVERIFY(!tile.exists());
        QCOMPARE(size->text(), QStringLiteral("Map cache: 0.0 MB"));
        server->setText(QStringLiteral(" http://tiles.example/{z}/{x}/{y}.png "));
        limit->setValue(80);
        click(dialog, "OK");
        QCOMPARE(settings.value(QStringLiteral("tileServer")).toString(), QStringLiteral("http://tiles.example/{z}/{x}/{y}.png"));
        QCOMPARE(settings.value(QStringLiteral("tileCacheLimitMB")).toInt(), 80);
        qunsetenv("XDG_CACHE_HOME");
    }
};

QTEST_MAIN(TestApplicationSettings)
#include "test_applicationsettings.moc"
