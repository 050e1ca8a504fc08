// Reads arbitrary bytes as a flight file: whatever the bytes, reading must
// neither crash, hang, leak nor allocate beyond what the input holds.  The
// analysis of what was read has its own target (fuzz_model_analysis).
#include "fuzzedflight.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    OKUKIPOFlight flight;
    readFuzzedFlight(flight, data, size);
    return 0;
}
