#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What `cmake --install` (and so the package) puts in place: the program
// with the files it looks for in its own directory, the device rule and the
// bash completion.
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

private slots:
    void initTestCase()
    {
        QProcess install;
        install.start(QStringLiteral(OKUKIPO_CMAKE_COMMAND), {"--install", OKUKIPO_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    void programSitsWithItsFiles()
    {
        const QFileInfo program(QFileInfo(installed("bin/okukipo")).canonicalFilePath());
        QCOMPARE(program.absoluteFilePath(), QFileInfo(installed("lib/okukipo/okukipo")).canonicalFilePath());
        QVERIFY(program.isExecutable() && QFileInfo(installed("bin/okukipo-cli")).isExecutable());
        for (const char *file : {"http_server.ini", "docroot/KIPO.html", "KIPO/firmware", "KIPO/temp"})
            QVERIFY2(program.absoluteDir().exists(file), file);
    }

    // Without the rule only root reaches the device, in either of its two modes.
    void udevRuleGivesTheSeatUserBothModes()
    {
        const QString rules = contents("lib/udev/rules.d/70-okukipo.rules");
        for (const QString &subsystem : {"usb", "hidraw"})
            for (const QString &product : {"0004", "0003"}) {
                const QString rule = "^SUBSYSTEM==\"%1\", ATTRS?\\{idVendor\\}==\"03db\", ATTRS?\\{idProduct\\}==\"%2\", TAG\\+=\"uaccess\"$";
                QVERIFY2(QRegularExpression(rule.arg(subsystem, product), QRegularExpression::MultilineOption).match(rules).hasMatch(),
                         qPrintable(subsystem + ' ' + product));
            }
    }

    // bash-completion loads a command's completion from a file of the command's name.
    void completionKnowsEveryCommand()
    {
        const QString completion = contents("share/bash-completion/completions/okukipo-cli");
        QVERIFY(completion.contains("complete -F _okukipo_cli okukipo-cli"));
        QProcess cli;
        cli.start(installed("bin/okukipo-cli"), {"--help"});
        QVERIFY(cli.waitForFinished(10000));
        const QString commands = QString::fromLocal8Bit(cli.readAllStandardOutput()).section("\ncommands:\n", 1).section("\n\n", 0, 0);
        const QStringList completed = QRegularExpression("\\n        \"\"\\)\\n.*-W \"([^\"]+)\"").match(completion).captured(1).split(' ');
        QVERIFY(!commands.isEmpty());
        for (const QString &line : commands.split('\n'))
            QVERIFY2(completed.contains(line.simplified().section(' ', 0, 0)), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
