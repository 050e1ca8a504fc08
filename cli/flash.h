#pragma once

#include "model/flight.h"

#include <QString>
#include <memory>
#include <vector>

// Saves flights as DIR/flight-1.kipo, DIR/flight-2.kipo, ... in the given
// order and prints the JSON list of them:
// [{"file": "flight-1.kipo", "events": N, "settingsValid": true}, ...].
// Returns the command's exit status (a failure has been reported).
int saveFlightsAndPrintList(const std::vector<std::shared_ptr<OKUKIPOFlight>> &flights, const QString &directory);
