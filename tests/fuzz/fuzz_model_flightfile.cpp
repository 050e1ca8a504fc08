// Reads arbitrary bytes as a flight file: whatever the bytes, reading must
// neither crash, hang, leak nor allocate beyond what the input holds.  The
// analysis of what was read has its own target (fuzz_model_analysis).
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
    // The fuzzer's own buffer, not a copy: a copy's terminating zero would
    // hide a read one byte past the end from the sanitizer.
    flight.readFromBytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
