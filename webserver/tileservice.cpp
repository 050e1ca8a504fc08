#include "webserver/tileservice.h"

#include "model/trace.h"
#include "webserver/httpserver/httpresponse.h"

#include <QRegularExpression>

namespace {

// Eviction walks the whole cache, so it runs only now and then.
constexpr int StoresPerEviction = 64;

void answer(quorl::HttpResponse &response, int status, const QByteArray &description, const QByteArray &body)
{
    response.setStatus(status, description);
    response.setHeader("Content-Type", status == 200 ? "image/png" : "text/plain; charset=UTF-8");
    response.write(body, true);
}

} // namespace

TileService::Source::Source(const tiles::TileSettings &settings, const QString &cacheRoot, int fetchTimeoutMs)
    : cache(settings.urlTemplate, cacheRoot)
    , fetcher(settings.urlTemplate, fetchTimeoutMs)
    , settings(settings)
{
}

TileService::TileService(const QString &cacheRoot)
    : m_cacheRoot(cacheRoot)
    , m_source(std::make_shared<Source>(tiles::TileSettings(), cacheRoot, 5000))
{
}

void TileService::configure(const tiles::TileSettings &settings, int fetchTimeoutMs)
{
    auto replacement = std::make_shared<Source>(settings, m_cacheRoot, fetchTimeoutMs);
    const QMutexLocker lock(&m_mutex);
    m_source = std::move(replacement);
}

std::shared_ptr<TileService::Source> TileService::source() const
{
    const QMutexLocker lock(&m_mutex);
    return m_source;
}

std::optional<tiles::TileId> TileService::tileOfPath(const QByteArray &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/tiles/(\\d{1,7})/(\\d{1,7})/(\\d{1,7})\\.png$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(path));
    if (!match.hasMatch())
        return std::nullopt;
    const tiles::TileId tile{ match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt() };
    if (!tiles::isValid(tile))
        return std::nullopt;
    return tile;
}

void TileService::service(const QByteArray &path, quorl::HttpResponse &response)
{
    const std::optional<tiles::TileId> tile = tileOfPath(path);
    if (!tile) {
        answer(response, 400, "Bad Request",
               "A tile is /tiles/{z}/{x}/{y}.png with whole numbers within the zoom's grid, not " + path);
        return;
    }
    const std::shared_ptr<Source> current = source();
    const std::optional<TileCache::Entry> cached = current->cache.read(*tile);
    if (cached && cached->fresh) {
        answer(response, 200, "OK", cached->data);
        return;
    }
    const TileFetcher::Result fetched = current->fetcher.fetch(*tile);
    if (fetched.outcome == TileFetcher::Result::Fetched) {
        current->cache.store(*tile, fetched.data, fetched.expires, TileCache::Kind::Viewed);
        if (m_storesSinceEviction.fetchAndAddRelaxed(1) % StoresPerEviction == 0)
            TileCache::evict(current->settings.cacheLimitBytes, m_cacheRoot);
        answer(response, 200, "OK", fetched.data);
    } else if (cached) {
        // An expired tile beats none when the source cannot be reached.
        answer(response, 200, "OK", cached->data);
    } else {
        okukipo::trace(QStringLiteral("Tile not available: ") + QString::fromLatin1(path));
        answer(response, 404, "Not Found", "Tile not cached and not available from the source");
    }
}
