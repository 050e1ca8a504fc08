#pragma once

// Flights recorded by the virtual flight computer's flight model.

#include "approx.h"
#include "device/sim/flightmodel.h"
#include "model/flight.h"

using okukipo::sim::FlightProfile;
using okukipo::sim::FlightTruth;

// A recorded flight analysed as after loading.
inline std::shared_ptr<OKUKIPOFlight> analysedFlight(const FlightProfile &profile = FlightProfile(),
                                                     FlightTruth *truth = nullptr)
{
    const auto flight = okukipo::sim::simulatedFlight(profile, truth);
    flight->processFlight();
    return flight;
}
