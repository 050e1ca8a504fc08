#pragma once

#include "model/tilerange.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

class QSettings;

namespace tiles {

// The "settings.ini" keys of the map tiles.
inline constexpr char ServerKey[] = "tileServer";
inline constexpr char CacheLimitKey[] = "tileCacheLimitMB";
inline constexpr qint64 DefaultCacheLimitMB = 500;
QString defaultServer();

struct TileSettings {
    // The source's URL with {z}, {x} and {y} in place of the tile's numbers.
    QString urlTemplate = defaultServer();
    qint64 cacheLimitBytes = DefaultCacheLimitMB * 1024 * 1024;
};
TileSettings settingsFrom(const QSettings &settings);

} // namespace tiles

// The tiles kept on disk, one folder per tile source under the user's cache
// folder.  Tiles of saved areas and merely viewed tiles are kept apart, so
// that the size limit takes viewed tiles first, each kind least recently
// used first (a tile's modification time is its last use).  Safe to use
// from several threads.
class TileCache
{
public:
    enum class Kind { Viewed, Saved };

    struct Entry {
        QByteArray data;
        // False once the source's cache headers say it should be fetched anew.
        bool fresh = true;
    };

    explicit TileCache(const QString &urlTemplate, const QString &root = defaultRoot());

    // "<user cache>/okukipo/tiles", shared by the program and okukipo-cli.
    static QString defaultRoot();
    // The bytes of every source's tiles under root.
    static qint64 size(const QString &root = defaultRoot());
    static bool clear(const QString &root = defaultRoot());

    // A cached tile, now counted as just used.
    std::optional<Entry> read(const tiles::TileId &tile) const;
    // Replaces the tile; a tile once saved stays saved.
    bool store(const tiles::TileId &tile, const QByteArray &data, const QDateTime &expires, Kind kind) const;
    // Moves a cached tile among the saved ones; false when it is not cached.
    bool keep(const tiles::TileId &tile) const;
    // The file of a cached tile; empty when it is not cached.
    QString filePath(const tiles::TileId &tile) const;

    // Removes tiles under root until they take at most limitBytes.
    static void evict(qint64 limitBytes, const QString &root = defaultRoot());

    QString folder() const { return m_folder; }

private:
    QString pathOf(const tiles::TileId &tile, Kind kind) const;

    QString m_folder;
};
