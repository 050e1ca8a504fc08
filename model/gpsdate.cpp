#include "model/gpsdate.h"

#include "model/events.h"

QDateTime gpsDateTime(const OKUEvent_GPSTime &time)
{
    static const QDateTime epoch(QDate(1980, 1, 6), QTime(0, 0), Qt::UTC);
    constexpr qint64 secondsPerWeek = 604800;
    return epoch.addSecs(qint64(time.week) * secondsPerWeek + qint64(time.timeOfWeek / 1000) - time.leapSeconds);
}
