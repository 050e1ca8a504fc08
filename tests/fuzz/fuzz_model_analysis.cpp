// Analyses whatever a flight file holds.  Time stamps are brought into a
// span of ten minutes first: the scans run over the flight's span, and a
// damaged file's hours of it would only slow the fuzzer down.
#include "fuzzedflight.h"

#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    OKUKIPOFlight flight;
    readFuzzedFlight(flight, data, size);
    for (OKUEvent *event : flight.events) {
        if (!(std::fabs(event->time) <= 300.0f))
            event->time = 0.0f;
    }
    std::stable_sort(flight.events.begin(), flight.events.end(),
                     [](const OKUEvent *a, const OKUEvent *b) { return a->time < b->time; });
    flight.processFlight();
    // Everything the flight window asks after the analysis.
    static_cast<void>(flight.landingTime());
    static_cast<void>(flight.groundLevel());
    static_cast<void>(flight.maxVerticalAcceleration());
    static_cast<void>(flight.maxRollX());
    static_cast<void>(flight.maxRollY());
    static_cast<void>(flight.maxRollZ());
    static_cast<void>(flight.maxLateralAcceleration());
    static_cast<void>(flight.flightDateEvent());
    static_cast<void>(flight.firstValidGPS());
    return 0;
}
