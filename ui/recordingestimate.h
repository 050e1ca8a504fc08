#pragma once

#include "device/okukipodevice.h"

#include <QString>
#include <array>

// What the flight computer records to its flash memory, and for how long the
// memory lasts at the chosen write rates.

// One recorded event type, in the order of the settings record's tables.
struct RecordedType
{
    const char *key;   // as in the editor's widget names, e.g. "ACCELZ"
    const char *label; // what the user reads
    int basePeriodMs;  // write period of a divider of 1
    int payloadBytes;  // bytes of one record without its framing
};

constexpr int recordedTypeCount = 16;
using RecordedTypes = std::array<RecordedType, recordedTypeCount>;
using WriteRateDividers = std::array<int, recordedTypeCount>;

const RecordedTypes &recordedTypes();

constexpr double flashCapacityBytes = OKUFlashMemorySize;

// Seconds of recording the flash holds when every type is written every
// divider x base period x writeMultiple; 0 when nothing is written (a
// multiple of 0 switches recording off in that flight phase).  A type
// without a usable divider is not counted.
double recordingSeconds(const WriteRateDividers &dividers, int writeMultiple);

// "Unlimited" for 0 seconds, otherwise hours with one decimal, e.g. "4.0 hours".
QString recordingTimeText(double seconds);
