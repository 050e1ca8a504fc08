#pragma once

#include "webserver/tilecache.h"
#include "webserver/tilefetcher.h"

#include <QMutex>
#include <memory>
#include <optional>

namespace quorl {
class HttpResponse;
}

// Answers "/tiles/{z}/{x}/{y}.png" from the tile cache, fetching a missing
// or expired tile from the configured source.  A tile it cannot get is a
// 404 at once, and the map page draws its tracks on the plain background.
class TileService
{
public:
    explicit TileService(const QString &cacheRoot = TileCache::defaultRoot());

    // Safe while requests are served; the last settings win.  An empty
    // template fetches nothing: the cache alone answers.
    void configure(const tiles::TileSettings &settings, int fetchTimeoutMs = 5000);
    tiles::TileSettings settings() const { return source()->settings; }
    QString cacheRoot() const { return m_cacheRoot; }

    // The tile of "/tiles/{z}/{x}/{y}.png"; nothing for any other path or
    // for numbers outside the tile grid.
    static std::optional<tiles::TileId> tileOfPath(const QByteArray &path);

    void service(const QByteArray &path, quorl::HttpResponse &response);

private:
    struct Source {
        Source(const tiles::TileSettings &settings, const QString &cacheRoot, int fetchTimeoutMs);
        TileCache cache;
        TileFetcher fetcher;
        tiles::TileSettings settings;
    };
    std::shared_ptr<Source> source() const;

    const QString m_cacheRoot;
    mutable QMutex m_mutex;
    std::shared_ptr<Source> m_source;
    QAtomicInt m_storesSinceEviction;
};
