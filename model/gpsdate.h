#pragma once

#include <QDateTime>

class OKUEvent_GPSTime;

// The UTC instant of a GPS time record.  GPS time runs ahead of UTC by the
// leap seconds the receiver reports with it, so they are taken off.
QDateTime gpsDateTime(const OKUEvent_GPSTime &time);
