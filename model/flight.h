#pragma once

#include "model/events.h"
#include "model/settings.h"

#include <QMetaType>
#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace boost {
namespace serialization {
class access;
}
} // namespace boost

// One flight: its event records (owned, ordered by time after loading), the
// settings in force and the user's notes.  Passed between windows and
// threads as std::shared_ptr<OKUKIPOFlight>.
class OKUKIPOFlight
{
public:
    OKUKIPOFlight() = default;
    ~OKUKIPOFlight();
    OKUKIPOFlight(const OKUKIPOFlight &) = delete;
    OKUKIPOFlight &operator=(const OKUKIPOFlight &) = delete;

    // Owned; deleted with the flight.
    std::vector<OKUEvent *> events;
    // Stored and restored unchanged.
    quint16 value16 = 256;
    std::string notes;
    OKUKIPOSettings settings;
    // Set by the analysis when it found the acceleration negative and inverted it.
    bool accelInverted = false;

    // Writes the flight file atomically: on any failure the result is false
    // and an existing file at path is left as it was.
    bool save(const QString &path);
    // Reads a flight file into this (freshly constructed) flight, sorts the
    // events by time and analyses the flight.  False only when the file
    // cannot be read; a damaged file gives what could be read and an
    // "Error: " trace line.
    bool load(const QString &path);
    // The same for the bytes of a flight file that are already in memory.
    void loadFromBytes(const QByteArray &fileBytes);
    // Computes the analysis results from the events (model/flightanalysis.cpp).
    void processFlight();

    // Deletes every event.
    void clearEvents();

private:
    friend class boost::serialization::access;
    // The file form (model/flightfile.cpp).
    template<class Archive> void serialize(Archive &archive, unsigned int version);
    template<class Archive> void serializeFields(Archive &archive, unsigned int version);
    template<class Archive> void saveEvents(Archive &archive) const;
    template<class Archive> void loadEvents(Archive &archive);

public:
    // ---- Analysis results: computed by processFlight(), never stored ----
};

Q_DECLARE_METATYPE(std::shared_ptr<OKUKIPOFlight>)
