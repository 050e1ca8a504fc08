#pragma once

#include <QByteArray>
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
