#pragma once

#include "model/tilerange.h"
#include "webserver/tilecache.h"

#include <QObject>
#include <QVector>
#include <atomic>
#include <memory>

class QThread;

// Fetches the tiles of an area into the cache on a thread of its own and
// keeps them among the saved tiles; tiles already cached are only moved
// there.  The signals reach the thread that created the saver.
class TileAreaSaver : public QObject
{
    Q_OBJECT

public:
    TileAreaSaver(const tiles::TileSettings &settings, const QVector<tiles::TileId> &tiles,
                  const QString &cacheRoot = TileCache::defaultRoot(), QObject *parent = nullptr);
    // Cancels and waits for the tile in flight.
    ~TileAreaSaver() override;

    void start();
    void cancel() { m_cancelled = true; }

signals:
    void progress(int done, int total);
    // failed: tiles neither cached nor available from the source.
    void finished(int saved, int failed, bool cancelled);

private:
    void run();

    const tiles::TileSettings m_settings;
    const QVector<tiles::TileId> m_tiles;
    const QString m_cacheRoot;
    std::atomic<bool> m_cancelled{ false };
    std::unique_ptr<QThread> m_thread;
};
