#include "model/flashparser.h"

#include "model/trace.h"

namespace {

constexpr quint8 FlightMarker = 0x13;
constexpr quint8 EndOfEvents = 0x00;
constexpr quint8 ErasedByte = 0xFF;
constexpr quint8 TimeStepBit = 0x80;

using okukipo::trace;

// The settings record after a marker, if it is complete and its checksum holds.
bool readSettings(const QByteArray &flash, int position, OKUKIPOSettings &settings)
{
    if (flash.size() - position < OKUKIPOSettings::deviceSize)
        return false;
    const char *record = flash.constData() + position;
    settings = OKUKIPOSettings::fromDeviceBytes(QByteArray::fromRawData(record, OKUKIPOSettings::deviceSize));
    const quint16 calculated = settings.computeChecksum();
    trace(QStringLiteral("Calculated checksum: \t%1").arg(calculated));
    trace(QStringLiteral("Retrieved checksum: \t%1").arg(settings.checksum));
    if (calculated != settings.checksum)
        return false;
    trace(QStringLiteral("data: "));
    for (int i = 0; i < 10; ++i)
        trace(QString::number(quint8(record[i])));
    settings.valid = true;
    for (int line = 0; line < 4; ++line)
        trace(QStringLiteral("LINE %1: %2").arg(QChar('A' + line)).arg(settings.lineMode[line]));
    return true;
}

// Decodes events from position on; returns the position where the flight ends.
int readEvents(const QByteArray &flash, int position, OKUKIPOFlight &flight)
{
    const int size = flash.size();
    const char *bytes = flash.constData();
    float clock = 0.0f; // seconds since the marker
    while (position < size) {
        const quint8 code = quint8(bytes[position]);
        if (code == ErasedByte || code == EndOfEvents || code == FlightMarker)
            break;
        if (code & TimeStepBit) {
            clock += float(code & ~TimeStepBit) * 0.001f;
            ++position;
            continue;
        }
        const int payload = flashPayloadLength(code);
        if (payload < 0 || payload >= size - position)
            break; // unknown code, or a record cut off by the end of the image
        std::unique_ptr<OKUEvent> event(decodeFlashRecord(bytes + position, 1 + payload));
        position += 1 + payload;
        if (!event)
            break;
        event->time = clock;
        flight.events.push_back(event.release());
    }
    return position;
}

} // namespace

std::vector<std::shared_ptr<OKUKIPOFlight>> parseFlights(const QByteArray &flash)
{
    std::vector<std::shared_ptr<OKUKIPOFlight>> flights;
    int position = 0;
    while (position < flash.size()) {
        if (quint8(flash.at(position++)) != FlightMarker)
            continue;
        trace(QStringLiteral("flight marker found."));
        auto flight = std::make_shared<OKUKIPOFlight>();
        if (flash.size() - position < OKUKIPOSettings::deviceSize)
            break;
        if (!readSettings(flash, position, flight->settings))
            continue; // a marker byte inside other data: keep scanning after it
        position = readEvents(flash, position + OKUKIPOSettings::deviceSize, *flight);
        if (!flight->events.empty()) {
            delete flight->events.back();
            flight->events.pop_back();
        }
        flights.push_back(std::move(flight));
    }
    return flights;
}
