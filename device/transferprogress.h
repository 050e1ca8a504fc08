#pragma once

#include <QElapsedTimer>
#include <QString>

// What a download has read so far, how fast and how long the rest will
// take, as one line for beside a progress bar or on a terminal.  The rate
// is the average since start(), which is steady enough to plan with.
class TransferProgress
{
public:
    // Starts the clock: the transfer begins now with nothing read.
    void start();
    // bytesRead of totalBytes have arrived, now or elapsedMs after start().
    void update(qint64 totalBytes, qint64 bytesRead);
    void update(qint64 totalBytes, qint64 bytesRead, qint64 elapsedMs);

    qint64 bytesRead() const { return m_read; }
    qint64 totalBytes() const { return m_total; }
    bool isComplete() const { return m_total > 0 && m_read >= m_total; }
    // Kilobytes (1000 bytes) per second; 0 until something has arrived.
    double kilobytesPerSecond() const;
    // Whole seconds, rounded up; -1 while the rate is unknown.
    qint64 secondsLeft() const;

    // "48.0 of 120.0 kB, 12.0 kB/s, 6 s left"; "0.0 of 120.0 kB" while the
    // rate is unknown.
    QString text() const;

private:
    QElapsedTimer m_clock;
    qint64 m_total = 0;
    qint64 m_read = 0;
    qint64 m_elapsedMs = 0;
};
