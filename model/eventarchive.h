#pragma once

// The archive form of every event class: current class versions and the
// conversions of older versions still found in users' flight files.

#include "model/events.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/serialization/base_object.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/version.hpp>
#include <cmath>
#include <vector>

BOOST_CLASS_VERSION(OKUEvent, 1)
BOOST_CLASS_VERSION(OKUEvent_AccelZ, 3)
BOOST_CLASS_VERSION(OKUEvent_AccelXY, 3)
BOOST_CLASS_VERSION(OKUEvent_GyroXYZ, 0)
BOOST_CLASS_VERSION(OKUEvent_MagXYZ, 0)
BOOST_CLASS_VERSION(OKUEvent_Pressure, 1)
BOOST_CLASS_VERSION(OKUEvent_ComputerBattery, 1)
BOOST_CLASS_VERSION(OKUEvent_EjectionBattery, 1)
BOOST_CLASS_VERSION(OKUEvent_Temperature, 1)
BOOST_CLASS_VERSION(OKUEvent_LineA, 0)
BOOST_CLASS_VERSION(OKUEvent_LineB, 0)
BOOST_CLASS_VERSION(OKUEvent_LineC, 0)
BOOST_CLASS_VERSION(OKUEvent_LineD, 0)
BOOST_CLASS_VERSION(OKUEvent_Text, 0)
BOOST_CLASS_VERSION(OKUEvent_Ident, 0)
BOOST_CLASS_VERSION(OKUEvent_GPSLLSol, 4)
BOOST_CLASS_VERSION(OKUEvent_GPSTime, 2)
BOOST_CLASS_VERSION(OKUEvent_Status, 1)
BOOST_CLASS_VERSION(OKUEvent_RSSI, 1)
BOOST_CLASS_VERSION(OKUEvent_Orientation, 0)
BOOST_CLASS_VERSION(OKUEvent_AuxDInput, 0)
BOOST_CLASS_VERSION(OKUEvent_AuxEInput, 0)

namespace okukipo {

// Every record the archive creates while a flight loads, whole or half-read,
// in the order of creation.  The flight takes those that end up in its event
// list and deletes the rest (records orphaned by a read error, or whose
// pointer a damaged file repeats).
EventList &recordsBeingLoaded();

// Each record announces itself twice, as its class and as OKUEvent, one
// right after the other.
inline void noteRecordBeingLoaded(OKUEvent *record)
{
    EventList &records = recordsBeingLoaded();
    if (records.empty() || records.back() != record)
        records.push_back(record);
}

// Records the record before anything of it is read: the OKUEvent part's own
// class information may already be missing.
template<class Archive, class Event>
void serializeEventBase(Archive &archive, Event &event)
{
    if constexpr (Archive::is_loading::value)
        noteRecordBeingLoaded(&event);
    archive & boost::serialization::base_object<OKUEvent>(event);
}

// A few classes keep what they read when their stored fields run short
// instead of failing the record; the next read of the file fails anyway.
template<class Body>
void keepPartialRecord(Body body)
{
    try {
        body();
    } catch (const boost::archive::archive_exception &) {
    }
}

template<class Archive, class T>
T loadStored(Archive &archive)
{
    // '&' so that save code, which never takes this branch, still compiles.
    T value{};
    archive & value;
    return value;
}

template<class Archive>
void skipStored(Archive &archive, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        loadStored<Archive, quint8>(archive);
}

constexpr float storedAccelScale = 0.00390625f;

} // namespace okukipo

template<class Archive>
void OKUEvent::serialize(Archive &archive, unsigned int version)
{
    // Also a plain OKUEvent, which a damaged file may ask for.
    if constexpr (Archive::is_loading::value)
        okukipo::noteRecordBeingLoaded(this);
    okukipo::keepPartialRecord([&] {
        archive & referenceVoltage;
        quint8 unused = 0;
        archive & unused;
        if (Archive::is_saving::value || version >= 1)
            archive & time;
        else
            time = float(okukipo::loadStored<Archive, quint32>(archive)) * 0.001f;
    });
}

template<class Archive>
void OKUEvent_Text::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & text;
}

template<class Archive>
void OKUEvent_Ident::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & text;
}

template<class Archive>
void OKUEvent_AccelZ::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 3) {
        archive & accelZ;
    } else if (version == 2) {
        // Version 2 stored some values with the old sensor's offset and gain.
        archive & accelZ;
        if (std::abs(accelZ) >= 8.0f)
            accelZ = (accelZ - 0.505859375f) * 2.0237154960632324f;
    } else if (version == 1) {
        accelZ = float(loadStored<Archive, qint16>(archive)) * storedAccelScale;
    } else {
        const float raw = float(loadStored<Archive, quint16>(archive));
        accelZ = float(qint16(int(raw * 15.625f - 32000.0f))) * storedAccelScale;
    }
}

template<class Archive>
void OKUEvent_AccelXY::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 3) {
        archive & accelX & accelY;
    } else if (version == 2) {
        archive & accelY & accelX;
    } else {
        accelX = float(loadStored<Archive, qint16>(archive)) * storedAccelScale;
        accelY = float(loadStored<Archive, qint16>(archive)) * storedAccelScale;
        if (version == 0)
            loadStored<Archive, qint16>(archive);
    }
}

