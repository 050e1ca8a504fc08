#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class OKUKIPOFlight;

// Exit statuses of okukipo-cli, listed in its --help and man page.
enum CliStatus {
    CliSuccess = 0,
    CliFailed = 1,        // bad usage, no such file, no flight file, a device error
    CliPartialFlight = 3, // with --strict: a flight file could be read only partly
};

// One okukipo-cli command.  Each command's file registers itself with a
// static CliCommand object, so main() needs no list of them.
struct CliCommand {
    using Run = std::function<int(const QStringList &arguments)>;

    // name: the first word on the command line; usage: the rest of its
    // synopsis; help: what it does, its options and arguments, for
    // `okukipo-cli COMMAND --help` (lines of at most 80 characters).
    CliCommand(const char *name, const char *usage, const char *help, Run run);
    CliCommand(const char *name, const char *usage, Run run);

    QString name;
    QString usage;
    QString help;
    Run run;
};

// Writes "okukipo-cli: <message>" to standard error and returns exit status 1.
int cliFailure(const QString &message);

// Writes "okukipo-cli: <message>" to standard error; the command goes on.
void cliWarning(const QString &message);

// Writes the result to standard output (nothing else goes there).
void cliPrint(const QByteArray &result);

// Options that may stand anywhere on the command line:
// --demo selects the virtual flight computer,
bool cliDemoRequested();
// --verbose (-v) writes the trace lines to standard error.
bool cliVerbose();

// Reads a flight file for a command.  Returns 0 when the command may go on
// (a partly read file has been warned about), else the exit status to end
// with, its reason reported: 1 for a file that cannot be read or is no
// flight file, 3 for a partly read file under --strict.
int cliLoadFlight(OKUKIPOFlight &flight, const QString &path);
