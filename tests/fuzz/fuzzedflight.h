#pragma once

#include "model/flight.h"
#include "model/trace.h"

#include <cstddef>
#include <cstdint>

// Reads the fuzzer's input as a flight file, trace lines dropped.  The
// fuzzer's own buffer, not a copy: a copy's terminating zero would hide a
// read one byte past the end from the sanitizer.
inline void readFuzzedFlight(OKUKIPOFlight &flight, const uint8_t *data, size_t size)
{
    static const bool silenced = [] {
        okukipo::setTraceHandler([](const QString &) {});
        return true;
    }();
    (void)silenced;
    flight.readFromBytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
}
