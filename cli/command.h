#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// One okukipo-cli command.  Each command's file registers itself with a
// static CliCommand object, so main() needs no list of them.
struct CliCommand {
    using Run = std::function<int(const QStringList &arguments)>;

    // name: the first word on the command line; usage: the rest of its synopsis.
    CliCommand(const char *name, const char *usage, Run run);

    QString name;
    QString usage;
    Run run;
};

// Writes "okukipo-cli: <message>" to standard error and returns exit status 1.
int cliFailure(const QString &message);

// Writes the result to standard output (nothing else goes there).
void cliPrint(const QByteArray &result);

// --demo anywhere on the command line selects the virtual flight computer.
bool cliDemoRequested();
