#include "model/eventarchive.h"
#include "model/flight.h"
#include "model/flightarchive.h"
#include "model/settingsarchive.h"
#include "model/trace.h"

#include <QFile>
#include <QSaveFile>
#include <boost/archive/basic_archive.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <istream>
#include <type_traits>
#include <typeinfo>
#include <ostream>
#include <streambuf>

BOOST_CLASS_VERSION(OKUKIPOFlight, 3)
// Always the top-level object of its file.
BOOST_CLASS_TRACKING(OKUKIPOFlight, boost::serialization::track_never)

namespace okukipo {

EventList &recordsBeingLoaded()
{
    thread_local EventList records;
    return records;
}

} // namespace okukipo

namespace {

using okukipo::trace;

// Set when serialization met an archive error (which it reports and
// swallows, so that a damaged file still gives what could be read).
thread_local bool archiveErrorSeen = false;
thread_local QString archiveError;

template<class... Events>
struct EventClassList {
};

// The registration order gives every stored event its class id, so it is
// part of the file format.
using StoredEventClasses =
    EventClassList<OKUEvent_Text, OKUEvent_AccelZ, OKUEvent_AccelXY, OKUEvent_Pressure, OKUEvent_ComputerBattery,
                   OKUEvent_EjectionBattery, OKUEvent_Temperature, OKUEvent_AuxDInput, OKUEvent_AuxEInput,
                   OKUEvent_GPSLLSol, OKUEvent_RSSI, OKUEvent_Ident, OKUEvent_Status, OKUEvent_GPSTime,
                   OKUEvent_GyroXYZ, OKUEvent_MagXYZ, OKUEvent_LineA, OKUEvent_LineB, OKUEvent_LineC,
                   OKUEvent_LineD, OKUEvent_Orientation>;
constexpr std::size_t storedEventClassCount = 21;

template<class Archive, class... Events>
void registerEventClasses(Archive &archive, EventClassList<Events...>)
{
    (archive.template register_type<Events>(), ...);
}

// Writes the records of a flight as the archive writes a vector of pointers
// to them, without the archive's bookkeeping per pointer (type look-ups, a
// set of every saved address), which made saving a full flight slow.  The
// records of a flight are all distinct objects, so their object ids count
// up: each record takes one, its OKUEvent part the next.  Every record is
// written by its class's own serialize().
class RecordWriter
{
public:
    using is_saving = std::true_type;
    using is_loading = std::false_type;

    explicit RecordWriter(FlightOArchive &archive)
        : m_archive(archive)
    {
    }

    void write(OKUEvent &record) { writeAs(record, StoredEventClasses()); }

    template<class T>
    RecordWriter &operator&(const T &value)
    {
        if constexpr (std::is_array_v<T>) {
            m_archive.save(quint32(std::extent_v<T>));
            for (const auto &element : value)
                m_archive.save(element);
        } else {
            m_archive.save(value);
        }
        return *this;
    }

    // The OKUEvent part of a record, as a tracked object of its own.
    RecordWriter &operator&(const OKUEvent &base)
    {
        writeObjectStart(m_baseWritten, boost::serialization::version<OKUEvent>::value);
        boost::serialization::access::serialize(*this, const_cast<OKUEvent &>(base),
                                                boost::serialization::version<OKUEvent>::value);
        return *this;
    }

private:
    template<class... Events>
    void writeAs(OKUEvent &record, EventClassList<Events...>)
    {
        // The flight itself has class id 0.
        qint16 classId = 0;
        const bool known = ((++classId, typeid(record) == typeid(Events) && writeRecord<Events>(classId, record)) || ...);
        if (!known)
            throw boost::archive::archive_exception(boost::archive::archive_exception::unregistered_class,
                                                    "derived class not registered or exported");
    }

    template<class Event>
    bool writeRecord(qint16 classId, OKUEvent &record)
    {
        constexpr unsigned int version = boost::serialization::version<Event>::value;
        m_archive.save(classId);
        writeObjectStart(m_classWritten[std::size_t(classId)], version);
        boost::serialization::access::serialize(*this, static_cast<Event &>(record), version);
        return true;
    }

    // Class information (tracking on, class version) at the first object
    // of a class, then the object id.
    void writeObjectStart(bool &classWritten, unsigned int version)
    {
        if (!classWritten) {
            m_archive.save(quint8(1));
            m_archive.save(quint32(version));
            classWritten = true;
        }
        m_archive.save(m_nextObjectId++);
    }

