#include "model/eventarchive.h"
#include "model/flight.h"
#include "model/flightarchive.h"
#include "model/settingsarchive.h"
#include "model/trace.h"

#include <QFile>
#include <QSaveFile>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <algorithm>
#include <cmath>
#include <sstream>
#include <unordered_set>

BOOST_CLASS_VERSION(OKUKIPOFlight, 3)
// Always the top-level object of its file.
BOOST_CLASS_TRACKING(OKUKIPOFlight, boost::serialization::track_never)

namespace okukipo {

std::unordered_set<OKUEvent *> &recordsBeingLoaded()
{
    thread_local std::unordered_set<OKUEvent *> records;
    return records;
}

} // namespace okukipo

namespace {

using okukipo::trace;

// Set when serialization met an archive error (which it reports and
// swallows, so that a damaged file still gives what could be read).
thread_local bool archiveErrorSeen = false;

// The registration order gives every stored event its class id, so it is
// part of the file format.
template<class Archive>
void registerEventClasses(Archive &archive)
{
    archive.template register_type<OKUEvent_Text>();
    archive.template register_type<OKUEvent_AccelZ>();
    archive.template register_type<OKUEvent_AccelXY>();
    archive.template register_type<OKUEvent_Pressure>();
    archive.template register_type<OKUEvent_ComputerBattery>();
    archive.template register_type<OKUEvent_EjectionBattery>();
    archive.template register_type<OKUEvent_Temperature>();
    archive.template register_type<OKUEvent_AuxDInput>();
    archive.template register_type<OKUEvent_AuxEInput>();
    archive.template register_type<OKUEvent_GPSLLSol>();
    archive.template register_type<OKUEvent_RSSI>();
    archive.template register_type<OKUEvent_Ident>();
    archive.template register_type<OKUEvent_Status>();
    archive.template register_type<OKUEvent_GPSTime>();
    archive.template register_type<OKUEvent_GyroXYZ>();
    archive.template register_type<OKUEvent_MagXYZ>();
    archive.template register_type<OKUEvent_LineA>();
    archive.template register_type<OKUEvent_LineB>();
    archive.template register_type<OKUEvent_LineC>();
    archive.template register_type<OKUEvent_LineD>();
    archive.template register_type<OKUEvent_Orientation>();
}

void reportArchiveError(const std::exception &error)
{
    archiveErrorSeen = true;
    trace(QStringLiteral("Error: ") + QString::fromLocal8Bit(error.what()));
}

// Damaged files may hold NaN times; they sort last instead of breaking the sort.
bool earlierEvent(const OKUEvent *a, const OKUEvent *b)
{
    if (std::isnan(a->time))
        return false;
    return std::isnan(b->time) || a->time < b->time;
}

// Early firmware ran its clock about 3 % slow.
bool hasSlowClock(const OKUKIPOSettings &settings)
{
    return settings.valid && settings.firmwareVersion >= 512 && settings.firmwareVersion <= 514;
}

constexpr float slowClockCorrection = 1.0297601f;

} // namespace

OKUKIPOFlight::~OKUKIPOFlight()
{
    clearEvents();
}

void OKUKIPOFlight::clearEvents()
{
    for (OKUEvent *event : events)
        delete event;
    events.clear();
}

template<class Archive>
void OKUKIPOFlight::serialize(Archive &archive, unsigned int version)
{
    try {
        serializeFields(archive, version);
    } catch (const std::exception &error) {
        reportArchiveError(error);
    }
}

template<class Archive>
void OKUKIPOFlight::serializeFields(Archive &archive, unsigned int version)
{
    registerEventClasses(archive);
    trace(QStringLiteral("class {OKUKIPOFlight} version: %1").arg(version));
    if (version > 3)
        return;
    if constexpr (Archive::is_saving::value)
        saveEvents(archive);
    else
        loadEvents(archive);
    archive & value16;
    archive & notes;
    if (version == 0)
        return;
    archive & settings;
    if (version == 1) {
        if (hasSlowClock(settings)) {
            for (OKUEvent *event : events)
                event->time *= slowClockCorrection;
        }
    } else if (version == 2) {
        quint8 inverted = 0;
        archive & inverted;
        accelInverted = inverted == 1;
    } else {
        archive & accelInverted;
    }
}

// Written as the archive writes a vector of pointers; read by hand so that a
// damaged count cannot allocate for entries that are not in the file, and
// only records the archive created are taken, each once: a damaged file may
// hold empty entries or references to objects that are no records at all.
template<class Archive>
void OKUKIPOFlight::saveEvents(Archive &archive) const
{
    const boost::serialization::collection_size_type count(events.size());
    archive << count;
    const boost::serialization::item_version_type itemVersion(0);
    archive << itemVersion;
    for (OKUEvent *const &event : events)
        archive << event;
}

template<class Archive>
void OKUKIPOFlight::loadEvents(Archive &archive)
{
    boost::serialization::collection_size_type count;
    archive >> count;
    if (boost::serialization::library_version_type(3) < archive.get_library_version()) {
        boost::serialization::item_version_type itemVersion(0);
        archive >> itemVersion;
    }
    const std::unordered_set<OKUEvent *> &created = okukipo::recordsBeingLoaded();
    std::unordered_set<OKUEvent *> taken(events.begin(), events.end());
    for (std::size_t i = 0; i < count; ++i) {
        OKUEvent *event = nullptr;
        archive >> event;
        if (created.count(event) && taken.insert(event).second)
            events.push_back(event);
    }
}

bool OKUKIPOFlight::save(const QString &path)
{
    trace(QStringLiteral("Saving..."));
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk) shows in write()'s count;
    // a buffered flush would let it pass unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    std::ostringstream stream(std::ios::out | std::ios::binary);
    archiveErrorSeen = false;
    {
        FlightOArchive archive(stream);
        trace(QStringLiteral("Serializing..."));
        archive << static_cast<const OKUKIPOFlight &>(*this);
    }
    if (archiveErrorSeen || !stream)
        return false;
    const std::string bytes = stream.str();
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        return false;
    return file.commit();
}

bool OKUKIPOFlight::load(const QString &path)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly);
    trace(QStringLiteral("Checking..."));
    const QByteArray bytes = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        trace(QStringLiteral("file not good: ") + path);
        return false;
    }
    loadFromBytes(bytes);
    return true;
}

void OKUKIPOFlight::loadFromBytes(const QByteArray &bytes)
{
    clearEvents();
    value16 = 256;
    notes.clear();
    settings = OKUKIPOSettings();
    accelInverted = false;

    std::istringstream stream(std::string(bytes.constData(), size_t(bytes.size())),
                              std::ios::in | std::ios::binary);
    std::unordered_set<OKUEvent *> &created = okukipo::recordsBeingLoaded();
    created.clear();
    try {
        FlightIArchive archive(stream);
        trace(QStringLiteral("Loading..."));
        archive >> *this;
        trace(QStringLiteral("Loaded"));
    } catch (const std::exception &error) {
        // A bad header or an unsupported flight version, met before serialize().
        reportArchiveError(error);
    }
    for (OKUEvent *event : events)
        created.erase(event);
    for (OKUEvent *event : created)
        delete event;
    created.clear();

    trace(QStringLiteral("Straightening..."));
    std::sort(events.begin(), events.end(), earlierEvent);
    processFlight();
}
