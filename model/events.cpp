#include "model/events.h"
#include "model/recordpool.h"

#include <QElapsedTimer>

namespace {

// Reads big-endian fields from the front of an event payload.  A field that
// needs more bytes than remain reads as 0 and takes nothing, so a short
// payload gives zeros instead of garbage.
class PayloadReader
{
public:
    PayloadReader(const char *payload, int size)
        : m_payload(payload)
        , m_size(size)
    {
    }

    int size() const { return m_size; }

    quint32 unsignedField(int width)
    {
        if (m_size - m_position < width)
            return 0;
        quint32 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | quint8(m_payload[m_position + i]);
        m_position += width;
        return value;
    }
    quint8 u8() { return quint8(unsignedField(1)); }
    quint16 u16() { return quint16(unsignedField(2)); }
    qint16 i16() { return qint16(unsignedField(2)); }
    quint32 u24() { return unsignedField(3); }
    quint32 u32() { return unsignedField(4); }
    qint32 i32() { return qint32(unsignedField(4)); }

    QByteArray rest() const { return QByteArray(m_payload + m_position, m_size - m_position); }

private:
    const char *m_payload;
    const int m_size;
    int m_position = 0;
};

// Live records are stamped with the time since the decoder first ran.
float liveTimeStamp()
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return float(quint32(origin.elapsed())) * 0.001f;
}

constexpr float accelScale = 0.00390625f;
constexpr float batteryScale = 0.00020294188f;
constexpr float lineVoltageScale = 0.00020141601f;
constexpr float orientationScale = 3.0517578e-5f;

OKUEvent *decodeText(PayloadReader &payload)
{
    if (payload.size() < 2)
        return nullptr;
    const int length = payload.u8();
    auto *event = new OKUEvent_Text;
    // The device does not promise that the length fits the payload.
    event->text = payload.rest().left(length).toStdString();
    return event;
}

template<class Line>
OKUEvent *decodeLine(PayloadReader &payload)
{
    const quint16 word = payload.u16();
    auto *event = new Line;
    event->flag15 = word & 0x8000;
    event->flag14 = word & 0x4000;
    event->voltage = float(word & 0x3FFF) * lineVoltageScale;
    return event;
}

OKUEvent *decodeGpsPosition(PayloadReader &payload)
{
    auto *event = new OKUEvent_GPSLLSol;
    event->latitude = double(payload.i32()) * 1.0000000116860974e-7;
    event->longitude = double(payload.i32()) * 1.0000000116860974e-7;
    event->altitude = float(double(payload.i32()) * 0.0010000000474974513);
    const quint8 flags = payload.u8();
    event->solution3D = flags & 0x20;
    event->satellites = flags & 0x1F;
    return event;
}

int statusState(int code)
{
    switch (code) {
    case 1: case 2: return 1;
    case 3: return 2;
    case 4: case 5: return 3;
    case 6: return 4;
    default: return 0;
    }
}

OKUEvent *decodeStatus(PayloadReader &payload)
{
    const quint16 word = payload.u16();
    auto *event = new OKUEvent_Status;
    event->state = statusState(word >> 12);
    for (int line = 0; line < 4; ++line) {
        event->lineAlert[line] = word & (0x0100 << line);
        event->lineContinuity[line] = word & (0x0080 >> line);
        event->lineOther[line] = word & (0x0008 >> line);
    }
    return event;
}

OKUEvent *decodeGpsTime(PayloadReader &payload)
{
    auto *event = new OKUEvent_GPSTime;
    event->timeOfWeek = payload.u32();
    event->week = payload.u16();
    const quint8 flags = payload.u8();
    event->timeValid = flags & 0x80;
    event->flag6 = flags & 0x40;
    event->leapSeconds = flags & 0x3F;
    return event;
}

template<class Xyz>
Xyz *decodeXyz(PayloadReader &payload, float scale)
{
    auto *event = new Xyz;
    event->x = float(payload.i16()) * scale;
    event->y = float(payload.i16()) * scale;
    event->z = float(payload.i16()) * scale;
    return event;
}

template<class Battery>
OKUEvent *decodeBattery(PayloadReader &payload)
{
    auto *event = new Battery;
    event->voltage = float(payload.u16()) * batteryScale;
    return event;
}

