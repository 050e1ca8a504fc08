#include "cli/command.h"
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

bool &demoFlag()
{
    static bool demo = false;
    return demo;
}

int usage()
{
    QString text = QStringLiteral("usage: okukipo-cli [--demo] COMMAND ...\ncommands:\n");
    for (const CliCommand *command : registry())
        text += QStringLiteral("  ") + command->name + QLatin1Char(' ') + command->usage + QLatin1Char('\n');
    std::fputs(text.toLocal8Bit().constData(), stderr);
    return 1;
}

} // namespace

CliCommand::CliCommand(const char *name, const char *usage, Run run)
    : name(QString::fromLatin1(name))
    , usage(QString::fromLatin1(usage))
    , run(std::move(run))
{
    registry().insert(this->name, this);
}

int cliFailure(const QString &message)
{
    std::fprintf(stderr, "okukipo-cli: %s\n", message.toLocal8Bit().constData());
    return 1;
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
    return demoFlag();
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // Standard output carries only the command's result.
    okukipo::setTraceTarget(okukipo::TraceTarget::StandardError);

    QStringList arguments = QCoreApplication::arguments().mid(1);
    demoFlag() = arguments.removeAll(QStringLiteral("--demo")) > 0;
    if (arguments.isEmpty() || !registry().contains(arguments.first()))
        return usage();
    const CliCommand *command = registry().value(arguments.takeFirst());
    return command->run(arguments);
}
