#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// One run of okukipo-cli (OKUKIPO_CLI_PATH) with what it wrote.
struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline Run runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(OKUKIPO_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
