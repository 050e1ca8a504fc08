#pragma once

#include <QDateTime>

namespace okukipo::sim {

// GPS time ran ahead of UTC by this many seconds in the years the virtual
// device pretends to live in.
constexpr int GPSLeapSeconds = 18;

struct GPSWeekTime {
    quint16 week = 0;
    quint32 timeOfWeekMs = 0;
};

// The GPS week and time of week of a UTC instant.
inline GPSWeekTime gpsWeekTime(const QDateTime &utc)
{
    static const QDateTime epoch(QDate(1980, 1, 6), QTime(0, 0), Qt::UTC);
    constexpr qint64 WeekMs = 7LL * 24 * 3600 * 1000;
    const qint64 sinceEpoch = epoch.msecsTo(utc) + GPSLeapSeconds * 1000LL;
    return {quint16(sinceEpoch / WeekMs), quint32(sinceEpoch % WeekMs)};
}

} // namespace okukipo::sim
