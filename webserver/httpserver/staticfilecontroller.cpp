#include "webserver/httpserver/staticfilecontroller.h"

#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/httpresponse.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtDebug>

namespace quorl {
namespace {

const qint64 blockSize = 65536;

bool isResourcePath(const QString &path)
{
    return path.startsWith(QLatin1String(":/")) || path.startsWith(QLatin1String("qrc://"));
}

} // namespace

StaticFileController::StaticFileController(const QSettings *settings, QObject *parent)
    : HttpRequestHandler(parent)
{
    maxAge = settings->value(QStringLiteral("maxAge"), QStringLiteral("60000")).toInt();
    const QString encoding = settings->value(QStringLiteral("encoding"), QStringLiteral("UTF-8")).toString();
    // Text files carry it on every response; made once here instead.
    charset = "; charset=" + encoding.toLatin1();
    docroot = settings->value(QStringLiteral("path"), QStringLiteral(".")).toString();
    if (!isResourcePath(docroot) && QDir::isRelativePath(docroot))
        docroot = QDir::cleanPath(QFileInfo(settings->fileName()).absoluteDir().absoluteFilePath(docroot));
    const QString resolvedDocroot = isResourcePath(docroot) ? QString() : QFileInfo(docroot).canonicalFilePath();
    canonicalDocroot = resolvedDocroot.isEmpty() ? QDir::cleanPath(docroot) : resolvedDocroot;
    docrootPrefix = canonicalDocroot.endsWith(QLatin1Char('/')) ? canonicalDocroot : canonicalDocroot + QLatin1Char('/');
    qDebug("StaticFileController: docroot=%s, encoding=%s, maxAge=%i", qPrintable(docroot), qPrintable(encoding),
           maxAge);
    maxCachedFileSize = settings->value(QStringLiteral("maxCachedFileSize"), QStringLiteral("65536")).toInt();
    cache.setMaxCost(settings->value(QStringLiteral("cacheSize"), QStringLiteral("1000000")).toInt());
    cacheTimeout = settings->value(QStringLiteral("cacheTime"), QStringLiteral("60000")).toInt();
    qDebug("StaticFileController: cache timeout=%i, size=%i", cacheTimeout, cache.maxCost());
}

void StaticFileController::service(HttpRequest &request, HttpResponse &response)
{
    const QByteArray path = request.getPath();
    if (!serveFromCache(path, response))
        serveFile(path, response);
}

bool StaticFileController::serveFromCache(const QByteArray &path, HttpResponse &response)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QByteArray document;
    QString fileName;
    {
        QMutexLocker lock(&mutex);
        const CacheEntry *entry = cache.object(path);
        if (!entry || (cacheTimeout != 0 && now - entry->created >= cacheTimeout))
            return false;
        document = entry->document;
        fileName = entry->fileName;
    }
    qDebug("StaticFileController: Cache hit for %s", path.constData());
    setContentType(fileName, response);
    setCacheControl(response);
    response.write(document, true);
    return true;
}

void StaticFileController::serveFile(QByteArray path, HttpResponse &response)
{
    const qint64 requestTime = QDateTime::currentMSecsSinceEpoch();
    const QByteArray cacheKey = path;
    qDebug("StaticFileController: Cache miss for %s", path.constData());
    if (path.contains("/..")) {
        qWarning("StaticFileController: detected forbidden characters in path %s", path.constData());
        refuse(response);
        return;
    }
    // One QFileInfo serves the folder check and the document root check, so
    // that the file is looked up once.
    QFileInfo info(docroot + QString::fromUtf8(path));
    if (info.isDir()) {
        path += "/index.html";
        info.setFile(docroot + QString::fromUtf8(path));
    }
    const QString fileName = info.filePath();
    // Doubled slashes, a path without its leading slash or a symbolic link
    // must not lead a request out of the document root.
    const QString resolvedFileName = resolveInsideDocroot(info);
    if (resolvedFileName.isEmpty()) {
        qWarning("StaticFileController: path %s leads outside the document root", path.constData());
        refuse(response);
        return;
    }
    QFile file(resolvedFileName);
    qDebug("StaticFileController: Open file %s", qPrintable(file.fileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            qWarning("StaticFileController: Cannot open existing file %s for reading", qPrintable(file.fileName()));
            refuse(response);
        } else {
            response.setStatus(404, "not found");
            response.write("404 not found", true);
        }
        return;
    }
    setContentType(fileName, response);
    setCacheControl(response);
    const bool cacheable = file.size() <= maxCachedFileSize;
    QByteArray document;
    while (!file.atEnd()) {
        const QByteArray block = file.read(blockSize);
        if (block.isEmpty())
            break; // a read error; the response ends with what was sent
        if (cacheable)
            document += block;
        response.write(block, file.atEnd());
    }
    if (!cacheable)
        return;
    QMutexLocker lock(&mutex);
    cache.insert(cacheKey, new CacheEntry{document, requestTime, QString::fromUtf8(path)}, document.size());
}

QString StaticFileController::resolveInsideDocroot(const QFileInfo &info) const
{
    QString resolved = QDir::cleanPath(info.filePath());
    if (!isResourcePath(docroot) && info.exists())
        resolved = info.canonicalFilePath();
    const bool inside = resolved == canonicalDocroot || resolved.startsWith(docrootPrefix);
    return inside ? resolved : QString();
}

void StaticFileController::refuse(HttpResponse &response)
{
    response.setStatus(403, "forbidden");
    response.write("403 forbidden", true);
}

void StaticFileController::setCacheControl(HttpResponse &response) const
{
    response.setHeader("Cache-Control", "max-age=" + QByteArray::number(maxAge / 1000));
}

void StaticFileController::setContentType(const QString &fileName, HttpResponse &response) const
{
    static const QList<QPair<QString, QByteArray>> fixedTypes = {
        {QStringLiteral(".png"), "image/png"},
        {QStringLiteral(".jpg"), "image/jpeg"},
        {QStringLiteral(".gif"), "image/gif"},
        {QStringLiteral(".pdf"), "application/pdf"},
        {QStringLiteral(".css"), "text/css"},
        {QStringLiteral(".js"), "text/javascript"},
        {QStringLiteral(".svg"), "image/svg+xml"},
        {QStringLiteral(".woff"), "font/woff"},
        {QStringLiteral(".woff2"), "font/woff2"},
        {QStringLiteral(".ttf"), "application/x-font-ttf"},
        {QStringLiteral(".eot"), "application/vnd.ms-fontobject"},
        {QStringLiteral(".otf"), "application/font-otf"},
    };
    if (fileName.endsWith(QLatin1String(".txt"))) {
        response.setHeader("Content-Type", "text/plain" + charset);
        return;
    }
    if (fileName.endsWith(QLatin1String(".html")) || fileName.endsWith(QLatin1String(".htm"))) {
        response.setHeader("Content-Type", "text/html" + charset);
        return;
    }
    for (const auto &type : fixedTypes) {
        if (fileName.endsWith(type.first)) {
            response.setHeader("Content-Type", type.second);
            return;
        }
    }
    qDebug("StaticFileController: unknown MIME type for filename '%s'", qPrintable(fileName));
}

} // namespace quorl
