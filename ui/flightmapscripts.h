#pragma once

#include "model/tilerange.h"

#include <QString>
#include <optional>

class OKUKIPOFlight;

// The scripts a flight window runs in the map page ("KIPO.html"), whose
// functions plotKML, plotGroudTrack, setPlacemark and flyTo draw the flight.
namespace flightmap {

// One call wrapped so that a failing or missing page function only writes
// to the page's console.
QString guarded(const QString &call);

// "plotKML('<kml document on one line>');" for the flight's 3D fixes; the
// altitudes are the Kalman-filtered ones when kalmanAltitude is set, else
// the receiver's.
QString plotKmlCall(const OKUKIPOFlight &flight, bool kalmanAltitude);
// "plotGroudTrack([lon,lat,...]);" with the 3D fixes that moved more than
// 0.001 degrees from the last one taken.
QString groundTrackCall(const OKUKIPOFlight &flight);
// "setPlacemark(lat, lon);" at the last 3D fix; empty without one.
QString placemarkCall(const OKUKIPOFlight &flight);
// Moves the map to the flight; a page without flyTo stays silent.
QString flyToCall();

// The box around the flight's 3D fixes with a margin of marginKm on each
// side; nothing without a fix.
std::optional<tiles::GeoBox> trackBox(const OKUKIPOFlight &flight, double marginKm);

} // namespace flightmap
