#include "cli/command.h"
#include "model/tilerange.h"
#include "webserver/tileareasaver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>
#include <optional>

namespace {

const char Usage[] = "usage: okukipo-cli tiles save --lat LAT --lon LON --radius-km R --max-zoom Z";

// The program's "settings.ini" in the user's configuration folder.
tiles::TileSettings programTileSettings()
{
    const QString path = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                             .filePath(QStringLiteral("okukipo/settings.ini"));
    return tiles::settingsFrom(QSettings(path, QSettings::IniFormat));
}

// A number option within [low, high], or a message naming what is wrong.
std::optional<double> numberOption(const QCommandLineParser &parser, const QString &name, double low, double high,
                                   QString *error)
{
    bool valid = false;
    const double value = parser.value(name).toDouble(&valid);
    if (!parser.isSet(name))
        *error = QStringLiteral("--%1 is missing; %2").arg(name, QLatin1String(Usage));
    else if (!valid || value < low || value > high)
        *error = QStringLiteral("--%1 must be a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
    else
        return value;
    return std::nullopt;
}

int saveArea(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QStringList names{ QStringLiteral("lat"), QStringLiteral("lon"), QStringLiteral("radius-km"),
                             QStringLiteral("max-zoom") };
    for (const QString &name : names)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    if (!parser.parse(QStringList{ QStringLiteral("okukipo-cli") } + arguments))
        return cliFailure(parser.errorText() + QStringLiteral("; ") + QLatin1String(Usage));
    if (!parser.positionalArguments().isEmpty())
        return cliFailure(QStringLiteral("unexpected \"%1\"; %2").arg(parser.positionalArguments().first(), QLatin1String(Usage)));
    QString error;
    const auto latitude = numberOption(parser, names[0], -90, 90, &error);
    const auto longitude = numberOption(parser, names[1], -180, 180, &error);
    const auto radiusKm = numberOption(parser, names[2], 0, 1000, &error);
    const auto maxZoom = numberOption(parser, names[3], 0, tiles::MaxZoom, &error);
    if (!error.isEmpty())
        return cliFailure(error);
    if (*maxZoom != int(*maxZoom))
        return cliFailure(QStringLiteral("--max-zoom must be a whole number, not \"%1\"").arg(parser.value(names[3])));

    const tiles::SavePlan plan = tiles::planSave(tiles::boxAround(*latitude, *longitude, *radiusKm), int(*maxZoom));
    if (plan.cut())
        std::fprintf(stderr, "okukipo-cli: at most zoom level %d and %d tiles per save: saving zoom levels 0 to %d\n",
                     tiles::MaxSaveZoom, tiles::MaxSaveTiles, plan.maxZoom);
    TileAreaSaver saver(programTileSettings(), plan.tiles());
    int saved = 0;
    int failed = 0;
    QObject::connect(&saver, &TileAreaSaver::finished, [&](int savedTiles, int failedTiles, bool) {
        saved = savedTiles;
        failed = failedTiles;
        QCoreApplication::quit();
    });
    saver.start();
    QCoreApplication::exec();
    cliPrint(QStringLiteral("%1 tiles saved, %2 failed, zoom levels 0 to %3").arg(saved).arg(failed).arg(plan.maxZoom).toUtf8());
    return failed > 0 ? 1 : 0;
}

const CliCommand tilesCommand("tiles", "save --lat LAT --lon LON --radius-km R --max-zoom Z",
                              [](const QStringList &arguments) {
                                  if (arguments.value(0) != QLatin1String("save"))
                                      return cliFailure(QLatin1String(Usage));
                                  return saveArea(arguments.mid(1));
                              });

} // namespace
