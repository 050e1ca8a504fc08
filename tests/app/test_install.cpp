#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What `cmake --install` puts in place: the program with the files it looks
// for in its own directory, and the desktop integration.
class TestInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir prefix;

    QString installed(const QString &path) const { return QDir(prefix.path()).filePath(path); }

    QString contents(const QString &path) const
    {
        QFile file(installed(path));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The value of a key of a desktop entry (not an INI file: ';' separates
    // list items there).
    QString desktopValue(const QString &entry, const QString &key) const
    {
        const QStringList lines = contents(QStringLiteral("share/applications/") + entry).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.startsWith(key + QLatin1Char('=')))
                return line.mid(key.size() + 1);
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        QProcess install;
        install.start(QStringLiteral(OKUKIPO_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(OKUKIPO_BUILD_DIR), QStringLiteral("--prefix"),
                       prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    void programSitsWithItsFiles()
    {
        const QFileInfo link(installed(QStringLiteral("bin/okukipo")));
        QVERIFY(link.isSymLink());
        const QFileInfo program(link.canonicalFilePath());
        QCOMPARE(program.absoluteFilePath(), QFileInfo(installed(QStringLiteral("lib/okukipo/okukipo"))).canonicalFilePath());
        QVERIFY(program.isExecutable());
        const QDir programDir = program.absoluteDir();
        QVERIFY(programDir.exists(QStringLiteral("http_server.ini")));
        QVERIFY(programDir.exists(QStringLiteral("docroot/KIPO.html")));
        QVERIFY(programDir.exists(QStringLiteral("KIPO/firmware")));
        QVERIFY(programDir.exists(QStringLiteral("KIPO/temp")));
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/okukipo-cli"))).isExecutable());
    }

    void udevRuleGivesTheSeatUserBothModes()
    {
        const QString rules = contents(QStringLiteral("lib/udev/rules.d/70-okukipo.rules"));
        for (const QString &subsystem : {QStringLiteral("usb"), QStringLiteral("hidraw")}) {
            for (const QString &product : {QStringLiteral("0004"), QStringLiteral("0003")}) {
                const QRegularExpression rule(QStringLiteral("^SUBSYSTEM==\"%1\", ATTRS?\\{idVendor\\}==\"03db\", "
                                                             "ATTRS?\\{idProduct\\}==\"%2\", TAG\\+=\"uaccess\"$")
                                                  .arg(subsystem, product),
                                              QRegularExpression::MultilineOption);
                QVERIFY2(rule.match(rules).hasMatch(), qPrintable(subsystem + QLatin1Char(' ') + product));
            }
        }
    }

    void flightFilesOpenWithTheFlightOption()
    {
        const QString menuEntry = QStringLiteral("okukipo.desktop");
        QCOMPARE(desktopValue(menuEntry, QStringLiteral("Exec")), QStringLiteral("okukipo"));
        QCOMPARE(desktopValue(menuEntry, QStringLiteral("Icon")), QStringLiteral("okukipo"));

        const QString fileEntry = QStringLiteral("okukipo-flight.desktop");
        QCOMPARE(desktopValue(fileEntry, QStringLiteral("Exec")), QStringLiteral("okukipo --flight %f"));
        QCOMPARE(desktopValue(fileEntry, QStringLiteral("MimeType")), QStringLiteral("application/x-okukipo-flight;"));

        const QString mime = contents(QStringLiteral("share/mime/packages/okukipo.xml"));
        QVERIFY(mime.contains(QStringLiteral("<mime-type type=\"application/x-okukipo-flight\">")));
        QVERIFY(mime.contains(QStringLiteral("<glob pattern=\"*.kipo\"/>")));
        QVERIFY(QFile::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/okukipo.svg"))));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