OKUEvent *decodeRecord(quint8 code, const char *rawPayload, int size)
{
    PayloadReader payload(rawPayload, size);
    switch (code) {
    case 0x01:
        return decodeText(payload);
    case 0x02: {
        auto *event = new OKUEvent_AccelZ;
        event->accelZ = float(payload.i16()) * accelScale;
        return event;
    }
    case 0x03: {
        auto *event = new OKUEvent_Pressure;
        event->pressure = float(payload.u24());
        return event;
    }
    case 0x04:
        return decodeBattery<OKUEvent_ComputerBattery>(payload);
    case 0x05:
        return decodeBattery<OKUEvent_EjectionBattery>(payload);
    case 0x06: {
        auto *event = new OKUEvent_Temperature;
        event->temperature = float(payload.i16()) * 0.01f;
        return event;
    }
    case 0x07:
        return decodeLine<OKUEvent_LineA>(payload);
    case 0x08:
        return decodeLine<OKUEvent_LineB>(payload);
    case 0x09:
        return decodeLine<OKUEvent_LineC>(payload);
    case 0x0A:
        return decodeLine<OKUEvent_LineD>(payload);
    case 0x0B: {
        auto *event = new OKUEvent_AccelXY;
        event->accelX = float(payload.i16()) * accelScale;
        event->accelY = float(payload.i16()) * accelScale;
        return event;
    }
    case 0x0C:
        return decodeXyz<OKUEvent_GyroXYZ>(payload, 0.07f);
    case 0x0D:
        return decodeXyz<OKUEvent_MagXYZ>(payload, 1e-6f);
    case 0x0E:
        return decodeGpsPosition(payload);
    case 0x0F: {
        auto *event = new OKUEvent_RSSI;
        event->rssi = float(payload.i16());
        return event;
    }
    case 0x10:
        return decodeStatus(payload);
    case 0x11: {
        auto *event = new OKUEvent_Ident;
        event->text = std::string(rawPayload, size_t(size));
        return event;
    }
    case 0x12:
        return decodeGpsTime(payload);
    case 0x15: {
        // The vector part, then the scalar part.
        auto *event = decodeXyz<OKUEvent_Orientation>(payload, orientationScale);
        event->w = float(payload.i16()) * orientationScale;
        return event;
    }
    default:
        return nullptr;
    }
}

} // namespace

OKUEvent *decodeEvent(const QByteArray &encoded)
{
    OKUEvent *event = decodeFlashRecord(encoded.constData(), encoded.size());
    const bool timeStep = event && (quint8(encoded.at(0)) & 0x80);
    if (event && !timeStep)
        event->time = liveTimeStamp();
    return event;
}

OKUEvent *decodeFlashRecord(const char *record, int size)
{
    if (size <= 0)
        return nullptr;
    const quint8 code = quint8(record[0]);
    if (code & 0x80) {
        auto *delta = new OKUEvent_DeltaTime;
        delta->deltaMs = float(code & 0x7F);
        return delta;
    }
    return decodeRecord(code, record + 1, size - 1);
}

int flashPayloadLength(quint8 code)
{
    if (code >= 0x80 && code != 0xFF)
        return 0;
    switch (code) {
    case 0x00: case 0x01:
        return 0;
    case 0x02: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09: case 0x0A:
    case 0x0F: case 0x10:
        return 2;
    case 0x03:
        return 3;
    case 0x0B: case 0x14:
        return 4;
    case 0x0C: case 0x0D: case 0x11:
        return 6;
    case 0x0E:
        return 13;
    case 0x12:
        return 7;
    case 0x15:
        return 8;
    default:
        return -1;
    }
}

// The classes with the strictest alignment: a double, a string.
static_assert(alignof(OKUEvent_GPSLLSol) <= okukipo::recordpool::alignment);
static_assert(alignof(OKUEvent_Text) <= okukipo::recordpool::alignment);

void *OKUEvent::operator new(std::size_t size)
{
    return okukipo::recordpool::allocate(size);
}

void OKUEvent::operator delete(void *record) noexcept
{
    okukipo::recordpool::release(record);
}

void registerEventMetaTypes()
{
    qRegisterMetaType<OKUEvent_DeltaTime>();
    qRegisterMetaType<OKUEvent_Text>();
    qRegisterMetaType<OKUEvent_AccelZ>();
    qRegisterMetaType<OKUEvent_AccelXY>();
    qRegisterMetaType<OKUEvent_GyroXYZ>();
    qRegisterMetaType<OKUEvent_MagXYZ>();
    qRegisterMetaType<OKUEvent_Pressure>();
    qRegisterMetaType<OKUEvent_ComputerBattery>();
    qRegisterMetaType<OKUEvent_EjectionBattery>();
    qRegisterMetaType<OKUEvent_Temperature>();
    qRegisterMetaType<OKUEvent_LineA>();
    qRegisterMetaType<OKUEvent_LineB>();
    qRegisterMetaType<OKUEvent_LineC>();
    qRegisterMetaType<OKUEvent_LineD>();
    qRegisterMetaType<OKUEvent_GPSLLSol>();
    qRegisterMetaType<OKUEvent_GPSTime>();
    qRegisterMetaType<OKUEvent_Status>();
    qRegisterMetaType<OKUEvent_RSSI>();
    qRegisterMetaType<OKUEvent_Ident>();
    qRegisterMetaType<OKUEvent_Orientation>();
    qRegisterMetaType<OKUEvent_AuxDInput>();
    qRegisterMetaType<OKUEvent_AuxEInput>();
}
