#include "device/transferprogress.h"

#include <algorithm>
#include <cmath>

namespace {

QString kilobytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1000.0, 'f', 1);
}

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void TransferProgress::start()
{
    m_clock.start();
    m_total = 0;
    m_read = 0;
    m_elapsedMs = 0;
}

void TransferProgress::update(qint64 totalBytes, qint64 bytesRead)
{
    update(totalBytes, bytesRead, m_clock.isValid() ? m_clock.elapsed() : 0);
}

void TransferProgress::update(qint64 totalBytes, qint64 bytesRead, qint64 elapsedMs)
{
    m_total = std::max<qint64>(totalBytes, 0);
    m_read = std::clamp<qint64>(bytesRead, 0, m_total);
    m_elapsedMs = std::max<qint64>(elapsedMs, 0);
}

double TransferProgress::kilobytesPerSecond() const
{
    if (m_read == 0 || m_elapsedMs == 0)
        return 0.0;
    // Bytes per millisecond are kilobytes per second.
    return double(m_read) / double(m_elapsedMs);
}

qint64 TransferProgress::secondsLeft() const
{
    if (isComplete())
        return 0;
    const double rate = kilobytesPerSecond();
    if (rate <= 0.0)
        return -1;
    return qint64(std::ceil(double(m_total - m_read) / 1000.0 / rate));
}

QString TransferProgress::text() const
{
    QString line = QStringLiteral("%1 of %2 kB").arg(kilobytes(m_read), kilobytes(m_total));
    const qint64 left = secondsLeft();
    if (left >= 0)
        line += QStringLiteral(", %1 kB/s, %2 left").arg(QString::number(kilobytesPerSecond(), 'f', 1), duration(left));
    return line;
}
