#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What `cmake --install` (and so the package) puts in place: the program
// with the files it looks for in its own directory, the desktop integration,
// the manual pages and the bash completion.
class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir prefix;

    QString installed(const QString &path) const { return QDir(prefix.path()).filePath(path); }

    QString contents(const QString &path) const
    {
        QFile file(installed(path));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // A key's line of a desktop entry (';' separates list items there, so it is no INI file).
    bool hasLine(const QString &path, const QString &line) const
    {
        return contents(path).split(QLatin1Char('\n')).contains(line);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        QProcess install;
        install.start(QStringLiteral(OKUKIPO_CMAKE_COMMAND), {"--install", OKUKIPO_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    void programSitsWithItsFiles()
    {
        const QFileInfo link(installed("bin/okukipo"));
        QVERIFY(link.isSymLink());
        const QFileInfo program(link.canonicalFilePath());
        QCOMPARE(program.absoluteFilePath(), QFileInfo(installed("lib/okukipo/okukipo")).canonicalFilePath());
        QVERIFY(program.isExecutable());
        for (const char *file : {"http_server.ini", "docroot/KIPO.html", "KIPO/firmware", "KIPO/temp"})
            QVERIFY2(program.absoluteDir().exists(file), file);
        QVERIFY(QFileInfo(installed("bin/okukipo-cli")).isExecutable());
    }

    void udevRuleGivesTheSeatUserBothModes()
    {
        const QString rules = contents("lib/udev/rules.d/70-okukipo.rules");
        for (const QString &subsystem : {"usb", "hidraw"}) {
            for (const QString &product : {"0004", "0003"}) {
                const QRegularExpression rule(QStringLiteral("^SUBSYSTEM==\"%1\", ATTRS?\\{idVendor\\}==\"03db\", "
                                                             "ATTRS?\\{idProduct\\}==\"%2\", TAG\\+=\"uaccess\"$")
                                                  .arg(subsystem, product),
                                              QRegularExpression::MultilineOption);
                QVERIFY2(rule.match(rules).hasMatch(), qPrintable(subsystem + ' ' + product));
            }
        }
    }

    void flightFilesOpenWithTheFlightOption()
    {
        QVERIFY(hasLine("share/applications/okukipo.desktop", "Exec=okukipo"));
        QVERIFY(hasLine("share/applications/okukipo.desktop", "Icon=okukipo"));
        QVERIFY(hasLine("share/applications/okukipo-flight.desktop", "Exec=okukipo --flight %f"));
        QVERIFY(hasLine("share/applications/okukipo-flight.desktop", "MimeType=application/x-okukipo-flight;"));
        const QString mime = contents("share/mime/packages/okukipo.xml");
        QVERIFY(mime.contains("<mime-type type=\"application/x-okukipo-flight\">"));
        QVERIFY(mime.contains("<glob pattern=\"*.kipo\"/>"));
        QVERIFY(QFile::exists(installed("share/icons/hicolor/scalable/apps/okukipo.svg")));
    }

    void manualPagesAndCompletion()
    {
        QVERIFY(contents("share/man/man1/okukipo.1").startsWith(".TH OKUKIPO 1 "));
        QVERIFY(contents("share/man/man1/okukipo-cli.1").startsWith(".TH OKUKIPO-CLI 1 "));
        // bash-completion loads a command's completion from a file of the command's name.
        const QString completion = contents("share/bash-completion/completions/okukipo-cli");
        QVERIFY(completion.contains("complete -F _okukipo_cli okukipo-cli"));
        QProcess cli;
        cli.start(installed("bin/okukipo-cli"), {"--help"});
        QVERIFY(cli.waitForFinished(10000));
        const QString help = QString::fromLocal8Bit(cli.readAllStandardOutput());
        const QString commands = help.section("\ncommands:\n", 1).section("\n\n", 0, 0);
        const QRegularExpression completedCommands("\\n        \"\"\\)\\n.*-W \"([^\"]+)\"");
        const QStringList completed = completedCommands.match(completion).captured(1).split(' ');
        QVERIFY(!commands.isEmpty());
        for (const QString &line : commands.split('\n'))
            QVERIFY2(completed.contains(line.simplified().section(' ', 0, 0)), qPrintable(line));
        for (const char *option : {"--help", "--verbose", "--strict", "--demo", "--series", "--out", "--fast", "--total-mass"})
            QVERIFY2(completion.contains(option), option);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
