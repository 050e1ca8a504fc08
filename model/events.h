#pragma once

#include "model/bulkmemory.h"

#include <QByteArray>
#include <QMetaType>
#include <QtGlobal>
#include <cstddef>
#include <string>
#include <vector>

// One measurement of the flight computer, in physical units.  The same
// records come from live reads, from the downloaded flash image and from
// flight files.  Records are plain values: they are copied into queued
// signals and owned through OKUEvent* inside a flight.
//
// The archive form of every class lives in model/eventarchive.h.
class OKUEvent
{
public:
    virtual ~OKUEvent() = default;

    // Records live in the record pool (model/recordpool.h): a flight holds
    // up to a million of them.
    static void *operator new(std::size_t size);
    static void operator delete(void *record) noexcept;
    // Copies placed in storage of their own, as queued signals make them.
    static void *operator new(std::size_t, void *where) noexcept { return where; }
    static void operator delete(void *, void *) noexcept {}

    // ADC reference voltage; only old file versions that stored raw counts need it.
    float referenceVoltage = 3.3f;
    // Seconds.
    float time = 0.0f;

    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Milliseconds since the previous event inside the flash image; never stored in files.
class OKUEvent_DeltaTime : public OKUEvent
{
public:
    float deltaMs = 0.0f;
};

class OKUEvent_Text : public OKUEvent
{
public:
    std::string text;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_AccelZ : public OKUEvent
{
public:
    float accelZ = 0.0f; // g
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_AccelXY : public OKUEvent
{
public:
    float accelX = 0.0f; // g
    float accelY = 0.0f; // g
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Rotation rates in degrees per second.
class OKUEvent_GyroXYZ : public OKUEvent
{
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Magnetometer counts times 1e-6.
class OKUEvent_MagXYZ : public OKUEvent
{
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_Pressure : public OKUEvent
{
public:
    float pressure = 0.0f; // Pa
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_ComputerBattery : public OKUEvent
{
public:
    float voltage = 0.0f; // V
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_EjectionBattery : public OKUEvent
{
public:
    float voltage = 0.0f; // V
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_Temperature : public OKUEvent
{
public:
    float temperature = 0.0f; // degrees Celsius
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// State of one output line: bits 15 and 14 of the device word and the line voltage.
struct OKULineReading {
    bool flag15 = false;
    bool flag14 = false;
    float voltage = 0.0f; // V
};

// One class per line, because the decoder and the files tell the lines apart by class.
class OKUEvent_LineA : public OKUEvent, public OKULineReading
{
public:
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};
class OKUEvent_LineB : public OKUEvent, public OKULineReading
{
public:
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};
class OKUEvent_LineC : public OKUEvent, public OKULineReading
{
public:
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};
class OKUEvent_LineD : public OKUEvent, public OKULineReading
{
public:
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_GPSLLSol : public OKUEvent
{
public:
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    float altitude = 0.0f;  // m
    qint32 satellites = 0;  // 0 to 31
    bool solution3D = false;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_GPSTime : public OKUEvent
{
public:
    quint32 timeOfWeek = 0; // ms into the GPS week
    quint16 week = 0;
    bool timeValid = false;
    bool flag6 = false;
    qint32 leapSeconds = 0; // 0 to 63
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Device state and per-line flags; index 0 is line A.
class OKUEvent_Status : public OKUEvent
{
public:
    qint32 state = 0; // 0 to 4
    bool lineAlert[4] = {false, false, false, false};
    bool lineContinuity[4] = {false, false, false, false};
    bool lineOther[4] = {false, false, false, false};
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Received signal strength, the device's signed value unscaled.
class OKUEvent_RSSI : public OKUEvent
{
public:
    float rssi = 0.0f;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_Ident : public OKUEvent
{
public:
    std::string text;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Orientation quaternion: vector part x, y, z and scalar part w.
class OKUEvent_Orientation : public OKUEvent
{
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// Auxiliary inputs: no device produces them any more, but flight files may hold them.
class OKUEvent_AuxDInput : public OKUEvent
{
public:
    quint16 value = 0;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

class OKUEvent_AuxEInput : public OKUEvent
{
public:
    quint16 value = 0;
    template<class Archive> void serialize(Archive &archive, unsigned int version);
};

// The records of a flight, owned through these pointers.
using EventList = std::vector<OKUEvent *, okukipo::bulkmemory::Allocator<OKUEvent *>>;

// Decodes one event as the device encodes it (code byte first, then the
// payload).  Returns a new record owned by the caller, or nullptr when the
// code has no record (end marker, flight marker, unknown code, short text).
OKUEvent *decodeEvent(const QByteArray &encoded);

// The same decoding for one record of the flash image (size bytes from
// record on), without the live time stamp: the flash parser times events
// by their delta records, and reading the clock for each of the million
// records of a full image would cost more than decoding them.
OKUEvent *decodeFlashRecord(const char *record, int size);

// Number of payload bytes after the code byte in the flash image, or -1 when
// the code has no known length there (unknown codes, the flight marker 0x13
// and erased memory 0xFF, which the flash parser handles itself).
int flashPayloadLength(quint8 code);

Q_DECLARE_METATYPE(OKUEvent_DeltaTime)
Q_DECLARE_METATYPE(OKUEvent_Text)
Q_DECLARE_METATYPE(OKUEvent_AccelZ)
Q_DECLARE_METATYPE(OKUEvent_AccelXY)
Q_DECLARE_METATYPE(OKUEvent_GyroXYZ)
Q_DECLARE_METATYPE(OKUEvent_MagXYZ)
Q_DECLARE_METATYPE(OKUEvent_Pressure)
Q_DECLARE_METATYPE(OKUEvent_ComputerBattery)
Q_DECLARE_METATYPE(OKUEvent_EjectionBattery)
Q_DECLARE_METATYPE(OKUEvent_Temperature)
Q_DECLARE_METATYPE(OKUEvent_LineA)
Q_DECLARE_METATYPE(OKUEvent_LineB)
Q_DECLARE_METATYPE(OKUEvent_LineC)
Q_DECLARE_METATYPE(OKUEvent_LineD)
Q_DECLARE_METATYPE(OKUEvent_GPSLLSol)
Q_DECLARE_METATYPE(OKUEvent_GPSTime)
Q_DECLARE_METATYPE(OKUEvent_Status)
Q_DECLARE_METATYPE(OKUEvent_RSSI)
Q_DECLARE_METATYPE(OKUEvent_Ident)
Q_DECLARE_METATYPE(OKUEvent_Orientation)
Q_DECLARE_METATYPE(OKUEvent_AuxDInput)
Q_DECLARE_METATYPE(OKUEvent_AuxEInput)

// Makes every event class usable in queued signal connections.
void registerEventMetaTypes();