    FlightOArchive &m_archive;
    std::array<bool, storedEventClassCount + 1> m_classWritten{};
    bool m_baseWritten = false;
    quint32 m_nextObjectId = 0;
};

// Reads records as RecordWriter writes them, which is how every sound file
// holds them, without the archive's bookkeeping per pointer (type look-ups,
// up-casts, a table of every loaded object), which made loading a full
// flight slow.  Anything else in their place (an empty or repeated entry, a
// record that refers to an earlier object, an unknown or untracked class)
// throws UnknownLayout, and the archive reads the records itself.
class RecordReader
{
public:
    using is_saving = std::false_type;
    using is_loading = std::true_type;

    struct UnknownLayout {
    };

    explicit RecordReader(FlightIArchive &archive)
        : m_archive(archive)
    {
    }

    // A new record, noted among the records being loaded.
    OKUEvent *read()
    {
        boost::archive::class_id_type classId;
        m_archive >> classId;
        return readAs(int(classId), StoredEventClasses());
    }

    template<class T>
    RecordReader &operator&(T &value)
    {
        if constexpr (std::is_array_v<T>) {
            // As the archive reads arrays: fewer elements than the class holds are fine.
            boost::serialization::collection_size_type count;
            m_archive >> count;
            if (count > std::extent_v<T>)
                throw boost::archive::archive_exception(boost::archive::archive_exception::array_size_too_short);
            for (std::size_t i = 0; i < count; ++i)
                m_archive.load(value[i]);
        } else {
            m_archive.load(value);
        }
        return *this;
    }

    RecordReader &operator&(OKUEvent &base)
    {
        boost::serialization::access::serialize(*this, base, readObjectStart(m_baseClass));
        return *this;
    }

private:
    struct ClassInfo {
        bool read = false;
        unsigned int version = 0;
    };

    template<class... Events>
    OKUEvent *readAs(int classId, EventClassList<Events...>)
    {
        // The flight itself has class id 0.
        int id = 0;
        OKUEvent *record = nullptr;
        ((++id == classId && (record = readRecord<Events>(id))) || ...);
        if (!record)
            throw UnknownLayout();
        return record;
    }

    template<class Event>
    OKUEvent *readRecord(int classId)
    {
        const unsigned int version = readObjectStart(m_classes[std::size_t(classId)]);
        auto *record = new Event;
        okukipo::noteRecordBeingLoaded(record);
        boost::serialization::access::serialize(*this, *record, version);
        return record;
    }

    // Class information at the first object of a class, then a new object's id.
    unsigned int readObjectStart(ClassInfo &info)
    {
        if (!info.read) {
            boost::archive::tracking_type tracking;
            boost::archive::version_type version;
            m_archive >> tracking >> version;
            if (!tracking)
                throw UnknownLayout();
            info = {true, unsigned(version)};
        }
        boost::archive::object_id_type id;
        m_archive >> id;
        if (unsigned(id) != m_nextObjectId)
            throw UnknownLayout();
        ++m_nextObjectId;
        return info.version;
    }

