// Loads arbitrary bytes as a flight file: whatever the bytes, loading must
// neither crash, hang, leak nor allocate beyond what the input holds.
#include "model/flight.h"
#include "model/trace.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = [] {
        okukipo::setTraceHandler([](const QString &) {});
        return true;
    }();
    (void)silenced;
    OKUKIPOFlight flight;
    flight.loadFromBytes(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
