#include "cli/command.h"
#include "model/eventfields.h"
#include "model/flight.h"

#include <QCommandLineParser>
#include <functional>

namespace {

QByteArray number(float value)
{
    return jsonValue(QVariant(value));
}

QByteArray pair(float time, float value)
{
    return '[' + number(time) + ", " + number(value) + ']';
}

QByteArray seriesJson(const Series &series)
{
    QByteArray json = "[";
    for (std::size_t i = 0; i < series.size(); ++i)
        json += (i ? ", " : "") + pair(series[i].time, series[i].value);
    return json + ']';
}

QByteArray analysisJson(const OKUKIPOFlight &flight, bool withSeries)
{
    const auto statistic = [](const OKUKIPOFlight::Statistic &s) { return pair(s.first, s.second); };
    QByteArray json = "{\"endTime\": " + number(flight.endTime());
    json += ", \"landingTime\": " + number(flight.landingTime());
    json += ", \"groundLevel\": " + number(flight.groundLevel());
    json += ", \"peakVelocityTime\": " + number(flight.peakVelocityTime());
    json += ", \"apogeeTime\": " + number(flight.apogeeTime());
    json += ", \"launchTime\": " + number(flight.launchTime());
    json += ", \"isFlight\": " + jsonValue(flight.isFlight());
    json += ", \"accelInverted\": " + jsonValue(flight.accelInverted);
    json += ", \"maxVerticalAcceleration\": " + statistic(flight.maxVerticalAcceleration());
    json += ", \"maxRollX\": " + statistic(flight.maxRollX());
    json += ", \"maxRollY\": " + statistic(flight.maxRollY());
    json += ", \"maxRollZ\": " + statistic(flight.maxRollZ());
    json += ", \"maxLateralAcceleration\": " + statistic(flight.maxLateralAcceleration());
    if (withSeries) {
        json += ",\n\"kalmanAltitude\": " + seriesJson(flight.kalmanAltitude);
        json += ",\n\"kalmanVelocity\": " + seriesJson(flight.kalmanVelocity);
    }
    return json + '}';
}

// Parses the command's own options; false (with the failure reported) when they do not fit.
bool parseOptions(QCommandLineParser &parser, const char *command, const QStringList &arguments, int *status)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList(QString::fromLatin1(command)) + arguments)) {
        *status = cliFailure(parser.errorText());
        return false;
    }
    return true;
}

const CliCommand analyzeCommand("analyze", "FLIGHT.kipo [--series]",
                                "Prints the flight's analysis as one JSON object: endTime, landingTime,\n"
                                "groundLevel, peakVelocityTime, apogeeTime, launchTime (seconds), isFlight,\n"
                                "accelInverted and the [time, value] pairs maxVerticalAcceleration, maxRollX,\n"
                                "maxRollY, maxRollZ and maxLateralAcceleration.\n\n"
                                "  --series  also print kalmanAltitude and kalmanVelocity, lists of [time, value]",
                                [](const QStringList &arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("series"), QStringLiteral("Also print the filtered altitude and velocity.")});
    int status = 0;
    if (!parseOptions(parser, "analyze", arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cliFailure(QStringLiteral("usage: okukipo-cli analyze FLIGHT.kipo [--series]"));
    const QString path = parser.positionalArguments().at(0);
    OKUKIPOFlight flight;
    if (const int status = cliLoadFlight(flight, path))
        return status;
    cliPrint(analysisJson(flight, parser.isSet(QStringLiteral("series"))));
    return 0;
});

// A mass option: a number in the range the flight window's dialogs accept.
bool massOption(const QCommandLineParser &parser, const QString &name, double *mass)
{
    bool ok = false;
    *mass = parser.value(name).toDouble(&ok);
    return ok && *mass >= 0.001 && *mass <= 100000.0;
}

const CliCommand exportCommand(
    "export", "csv|kml|emulation|thrust FLIGHT.kipo OUT [--total-mass KG --propellant-mass KG]",
    "Writes the flight to OUT as the flight window's exports do: csv the workbook,\n"
    "kml the GPS track, emulation the input of an on-device emulation, thrust the\n"
    "thrust sheet.  Nothing is written from an input that is no flight file.\n\n"
    "  --total-mass KG       the rocket's mass with propellant (thrust only)\n"
    "  --propellant-mass KG  the propellant's mass (thrust only)",
    [](const QStringList &arguments) {
        const QString usage = QStringLiteral("usage: okukipo-cli export csv|kml|emulation|thrust FLIGHT.kipo OUT "
                                             "[--total-mass KG --propellant-mass KG]");
        QCommandLineParser parser;
        const QString totalMassOption = QStringLiteral("total-mass");
        const QString propellantMassOption = QStringLiteral("propellant-mass");
        parser.addOption({totalMassOption, QStringLiteral("Total rocket mass with propellant."), QStringLiteral("KG")});
        parser.addOption({propellantMassOption, QStringLiteral("Propellant mass."), QStringLiteral("KG")});
        int status = 0;
        if (!parseOptions(parser, "export", arguments, &status))
            return status;
        const QStringList positional = parser.positionalArguments();
        if (positional.size() != 3)
            return cliFailure(usage);
        const QString &kind = positional.at(0);
        const QString &flightPath = positional.at(1);
        const QString &outPath = positional.at(2);

        std::function<bool(const OKUKIPOFlight &)> write;
        if (kind == QLatin1String("csv")) {
            write = [&](const OKUKIPOFlight &flight) { return flight.exportCSV(outPath); };
        } else if (kind == QLatin1String("kml")) {
            write = [&](const OKUKIPOFlight &flight) { return flight.exportKML(outPath); };
        } else if (kind == QLatin1String("emulation")) {
            write = [&](const OKUKIPOFlight &flight) { return flight.exportEmulationData(outPath); };
        } else if (kind == QLatin1String("thrust")) {
            double totalMass = 0.0;
            double propellantMass = 0.0;
            if (!parser.isSet(totalMassOption) || !parser.isSet(propellantMassOption))
                return cliFailure(QStringLiteral("thrust data needs --total-mass and --propellant-mass"));
            if (!massOption(parser, totalMassOption, &totalMass) || !massOption(parser, propellantMassOption, &propellantMass))
                return cliFailure(QStringLiteral("masses must be numbers of kilograms from 0.001 to 100000"));
            if (propellantMass >= totalMass)
                return cliFailure(QStringLiteral("the propellant mass must be less than the total mass"));
            write = [=](const OKUKIPOFlight &flight) { return flight.exportThrustData(outPath, totalMass, propellantMass); };
        } else {
            return cliFailure(usage);
        }

        OKUKIPOFlight flight;
        if (const int status = cliLoadFlight(flight, flightPath))
            return status;
        if (!write(flight))
            return cliFailure(QStringLiteral("could not export to %1").arg(outPath));
        return 0;
    });

} // namespace
