#include "app/startupoptions.h"

#include <QCommandLineParser>

StartupOptions::StartupOptions()
    : flight(QStringLiteral("flight"), QStringLiteral("Flight file to load"), QStringLiteral("file"))
    , demo(QStringLiteral("demo"), QStringLiteral("Connect the built-in virtual flight computer instead of USB hardware"))
{
}

void StartupOptions::addTo(QCommandLineParser &parser) const
{
    // "-flight" is one option, not the six letters f, l, i, g, h, t.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(flight);
    parser.addOption(demo);
}
