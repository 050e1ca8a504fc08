// Flash images come from the device or from a file the user names: the
// parser must survive any bytes.
#include "model/flashparser.h"
#include "model/trace.h"

#include <cstddef>
#include <cstdint>

namespace {

// A marker and a settings record whose checksum holds, so that random bytes
// after it reach the event decoding instead of failing the checksum.
QByteArray validFlightStart()
{
    OKUKIPOSettings settings;
    settings.updateChecksum();
    return QByteArray(1, '\x13') + settings.deviceBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray flightStart = [] {
        okukipo::setTraceHandler([](const QString &) {});
        return validFlightStart();
    }();
    if (size > 1 << 20)
        return 0;
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    for (const QByteArray &image : {input, flightStart + input}) {
        for (const auto &flight : parseFlights(image)) {
            float previous = 0.0f;
            for (const OKUEvent *event : flight->events) {
                // Times only grow inside a flight.
                if (event->time < previous)
                    __builtin_trap();
                previous = event->time;
            }
        }
    }
    return 0;
}
