#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>

// One run of the built okukipo-cli (OKUKIPO_CLI_PATH comes from the build).
struct CliRun {
    int exitCode = -1; // -1 when it crashed or did not finish
    QByteArray standardOutput;
    QByteArray standardError;
};

inline CliRun runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(OKUKIPO_CLI_PATH), arguments);
    CliRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

// Writes a test input; its path.
inline QString writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}
