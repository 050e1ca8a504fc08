#include "cli/command.h"
#include "cli/settingsjson.h"
#include "model/eventfields.h"
#include "model/flight.h"

namespace {

QByteArray eventJson(const OKUEvent &event)
{
    const EventDescription description = describeEvent(event);
    QByteArray json = "{\"class\": " + jsonString(QString::fromLatin1(description.className));
    for (const EventField &field : description.fields)
        json += ", " + jsonString(QString::fromLatin1(field.name)) + ": " + jsonValue(field.value);
    return json + '}';
}

// Printed in pieces: a full flight's JSON is about 100 MB.
void printFlightJson(const OKUKIPOFlight &flight)
{
    QByteArray json = "{\"value16\": " + QByteArray::number(flight.value16);
    json += ", \"notes\": " + jsonString(QString::fromStdString(flight.notes));
    json += ", \"accelInverted\": " + jsonValue(flight.accelInverted);
    json += ", \"settings\": " + settingsJson(flight.settings);
    json += ", \"events\": [\n";
    for (size_t i = 0; i < flight.events.size(); ++i) {
        json += eventJson(*flight.events[i]) + (i + 1 < flight.events.size() ? ",\n" : "\n");
        if (json.size() > (1 << 16)) {
            cliPrint(json);
            json.clear();
        }
    }
    cliPrint(json + "]}");
}

const CliCommand dumpCommand("dump", "FLIGHT.kipo",
                             "Prints the flight as one JSON object: value16, notes, accelInverted, the\n"
                             "settings record (\"valid\" and the device bytes in hex) and the events in\n"
                             "time order, each with its class and fields.",
                             [](const QStringList &arguments) {
    if (arguments.size() != 1)
        return cliFailure(QStringLiteral("usage: okukipo-cli dump FLIGHT.kipo"));
    OKUKIPOFlight flight;
    if (const int status = cliLoadFlight(flight, arguments.at(0)))
        return status;
    printFlightJson(flight);
    return 0;
});

const CliCommand resaveCommand("resave", "IN.kipo OUT.kipo",
                               "Writes the flight of IN.kipo to OUT.kipo in the current file version.  OUT.kipo\n"
                               "is replaced only when the whole file could be written, and never from an input\n"
                               "that is no flight file.",
                               [](const QStringList &arguments) {
    if (arguments.size() != 2)
        return cliFailure(QStringLiteral("usage: okukipo-cli resave IN.kipo OUT.kipo"));
    OKUKIPOFlight flight;
    if (const int status = cliLoadFlight(flight, arguments.at(0)))
        return status;
    if (!flight.save(arguments.at(1)))
        return cliFailure(QStringLiteral("cannot write %1").arg(arguments.at(1)));
    return 0;
});

} // namespace
