#pragma once

#include "model/events.h"
#include "model/series.h"
#include "model/settings.h"

#include <QMetaType>
#include <QString>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <utility>
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
    EventList events;
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
    // Reads the bytes of a flight file that are already in memory as load()
    // does, but leaves the analysis to processFlight().
    void readFromBytes(const QByteArray &fileBytes);

    // How the last load went: callers that report to scripts must tell a
    // damaged flight file from something that is no flight file at all.
    enum class LoadOutcome {
        Complete,
        Partial,        // an archive error after the header: what was read is kept
        NotAFlightFile, // the archive header cannot be read
        Unreadable,     // the file cannot be opened or read
    };
    LoadOutcome loadOutcome() const { return m_loadOutcome; }
    // The archive's or the file's error of the last load; empty when it was complete.
    const QString &loadError() const { return m_loadError; }
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
    void readFrom(std::streambuf &fileBytes);
    // Back to a freshly constructed flight.
    void clear();

public:
    // ---- Analysis results: computed by processFlight(), never stored ----
    // Times are seconds in the flight's own time base.
    Series pressureAltitude; // m above mean sea level, from every pressure record
    Series gpsAltitude;      // m, from every 3D GPS solution
    Series accelZ;           // g along the rocket axis
    Series kalmanVelocity;   // m/s, every 0.1 s
    Series kalmanAltitude;   // m in the GPS frame, every 0.1 s
    Series accelX;           // g
    Series accelY;           // g
    Series gyroX;
    Series gyroY;
    Series gyroZ;

    // Reads any of the series at time t (see model/series.h).
    static SeriesPoint sampleSeries(const Series &series, float t) { return ::sampleSeries(series, t); }

    // The key moments of the flight; 0 for a flight without events.
    float endTime() const;
    float peakVelocityTime() const;
    float apogeeTime() const;
    float launchTime() const;
    float landingTime() const;
    bool isFlight() const;
    // The pressure altitude at launch (at the first event when this is no flight).
    float groundLevel() const;

    // Keeps the events between start and end (and the last one before start)
    // and analyses again; nothing happens unless start < end.
    void trim(float start, float end);
    // Moves the time base so that offset becomes 0 and analyses again.
    void zeroTime(float offset);

    // (time, value) of the largest value between launch and apogee, (0, 0)
    // when nothing qualifies.
    using Statistic = std::pair<float, float>;
    Statistic maxVerticalAcceleration() const; // g, during the boost
    Statistic maxRollX() const;                // signed rate
    Statistic maxRollY() const;
    Statistic maxRollZ() const;
    Statistic maxLateralAcceleration() const; // g, magnitude of X and Y

    // The GPS time record that dates the flight, or nullptr.
    const OKUEvent_GPSTime *flightDateEvent() const;
    // The first 3D GPS solution, or nullptr.
    const OKUEvent_GPSLLSol *firstValidGPS() const;

    // Exports (model/flightexports.cpp): false when the file cannot be
    // written; a file of that name is then left as it was.
    bool exportCSV(const QString &path) const;
    bool exportKML(const QString &path) const;
    bool exportEmulationData(const QString &path) const;
    // Masses in kilograms.
    bool exportThrustData(const QString &path, double totalMass, double propellantMass) const;

private:
    float firstEventTime() const;
    float lastEventTime() const;
    float computeLaunchTime() const;
    float computeLandingTime() const;
    bool computeIsFlight() const;
    void clearAnalysis();
    template<class Event, class Magnitude>
    const Event *largestDuringAscent(Magnitude magnitude) const;

    // Moments computed on first use after each analysis.
    struct MomentCache {
        std::optional<float> endTime;
        std::optional<float> landingTime;
        std::optional<float> groundLevel;
        std::optional<float> peakVelocityTime;
        std::optional<float> apogeeTime;
        std::optional<float> launchTime;
        // Asked by the flight list, the flight window and groundLevel(): a scan of the whole flight each.
        std::optional<bool> isFlight;
    };
    mutable MomentCache m_moments;

    LoadOutcome m_loadOutcome = LoadOutcome::Complete;
    QString m_loadError;
};

Q_DECLARE_METATYPE(std::shared_ptr<OKUKIPOFlight>)
