#include "webserver/tilefetcher.h"

#include <QEventLoop>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTimer>

namespace {

// At most two requests to the source at a time, as its usage policy asks.
QSemaphore requestSlots(2);

constexpr qint64 UnreachablePauseMs = 30000;
constexpr qint64 DefaultLifetimeSeconds = 7 * 24 * 3600;

} // namespace

TileFetcher::TileFetcher(const QString &urlTemplate, int timeoutMs)
    : m_template(urlTemplate)
    , m_timeoutMs(timeoutMs)
{
}

QByteArray TileFetcher::userAgent()
{
    return QByteArrayLiteral("OKU KIPO Studio/" OKUKIPO_VERSION);
}

QUrl TileFetcher::urlOf(const tiles::TileId &tile) const
{
    QString url = m_template;
    url.replace(QLatin1String("{z}"), QString::number(tile.z));
    url.replace(QLatin1String("{x}"), QString::number(tile.x));
    url.replace(QLatin1String("{y}"), QString::number(tile.y));
    return QUrl(url, QUrl::StrictMode);
}

TileFetcher::Result TileFetcher::fetch(const tiles::TileId &tile)
{
    Result result;
    const QUrl url = urlOf(tile);
    if (!url.isValid() || QDateTime::currentMSecsSinceEpoch() < m_unreachableUntilMs)
        return result;
    if (!requestSlots.tryAcquire(1, m_timeoutMs))
        return result;

    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timeout.start(m_timeoutMs);
    loop.exec();
    requestSlots.release();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 200 && reply->error() == QNetworkReply::NoError) {
        result.outcome = Result::Fetched;
        result.data = reply->readAll();
        result.expires = expiryOf(reply->rawHeader("Cache-Control"), reply->rawHeader("Expires"),
                                  QDateTime::currentDateTimeUtc());
    } else if (status != 0) {
        result.outcome = Result::Refused;
    } else {
        m_unreachableUntilMs = QDateTime::currentMSecsSinceEpoch() + UnreachablePauseMs;
    }
    delete reply;
    return result;
}

QDateTime expiryOf(const QByteArray &cacheControl, const QByteArray &expires, const QDateTime &now)
{
    const QString control = QString::fromLatin1(cacheControl).toLower();
    if (control.contains(QLatin1String("no-cache")) || control.contains(QLatin1String("no-store")))
        return now;
    const QRegularExpressionMatch maxAge = QRegularExpression(QStringLiteral("(?:^|[,\\s])max-age=(\\d+)")).match(control);
    if (maxAge.hasMatch())
        return now.addSecs(maxAge.captured(1).toLongLong());
    QDateTime date = QLocale::c().toDateTime(QString::fromLatin1(expires).trimmed(),
                                             QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    date.setTimeSpec(Qt::UTC);
    if (date.isValid())
        return date;
    // An unreadable Expires means already expired.
    return expires.isEmpty() ? now.addSecs(DefaultLifetimeSeconds) : now;
}
