#include "webserver/tileareasaver.h"

#include "webserver/tilefetcher.h"

#include <QThread>

TileAreaSaver::TileAreaSaver(const tiles::TileSettings &settings, const QVector<tiles::TileId> &tiles,
                             const QString &cacheRoot, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_tiles(tiles)
    , m_cacheRoot(cacheRoot)
{
}

TileAreaSaver::~TileAreaSaver()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void TileAreaSaver::start()
{
    if (m_thread)
        return;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

void TileAreaSaver::run()
{
    const TileCache cache(m_settings.urlTemplate, m_cacheRoot);
    TileFetcher fetcher(m_settings.urlTemplate);
    int saved = 0;
    int failed = 0;
    int done = 0;
    for (const tiles::TileId &tile : m_tiles) {
        if (m_cancelled)
            break;
        const std::optional<TileCache::Entry> cached = cache.read(tile);
        if (cached && cached->fresh) {
            cache.keep(tile);
            ++saved;
        } else {
            const TileFetcher::Result fetched = fetcher.fetch(tile);
            if (fetched.outcome == TileFetcher::Result::Fetched
                && cache.store(tile, fetched.data, fetched.expires, TileCache::Kind::Saved))
                ++saved;
            // An expired copy still serves at the field.
            else if (cached && cache.keep(tile))
                ++saved;
            else
                ++failed;
        }
        emit progress(++done, m_tiles.size());
    }
    TileCache::evict(m_settings.cacheLimitBytes, m_cacheRoot);
    emit finished(saved, failed, m_cancelled);
}
