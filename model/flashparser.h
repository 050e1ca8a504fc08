#pragma once

#include "model/flight.h"

#include <QByteArray>
#include <memory>
#include <vector>

// Cuts a downloaded flash image into its flights, in memory order.  Each
// flight starts at a marker byte followed by the settings record in force
// (skipped unless its checksum holds) and runs until erased memory, an end
// byte, the next marker, an unknown code or the end of the image.  Event
// times are rebuilt from the time-delta records.  The last event of each
// flight is dropped: the device may have been switched off while writing it.
std::vector<std::shared_ptr<OKUKIPOFlight>> parseFlights(const QByteArray &flash);
