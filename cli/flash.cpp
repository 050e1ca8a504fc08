#include "cli/flash.h"

#include "cli/command.h"
#include "model/flashparser.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

namespace {

// Larger than any flight memory; a bigger file is not a flash image.
constexpr qint64 LargestImage = 64 * 1024 * 1024;

int parseFlash(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Directory for the flight files."),
                                       QStringLiteral("DIR"));
    parser.addOption(outOption);
    parser.addPositionalArgument(QStringLiteral("IMAGE.bin"), QStringLiteral("Flash image downloaded from the device."));
    if (!parser.parse(QStringList(QStringLiteral("parse-flash")) + arguments))
        return cliFailure(parser.errorText());
    if (parser.positionalArguments().size() != 1 || !parser.isSet(outOption))
        return cliFailure(QStringLiteral("usage: okukipo-cli parse-flash IMAGE.bin --out DIR"));

    const QString imagePath = parser.positionalArguments().first();
    QFile image(imagePath);
    if (!image.open(QIODevice::ReadOnly))
        return cliFailure(QStringLiteral("cannot read %1: %2").arg(imagePath, image.errorString()));
    if (image.size() > LargestImage)
        return cliFailure(QStringLiteral("%1 is too large for a flash image").arg(imagePath));
    const QByteArray flash = image.readAll();
    if (image.error() != QFileDevice::NoError)
        return cliFailure(QStringLiteral("cannot read %1: %2").arg(imagePath, image.errorString()));
    return saveFlightsAndPrintList(parseFlights(flash), parser.value(outOption));
}

const CliCommand parseFlashCommand("parse-flash", "IMAGE.bin --out DIR",
                                   "Cuts a flash image, as read from the device, into its flights and saves them\n"
                                   "as DIR/flight-1.kipo, DIR/flight-2.kipo, ... in memory order; prints the JSON\n"
                                   "list [{\"file\", \"events\", \"settingsValid\"}, ...].\n\n"
                                   "  --out DIR  the folder for the flight files (made when missing)",
                                   parseFlash);

} // namespace

int saveFlightsAndPrintList(const std::vector<std::shared_ptr<OKUKIPOFlight>> &flights, const QString &directory)
{
    const QDir target(directory);
    if (!target.mkpath(QStringLiteral(".")))
        return cliFailure(QStringLiteral("cannot create directory %1").arg(directory));
    QStringList entries;
    for (size_t index = 0; index < flights.size(); ++index) {
        const QString name = QStringLiteral("flight-%1.kipo").arg(index + 1);
        const std::shared_ptr<OKUKIPOFlight> &flight = flights[index];
        if (!flight->save(target.filePath(name)))
            return cliFailure(QStringLiteral("cannot write %1").arg(target.filePath(name)));
        entries.append(QStringLiteral("{\"file\": \"%1\", \"events\": %2, \"settingsValid\": %3}")
                           .arg(name)
                           .arg(flight->events.size())
                           .arg(flight->settings.valid ? QStringLiteral("true") : QStringLiteral("false")));
    }
    cliPrint(QStringLiteral("[%1]").arg(entries.join(QStringLiteral(", "))).toUtf8());
    return 0;
}
