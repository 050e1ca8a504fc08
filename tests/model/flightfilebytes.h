#pragma once

// Builds flight-file bytes item by item, as the format lays them out, so that
// tests can state stored records (old versions, damaged files) byte by byte.

#include "model/eventfields.h"

#include <QByteArray>
#include <QVector>
#include <QtEndian>
#include <cstring>
#include <set>

class ArchiveBytes
{
public:
    ArchiveBytes &u8(quint8 value) { return raw(QByteArray(1, char(value))); }
    ArchiveBytes &u16(quint16 value) { return little(value); }
    ArchiveBytes &i16(qint16 value) { return little(value); }
    ArchiveBytes &u32(quint32 value) { return little(value); }
    ArchiveBytes &i32(qint32 value) { return little(value); }
    ArchiveBytes &f32(float value) { return little(value); }
    ArchiveBytes &f64(double value) { return little(value); }
    // Archive strings: 4-byte length, then the characters.
    ArchiveBytes &str(const QByteArray &text) { return u32(quint32(text.size())).raw(text); }
    ArchiveBytes &raw(const QByteArray &bytes)
    {
        m_bytes += bytes;
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    template<class T>
    ArchiveBytes &little(T value)
    {
        char buffer[sizeof(T)];
        std::memcpy(buffer, &value, sizeof(T)); // the test host is little-endian, as the format
        return raw(QByteArray(buffer, int(sizeof(T))));
    }
    QByteArray m_bytes;
};

// Signature, library version 15, sizes of int, long, float, double, endian marker.
inline QByteArray archiveHeader()
{
    return ArchiveBytes().str("serialization::archive").u16(15).u8(4).u8(4).u8(4).u8(8).i32(1).bytes();
}

// The OKUEvent part of a record of the current version 1.
inline QByteArray eventBase(float time, float referenceVoltage = 3.3f)
{
    return ArchiveBytes().f32(referenceVoltage).u8(0).f32(time).bytes();
}

// Class ids follow the registration order of the event classes.
enum StoredClassId : qint16 {
    TextId = 1, AccelZId, AccelXYId, PressureId, ComputerBatteryId, EjectionBatteryId, TemperatureId,
    AuxDInputId, AuxEInputId, GPSLLSolId, RSSIId, IdentId, StatusId, GPSTimeId, GyroXYZId, MagXYZId,
    LineAId, LineBId, LineCId, LineDId, OrientationId,
};

struct StoredEvent {
    qint16 classId;
    quint32 classVersion;
    QByteArray fields;
    QByteArray base = eventBase(0.0f);
};

// The event vector as the archive stores it: the vector's class information
// (tracking 0, version 0), count, item version, then per record its class id,
// class information at the first record of its class (tracking 1 and class
// version), its object id, the OKUEvent part (class information once per
// file) with its own object id, and the fields.
inline QByteArray storedEvents(const QVector<StoredEvent> &events, quint32 baseVersion = 1)
{
    ArchiveBytes out;
    out.u8(0).u32(0).u32(quint32(events.size())).u32(0);
    std::set<qint16> classesSeen;
    quint32 objectId = 0;
    for (const StoredEvent &event : events) {
        out.i16(event.classId);
        if (classesSeen.insert(event.classId).second)
            out.u8(1).u32(event.classVersion);
        out.u32(objectId++);
        if (objectId == 1)
            out.u8(1).u32(baseVersion);
        out.u32(objectId++);
        out.raw(event.base).raw(event.fields);
    }
    return out.bytes();
}

// The settings object: tracking 0, class version, the valid byte, the body.
inline QByteArray storedSettings(quint32 version, bool valid, const QByteArray &body)
{
    return ArchiveBytes().u8(0).u32(version).u8(valid).raw(body).bytes();
}

// Header and the flight's class information (tracking 0, version), then the fields.
inline QByteArray flightFile(quint32 version, const QByteArray &fields)
{
    return ArchiveBytes().raw(archiveHeader()).u8(0).u32(version).raw(fields).bytes();
}

// "ClassName field=value ..." of a record without its time and reference
// voltage, or "none" for no record.
inline QByteArray eventSummary(const OKUEvent *event)
{
    if (!event)
        return "none";
    const EventDescription description = describeEvent(*event);
    QByteArray text = description.className;
    for (const EventField &field : description.fields.mid(2))
        text += ' ' + QByteArray(field.name) + '=' + jsonValue(field.value);
    return text;
}
