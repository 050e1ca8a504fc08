#include "webserver/tilecache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <vector>

namespace {

// File operations of all caches go one at a time: a tile read while it is
// moved or evicted would otherwise vanish half-way.
QMutex cacheMutex;

const char TileSuffix[] = ".png";
// Beside each tile: when it expires, seconds since 1970 (UTC).
const char ExpirySuffix[] = ".expires";

QString kindFolder(TileCache::Kind kind)
{
    return kind == TileCache::Kind::Saved ? QStringLiteral("saved") : QStringLiteral("viewed");
}

// The host keeps the folder recognisable; the hash keeps two templates of
// one host apart.
QString sourceFolderName(const QString &urlTemplate)
{
    QString host = QUrl(urlTemplate).host();
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("_"));
    const QByteArray hash = QCryptographicHash::hash(urlTemplate.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return (host.isEmpty() ? QStringLiteral("source") : host) + QLatin1Char('-') + QString::fromLatin1(hash);
}

QString expiryPath(const QString &tilePath)
{
    return tilePath.left(tilePath.size() - int(qstrlen(TileSuffix))) + QLatin1String(ExpirySuffix);
}

void removeTile(const QString &tilePath)
{
    QFile::remove(tilePath);
    QFile::remove(expiryPath(tilePath));
}

void touch(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

} // namespace

namespace tiles {

QString defaultServer()
{
    return QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
}

TileSettings settingsFrom(const QSettings &settings)
{
    TileSettings tileSettings;
    tileSettings.urlTemplate = settings.value(QLatin1String(ServerKey), defaultServer()).toString();
    bool valid = false;
    const qint64 limitMB = settings.value(QLatin1String(CacheLimitKey)).toLongLong(&valid);
    if (valid && limitMB >= 0)
        tileSettings.cacheLimitBytes = limitMB * 1024 * 1024;
    return tileSettings;
}

} // namespace tiles

TileCache::TileCache(const QString &urlTemplate, const QString &root)
    : m_folder(QDir(root).filePath(sourceFolderName(urlTemplate)))
{
}

QString TileCache::defaultRoot()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("okukipo/tiles"));
}

QString TileCache::pathOf(const tiles::TileId &tile, Kind kind) const
{
    return QStringLiteral("%1/%2/%3/%4/%5%6")
        .arg(m_folder, kindFolder(kind))
        .arg(tile.z)
        .arg(tile.x)
        .arg(tile.y)
        .arg(QLatin1String(TileSuffix));
}

QString TileCache::filePath(const tiles::TileId &tile) const
{
    for (const Kind kind : { Kind::Saved, Kind::Viewed }) {
        const QString path = pathOf(tile, kind);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

std::optional<TileCache::Entry> TileCache::read(const tiles::TileId &tile) const
{
    const QMutexLocker lock(&cacheMutex);
    const QString path = filePath(tile);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Entry entry{ file.readAll(), true };
    file.close();
    touch(path);
    QFile expiry(expiryPath(path));
    if (expiry.open(QIODevice::ReadOnly))
        entry.fresh = QDateTime::currentSecsSinceEpoch() < expiry.readAll().trimmed().toLongLong();
    return entry;
}

bool TileCache::store(const tiles::TileId &tile, const QByteArray &data, const QDateTime &expires, Kind kind) const
{
    const QMutexLocker lock(&cacheMutex);
    const QString existing = filePath(tile);
    if (existing == pathOf(tile, Kind::Saved))
        kind = Kind::Saved;
    else if (!existing.isEmpty())
        removeTile(existing);
    const QString path = pathOf(tile, kind);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    QSaveFile expiry(expiryPath(path));
    if (!file.open(QIODevice::WriteOnly) || !expiry.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    expiry.write(QByteArray::number(expires.toSecsSinceEpoch()));
    return file.commit() && expiry.commit();
}

bool TileCache::keep(const tiles::TileId &tile) const
{
    const QMutexLocker lock(&cacheMutex);
    const QString saved = pathOf(tile, Kind::Saved);
    const QString viewed = pathOf(tile, Kind::Viewed);
    if (QFile::exists(saved))
        return true;
    if (!QFile::exists(viewed))
        return false;
    QDir().mkpath(QFileInfo(saved).absolutePath());
    QFile::rename(expiryPath(viewed), expiryPath(saved));
    return QFile::rename(viewed, saved);
}

qint64 TileCache::size(const QString &root)
{
    const QMutexLocker lock(&cacheMutex);
    qint64 bytes = 0;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

bool TileCache::clear(const QString &root)
{
    const QMutexLocker lock(&cacheMutex);
    return QDir(root).removeRecursively();
}

void TileCache::evict(qint64 limitBytes, const QString &root)
{
    const QMutexLocker lock(&cacheMutex);
    struct Candidate {
        bool saved;
        QDateTime lastUse;
        qint64 bytes;
        QString path;
    };
    std::vector<Candidate> candidates;
    qint64 total = 0;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        total += info.size();
        if (!path.endsWith(QLatin1String(TileSuffix)))
            continue;
        // <source>/<kind>/z/x/y.png
        const QString kindPath = QDir::cleanPath(info.absolutePath() + QStringLiteral("/../.."));
        const bool saved = QFileInfo(kindPath).fileName() == kindFolder(Kind::Saved);
        candidates.push_back({ saved, info.lastModified(), info.size() + QFileInfo(expiryPath(path)).size(), path });
    }
    if (total <= limitBytes)
        return;
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.saved != b.saved ? !a.saved : a.lastUse < b.lastUse;
    });
    for (const Candidate &candidate : candidates) {
        if (total <= limitBytes)
            break;
        removeTile(candidate.path);
        total -= candidate.bytes;
    }
}
