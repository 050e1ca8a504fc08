#pragma once

#include <QString>

class OKUEvent_GPSTime;

// The live position the device console shares with map programs: a KML
// document with one placemark, rewritten at every GPS fix.
namespace livegps {

// "KIPO/temp/KIPO.kml" under the application directory, or under the
// user's data folder when the application directory cannot be written (an
// installed program).
QString kmlFilePath();
QString kmlDocument(double latitude, double longitude);
// Replaces the file as a whole, so that a reader never sees half of it.
bool writeKmlFile(const QString &path, double latitude, double longitude);

// "setPlacemark(lat, lon);" with six decimals each.
QString placemarkCall(double latitude, double longitude);

// The record's UTC time in local time, or its time of week in
// milliseconds when the receiver has no valid time yet.
QString gpsTimeText(const OKUEvent_GPSTime &time);

} // namespace livegps
