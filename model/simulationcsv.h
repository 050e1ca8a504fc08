#pragma once

#include "model/series.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// A flight as a rocket flight simulator computed it, read from the CSV it
// exports: lines starting with '#' are comments, the column names stand in a
// comment line (or the first other line) with as many fields as the data
// rows, and event comments ("# Event APOGEE occurred at t=12.3 seconds") may
// come anywhere.  Values are converted to the model's units.
struct SimulatedFlight {
    Series altitude;     // m, as the simulator counts it
    Series velocity;     // m/s, vertical
    Series acceleration; // g, vertical
    // Times of the simulator's events, when it reported them.
    std::optional<float> launchEvent;
    std::optional<float> burnoutEvent;
    std::optional<float> apogeeEvent;
    std::vector<float> deploymentEvents;
};

// Reading a simulator's CSV: the flight, or an error naming the line and
// what was expected there.
struct SimulationReading {
    std::optional<SimulatedFlight> flight;
    QString error;
};

SimulationReading readSimulationCSV(const QByteArray &text);
SimulationReading readSimulationFile(const QString &path);