template<class Archive>
void OKUEvent_GyroXYZ::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & x & y & z;
}

template<class Archive>
void OKUEvent_MagXYZ::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & x & y & z;
}

template<class Archive>
void OKUEvent_Orientation::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & x & y & z & w;
}

template<class Archive>
void OKUEvent_Pressure::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 1)
        archive & pressure;
    else
        pressure = float(loadStored<Archive, quint16>(archive)) * 6.781684398651123f + 10555.5556640625f;
}

namespace okukipo {

// Version 0 of both battery classes stored raw ADC counts.
template<class Archive>
void serializeBatteryVoltage(Archive &archive, unsigned int version, float referenceVoltage, float &voltage)
{
    if (Archive::is_saving::value || version >= 1)
        archive & voltage;
    else
        voltage = float(loadStored<Archive, quint16>(archive)) * referenceVoltage * 0.00019089718989562243f;
}

} // namespace okukipo

template<class Archive>
void OKUEvent_ComputerBattery::serialize(Archive &archive, unsigned int version)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::serializeBatteryVoltage(archive, version, referenceVoltage, voltage);
}

template<class Archive>
void OKUEvent_EjectionBattery::serialize(Archive &archive, unsigned int version)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::keepPartialRecord([&] {
        okukipo::serializeBatteryVoltage(archive, version, referenceVoltage, voltage);
    });
}

template<class Archive>
void OKUEvent_Temperature::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    keepPartialRecord([&] {
        if (Archive::is_saving::value || version >= 1)
            archive & temperature;
        else
            temperature = float(loadStored<Archive, quint16>(archive)) * referenceVoltage * 0.006103515625f - 50.0f;
    });
}

template<class Archive>
void OKUEvent_RSSI::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 1)
        archive & rssi;
    else
        rssi = ((float(loadStored<Archive, quint32>(archive)) * referenceVoltage * 6.103515625e-05f) - 2.0f)
               * 66.66667175292969f;
}

namespace okukipo {

template<class Archive>
void serializeLineReading(Archive &archive, OKULineReading &line)
{
    archive & line.flag15 & line.flag14 & line.voltage;
}

} // namespace okukipo

template<class Archive>
void OKUEvent_LineA::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::serializeLineReading(archive, *this);
}

template<class Archive>
void OKUEvent_LineB::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::serializeLineReading(archive, *this);
}

template<class Archive>
void OKUEvent_LineC::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::serializeLineReading(archive, *this);
}

template<class Archive>
void OKUEvent_LineD::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    okukipo::serializeLineReading(archive, *this);
}

template<class Archive>
void OKUEvent_AuxDInput::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & value;
}

template<class Archive>
void OKUEvent_AuxEInput::serialize(Archive &archive, unsigned int)
{
    okukipo::serializeEventBase(archive, *this);
    archive & value;
}

template<class Archive>
void OKUEvent_GPSLLSol::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    keepPartialRecord([&] {
        if (Archive::is_saving::value || version >= 4) {
            archive & latitude & longitude & altitude & satellites & solution3D;
            return;
        }
        if (version == 0) {
            skipStored(archive, 4);
            archive & latitude & longitude & altitude;
            skipStored(archive, 4);
            satellites = loadStored<Archive, quint32>(archive) & 0x1F;
            const quint32 fixType = loadStored<Archive, quint32>(archive);
            solution3D = (loadStored<Archive, quint8>(archive) & 0x01) && fixType == 3;
            return;
        }
        if (version == 1) {
            latitude = loadStored<Archive, float>(archive);
            longitude = loadStored<Archive, float>(archive);
        } else {
            archive & latitude & longitude;
        }
        archive & altitude;
        if (version <= 2)
            skipStored(archive, 4);
        const quint8 flags = loadStored<Archive, quint8>(archive);
        solution3D = flags & 0x20;
        satellites = flags & 0x1F;
    });
}

template<class Archive>
void OKUEvent_GPSTime::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 2) {
        archive & timeOfWeek & week & timeValid & flag6 & leapSeconds;
        return;
    }
    archive & timeOfWeek & week;
    const quint8 flags = loadStored<Archive, quint8>(archive);
    if (version == 1) {
        timeValid = flag6 = flags != 0;
        archive & leapSeconds;
    } else {
        timeValid = flags & 0x80;
        flag6 = flags & 0x40;
        leapSeconds = flags & 0x3F;
    }
}

template<class Archive>
void OKUEvent_Status::serialize(Archive &archive, unsigned int version)
{
    using namespace okukipo;
    serializeEventBase(archive, *this);
    if (Archive::is_saving::value || version >= 1) {
        archive & state & lineAlert & lineContinuity & lineOther;
        return;
    }
    const quint8 flags = loadStored<Archive, quint8>(archive);
    state = 0;
    if (flags & 0x80)
        state = 1;
    if (flags & 0x40)
        state = 3;
    for (int line = 0; line < 3; ++line) {
        lineAlert[line] = flags & (0x04 >> line);
        lineContinuity[line] = flags & (0x20 >> line);
    }
}
