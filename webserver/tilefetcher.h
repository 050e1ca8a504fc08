#pragma once

#include "model/tilerange.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <atomic>

// Fetches tiles from the one configured source, waiting for each reply, so
// that it serves the web server's handler threads and the area saver's
// thread alike.  All fetchers of the process share two request slots.
class TileFetcher
{
public:
    struct Result {
        enum Outcome { Fetched, Refused, Unreachable } outcome = Unreachable;
        QByteArray data;
        // From the source's Cache-Control or Expires headers.
        QDateTime expires;
    };

    explicit TileFetcher(const QString &urlTemplate, int timeoutMs = 5000);

    // The template with the tile's numbers in place; nothing else is ever requested.
    QUrl urlOf(const tiles::TileId &tile) const;
    Result fetch(const tiles::TileId &tile);

    // "OKU KIPO Studio/<version>".
    static QByteArray userAgent();

private:
    QString m_template;
    int m_timeoutMs;
    // After the source could not be reached, misses answer at once for a
    // while instead of each waiting for a time-out.
    std::atomic<qint64> m_unreachableUntilMs{ 0 };
};

// When a reply's cache headers let it expire: max-age wins over Expires;
// no-cache and no-store expire at once; without either, after a week.
QDateTime expiryOf(const QByteArray &cacheControl, const QByteArray &expires, const QDateTime &now);
