#pragma once

#include "model/series.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

class OKUKIPOFlight;
struct SimulatedFlight;

// Flights and simulations side by side: each becomes a compared item with
// the same three curves and key moments, from which the statistics of the
// comparison table come.  Times are in the item's own time base; the
// alignment moves each item so that its launch (or apogee) is at 0.

enum class Alignment { Launch, Apogee };

struct ComparedItem {
    QString name; // the file name
    QString date; // when the flight was flown, as the legend shows it
    // False for a recording without a flight in it (a ground test): it has no statistics.
    bool flown = true;
    Series altitude;     // m above the altitude at launch
    Series velocity;     // m/s, vertical
    Series acceleration; // g, as the board's accelerometer reads it along the rocket
    float launchTime = 0.0f;
    float peakVelocityTime = 0.0f; // the end of the boost
    float apogeeTime = 0.0f;
    float landingTime = 0.0f;
    // The last recovery line or deployment that fired during the descent
    // (two seconds or more after apogee): the main parachute.
    std::optional<float> mainDeploymentTime;
    float maxAcceleration = 0.0f; // g, during the boost
    // Great-circle metres from the launch point to the landing point, with GPS.
    std::optional<double> landingDistance;

    // The time that becomes 0 under the alignment.
    float alignmentTime(Alignment alignment) const { return alignment == Alignment::Launch ? launchTime : apogeeTime; }
};

// A flight as analysed on loading: its analysis gives the moments.
ComparedItem comparedFlight(const OKUKIPOFlight &flight, const QString &name);
ComparedItem comparedSimulation(const SimulatedFlight &simulation, const QString &name);

// A flight file (.kipo) or a simulator's CSV (any other name).
struct ComparedItemLoading {
    std::optional<ComparedItem> item;
    QString error; // names the file and what is wrong
};
ComparedItemLoading loadComparedItem(const QString &path);

// The rows of the comparison table, in order.
enum class Statistic {
    Apogee,
    TimeToApogee,
    MaxVelocity,
    MaxAcceleration,
    BoostTime,
    DescentRate, // the mean over the last 30 % of the descent
    DescentRateBeforeMain,
    DescentRateAfterMain,
    FlightDuration,
    LandingDistance,
};
inline constexpr std::size_t StatisticCount = 10;
enum class Dimension { Length, Speed, Acceleration, Time };
struct StatisticName {
    const char *key;   // for scripts
    const char *label; // for people
    Dimension dimension;
};
const StatisticName &statisticName(Statistic statistic);

// In metres, m/s, g and seconds; empty where the item has no such value.
using Statistics = std::array<std::optional<double>, StatisticCount>;
Statistics comparisonStatistics(const ComparedItem &item);
// item − reference, where both have a value.
Statistics statisticDifferences(const Statistics &item, const Statistics &reference);

// The aligned curves every 0.05 s, one column per item and quantity, empty
// cells outside an item's data; false when the file cannot be written, and
// then a file of that name is left as it was.
bool exportComparisonCSV(const std::vector<ComparedItem> &items, Alignment alignment, const QString &path);
