#include "cli/command.h"
#include "model/flight.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QMap>
#include <cstdio>

namespace {

QMap<QString, CliCommand *> &registry()
{
    static QMap<QString, CliCommand *> commands;
    return commands;
}

struct GlobalOptions {
    bool demo = false;
    bool verbose = false;
    bool strict = false;
};

GlobalOptions &globalOptions()
{
    static GlobalOptions options;
    return options;
}

// Removes every occurrence of the flag's spellings; true if there was one.
bool takeFlag(QStringList &arguments, const QStringList &spellings)
{
    bool found = false;
    for (const QString &spelling : spellings)
        found = arguments.removeAll(spelling) > 0 || found;
    return found;
}

const char *const exitStatusHelp = "exit status:\n"
                                   "  0  success; a flight file read only partly gives a warning\n"
                                   "  1  failure: bad usage, a file that cannot be read or written or that is\n"
                                   "     no flight file, a device that is missing or fails\n"
                                   "  3  with --strict: a flight file could be read only partly\n";

// "NAME USAGE", as the command is written.
QString synopsis(const CliCommand &command)
{
    return command.usage.isEmpty() ? command.name : command.name + QLatin1Char(' ') + command.usage;
}

QString toolHelp()
{
    QString text = QStringLiteral("usage: okukipo-cli [--verbose] [--strict] [--demo] COMMAND ...\n"
                                  "Reads, analyses and converts OKU KIPO flight files and works the flight\n"
                                  "computer without a window.  The result goes to standard output, warnings and\n"
                                  "errors to standard error.\n\ncommands:\n");
    for (const CliCommand *command : registry())
        text += QStringLiteral("  ") + synopsis(*command) + QLatin1Char('\n');
    text += QStringLiteral("\noptions:\n"
                           "  -h, --help     this help; after a command, the command's help\n"
                           "  -v, --verbose  also write the trace lines to standard error\n"
                           "  --strict       a flight file read only partly is an error: nothing is\n"
                           "                 printed or written\n"
                           "  --demo         use the virtual flight computer instead of a connected one\n\n");
    return text + QLatin1String(exitStatusHelp);
}

QString commandHelp(const CliCommand &command)
{
    QString text = QStringLiteral("usage: okukipo-cli ") + synopsis(command) + QLatin1Char('\n');
    if (!command.help.isEmpty())
        text += QLatin1Char('\n') + command.help + QLatin1Char('\n');
    return text + QStringLiteral("\nThe options of okukipo-cli --help apply too.\n\n") + QLatin1String(exitStatusHelp);
}

} // namespace

CliCommand::CliCommand(const char *name, const char *usage, const char *help, Run run)
    : name(QString::fromLatin1(name))
    , usage(QString::fromLatin1(usage))
    , help(QString::fromUtf8(help).trimmed())
    , run(std::move(run))
{
    registry().insert(this->name, this);
}

CliCommand::CliCommand(const char *name, const char *usage, Run run)
    : CliCommand(name, usage, "", std::move(run))
{
}

int cliFailure(const QString &message)
{
    cliWarning(message);
    return CliFailed;
}

void cliWarning(const QString &message)
{
    std::fprintf(stderr, "okukipo-cli: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void cliPrint(const QByteArray &result)
{
    std::fwrite(result.constData(), 1, size_t(result.size()), stdout);
    if (!result.endsWith('\n'))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool cliDemoRequested()
{
    return globalOptions().demo;
}

bool cliVerbose()
{
    return globalOptions().verbose;
}

int cliLoadFlight(OKUKIPOFlight &flight, const QString &path)
{
    flight.load(path);
    switch (flight.loadOutcome()) {
    case OKUKIPOFlight::LoadOutcome::Complete:
        return CliSuccess;
    case OKUKIPOFlight::LoadOutcome::Partial:
        if (globalOptions().strict) {
            cliWarning(QStringLiteral("%1 could be read only partly: %2").arg(path, flight.loadError()));
            return CliPartialFlight;
        }
        cliWarning(QStringLiteral("warning: %1 could be read only partly: %2").arg(path, flight.loadError()));
        return CliSuccess;
    case OKUKIPOFlight::LoadOutcome::NotAFlightFile:
        return cliFailure(QStringLiteral("%1 is not a flight file: %2").arg(path, flight.loadError()));
    case OKUKIPOFlight::LoadOutcome::Unreadable:
        break;
    }
    return cliFailure(QStringLiteral("cannot read %1: %2").arg(path, flight.loadError()));
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    GlobalOptions &options = globalOptions();
    options.demo = takeFlag(arguments, {QStringLiteral("--demo")});
    options.verbose = takeFlag(arguments, {QStringLiteral("--verbose"), QStringLiteral("-v")});
    options.strict = takeFlag(arguments, {QStringLiteral("--strict")});
    bool help = takeFlag(arguments, {QStringLiteral("--help"), QStringLiteral("-h")});
    if (arguments.value(0) == QLatin1String("help")) {
        arguments.removeFirst();
        help = true;
    }
    // Standard output carries only the command's result.
    okukipo::setTraceTarget(options.verbose ? okukipo::TraceTarget::StandardError : okukipo::TraceTarget::Discard);

    if (arguments.isEmpty()) {
        if (help) {
            cliPrint(toolHelp().toLocal8Bit());
            return CliSuccess;
        }
        std::fputs(toolHelp().toLocal8Bit().constData(), stderr);
        return CliFailed;
    }
    const CliCommand *command = registry().value(arguments.first());
    if (!command)
        return cliFailure(QStringLiteral("unknown command '%1' (see okukipo-cli --help)").arg(arguments.first()));
    if (help) {
        cliPrint(commandHelp(*command).toLocal8Bit());
        return CliSuccess;
    }
    return command->run(arguments.mid(1));
}