    FlightIArchive &m_archive;
    std::array<ClassInfo, storedEventClassCount + 1> m_classes{};
    ClassInfo m_baseClass;
    unsigned int m_nextObjectId = 0;
};

void reportArchiveError(const std::exception &error)
{
    archiveErrorSeen = true;
    archiveError = QString::fromLocal8Bit(error.what());
    trace(QStringLiteral("Error: ") + archiveError);
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

// Class id, object ids of the record and its OKUEvent part, reference
// voltage, a spare byte and the time.
constexpr std::size_t smallestRecordBytes = 2 + 4 + 4 + 4 + 1 + 4;

// Record addresses in a total order.
const std::less<const OKUEvent *> byAddress;

EventList sortedOnce(EventList records)
{
    std::sort(records.begin(), records.end(), byAddress);
    records.erase(std::unique(records.begin(), records.end()), records.end());
    return records;
}

// The records among the event entries, each once: a damaged file may hold
// empty entries, repeat a record or point at objects that are no records.
EventList createdRecordsOnce(EventList entries)
{
    const EventList &created = okukipo::recordsBeingLoaded();
    // A sound file: every entry is the record created for it.
    if (entries == created)
        return entries;
    const EventList known = sortedOnce(created);
    std::vector<bool> taken(known.size(), false);
    EventList records;
    for (OKUEvent *entry : entries) {
        const auto found = std::lower_bound(known.begin(), known.end(), entry, byAddress);
        if (found == known.end() || *found != entry || taken[size_t(found - known.begin())])
            continue;
        taken[size_t(found - known.begin())] = true;
        records.push_back(entry);
    }
    return records;
}

// Reads count records with RecordReader; they are then the records being
// loaded, in file order.  False when the file holds them another way: then
// nothing is kept and the archive is back at the first record.
bool readRecordsDirectly(FlightIArchive &archive, std::size_t count)
{
    const std::streampos first = archive.position();
    if (first == std::streampos(-1))
        return false;
    try {
        RecordReader reader(archive);
        for (std::size_t i = 0; i < count; ++i)
            reader.read();
        return true;
    } catch (...) {
    }
    EventList &created = okukipo::recordsBeingLoaded();
    for (OKUEvent *record : created)
        delete record;
    created.clear();
    archive.rewind(first);
    return false;
}

// Deletes the records that were created but not taken into the flight.
void deleteOrphanedRecords(const EventList &events)
{
    EventList &created = okukipo::recordsBeingLoaded();
    if (!created.empty() && created != events) {
        const EventList all = sortedOnce(created);
        const EventList taken = sortedOnce(events);
        EventList orphans;
        std::set_difference(all.begin(), all.end(), taken.begin(), taken.end(), std::back_inserter(orphans),
                            byAddress);
        for (OKUEvent *orphan : orphans)
            delete orphan;
    }
    // Give the memory back: the list is as long as the largest flight.
    EventList().swap(created);
}

// Lets the archive read bytes where they are.
class ByteSource : public std::streambuf
{
public:
    explicit ByteSource(const QByteArray &bytes)
    {
        char *begin = const_cast<char *>(bytes.constData());
        setg(begin, begin, begin + bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode mode) override
    {
        const off_type origin = direction == std::ios_base::beg ? 0
                                : direction == std::ios_base::cur ? gptr() - eback()
                                                                  : egptr() - eback();
        return seekpos(pos_type(origin + offset), mode);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode) override
    {
        if (off_type(position) < 0 || off_type(position) > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + off_type(position), egptr());
        return position;
    }
};

// Feeds the archive from a file in pieces: a large flight file is never
// held in memory whole.
class FileSource : public std::streambuf
{
public:
    explicit FileSource(QIODevice &file)
        : m_file(file)
    {
    }

protected:
    int_type underflow() override
    {
        const qint64 count = m_file.read(m_piece.data(), qint64(m_piece.size()));
        if (count <= 0)
            return traits_type::eof();
        setg(m_piece.data(), m_piece.data(), m_piece.data() + count);
        return traits_type::to_int_type(m_piece.front());
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode mode) override
    {
        const off_type origin = direction == std::ios_base::beg ? 0
                                : direction == std::ios_base::cur ? m_file.pos() - (egptr() - gptr())
                                                                  : m_file.size();
        return seekpos(pos_type(origin + offset), mode);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode) override
    {
        if (!m_file.seek(qint64(position)))
            return pos_type(off_type(-1));
        setg(m_piece.data(), m_piece.data(), m_piece.data());
        return position;
    }

private:
    QIODevice &m_file;
    std::array<char, 64 * 1024> m_piece;
};

// Hands the archive's bytes to the file in pieces: a large flight is never
// held in memory whole.  A short write (a full disk) is remembered rather
// than reported to the archive, so that the archive finishes as usual and
// the save fails afterwards.
class FileSink : public std::streambuf
{
public:
    explicit FileSink(QIODevice &file)
        : m_file(file)
    {
        setp(m_piece.data(), m_piece.data() + m_piece.size());
    }

    // Writes what is pending; false once the file took fewer bytes than it was given.
    bool complete()
    {
        writePending();
        return m_complete;
    }

protected:
    int_type overflow(int_type c) override
    {
        writePending();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

private:
    void writePending()
    {
        const qint64 count = pptr() - pbase();
        if (m_complete && count > 0 && m_file.write(pbase(), count) != count)
            m_complete = false;
        setp(m_piece.data(), m_piece.data() + m_piece.size());
    }

    QIODevice &m_file;
    std::array<char, 64 * 1024> m_piece;
    bool m_complete = true;
};

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
    registerEventClasses(archive, StoredEventClasses());
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
// only records the archive created are taken (see createdRecordsOnce).
// A vector is an object with class information: at its first (here only)
// appearance in the archive its tracking flag (off) and class version (0)
// come before the count.
template<class Archive>
void OKUKIPOFlight::saveEvents(Archive &archive) const
{
    archive << boost::archive::tracking_type(false) << boost::archive::version_type(0);
    const boost::serialization::collection_size_type count(events.size());
    archive << count;
    const boost::serialization::item_version_type itemVersion(0);
    archive << itemVersion;
    RecordWriter writer(archive);
    for (OKUEvent *event : events)
        writer.write(*event);
}

template<class Archive>
void OKUKIPOFlight::loadEvents(Archive &archive)
{
    // Neither changes what follows: the vector is never tracked, and its
    // layout is the same in every version.
    boost::archive::tracking_type tracking;
    boost::archive::version_type vectorVersion;
    archive >> tracking >> vectorVersion;
    boost::serialization::collection_size_type count;
    archive >> count;
    if (boost::serialization::library_version_type(3) < archive.get_library_version()) {
        boost::serialization::item_version_type itemVersion(0);
        archive >> itemVersion;
    }
    // A damaged count must not reserve memory that the rest of the file
    // cannot fill (16 MB for every damaged file made reading them slow);
    // past this the lists grow as entries arrive.
    const std::streamoff remaining = archive.remainingBytes();
    const std::size_t expected =
        std::min<std::size_t>(count, remaining < 0 ? 1 << 16 : std::size_t(remaining) / smallestRecordBytes);
    okukipo::recordsBeingLoaded().reserve(expected);
    if (readRecordsDirectly(archive, count)) {
        events.swap(okukipo::recordsBeingLoaded());
        return;
    }
    events.reserve(expected);
    // The entries are checked once all are read, and before anything
    // dereferences them, also when the file ends early.
    try {
        for (std::size_t i = 0; i < count; ++i) {
            OKUEvent *entry = nullptr;
            archive >> entry;
            events.push_back(entry);
        }
    } catch (...) {
        events = createdRecordsOnce(std::move(events));
        throw;
    }
    events = createdRecordsOnce(std::move(events));
}

bool OKUKIPOFlight::save(const QString &path)
{
    trace(QStringLiteral("Saving..."));
    QSaveFile file(path);
    // A folder that takes no new files may still hold a writable target.
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (a full disk) shows in write()'s count;
    // a buffered flush would let it pass unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    FileSink sink(file);
    std::ostream stream(&sink);
    archiveErrorSeen = false;
    {
        FlightOArchive archive(stream);
        trace(QStringLiteral("Serializing..."));
        archive << static_cast<const OKUKIPOFlight &>(*this);
    }
    if (archiveErrorSeen || !stream || !sink.complete())
        return false;
    return file.commit();
}

bool OKUKIPOFlight::load(const QString &path)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    trace(QStringLiteral("Checking..."));
    if (opened) {
        FileSource source(file);
        readFrom(source);
        if (file.error() == QFileDevice::NoError) {
            processFlight();
            return true;
        }
        // What came before a read error is no flight.
        clear();
    }
    m_loadOutcome = LoadOutcome::Unreadable;
    m_loadError = file.errorString();
    trace(QStringLiteral("file not good: ") + path);
    return false;
}

void OKUKIPOFlight::readFromBytes(const QByteArray &bytes)
{
    ByteSource source(bytes);
    readFrom(source);
}

void OKUKIPOFlight::clear()
{
    clearEvents();
    value16 = 256;
    notes.clear();
    settings = OKUKIPOSettings();
    accelInverted = false;
    clearAnalysis();
}

void OKUKIPOFlight::readFrom(std::streambuf &source)
{
    clear();
    std::istream stream(&source);
    okukipo::recordsBeingLoaded().clear();
    archiveErrorSeen = false;
    bool headerRead = false;
    try {
        FlightIArchive archive(stream);
        headerRead = true;
        trace(QStringLiteral("Loading..."));
        archive >> *this;
        trace(QStringLiteral("Loaded"));
    } catch (const std::exception &error) {
        // A bad header or an unsupported flight version, met before serialize().
        reportArchiveError(error);
    }
    m_loadOutcome = !headerRead      ? LoadOutcome::NotAFlightFile
                    : archiveErrorSeen ? LoadOutcome::Partial
                                       : LoadOutcome::Complete;
    m_loadError = archiveErrorSeen ? archiveError : QString();
    deleteOrphanedRecords(events);

    trace(QStringLiteral("Straightening..."));
    // Files are saved in order; only old or damaged ones need the sort.
    if (!std::is_sorted(events.begin(), events.end(), earlierEvent))
        std::sort(events.begin(), events.end(), earlierEvent);
}
