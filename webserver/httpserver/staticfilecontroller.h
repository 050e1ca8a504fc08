#pragma once

#include "webserver/httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QCache>
#include <QMutex>
#include <QString>

class QFileInfo;
class QSettings;

namespace quorl {

// Serves the files under the document root, keeping small ones in a memory
// cache.  A request never reads a file outside the document root.
class StaticFileController : public HttpRequestHandler
{
    Q_OBJECT

public:
    StaticFileController(const QSettings *settings, QObject *parent = nullptr);

    void service(HttpRequest &request, HttpResponse &response) override;
    void setContentType(const QString &fileName, HttpResponse &response) const;
    QString documentRoot() const { return docroot; }

private:
    struct CacheEntry {
        QByteArray document;
        qint64 created;
        QString fileName; // the requested path, which names the content type
    };

    bool serveFromCache(const QByteArray &path, HttpResponse &response);
    void serveFile(QByteArray path, HttpResponse &response);
    void setCacheControl(HttpResponse &response) const;
    // The file's real path with links resolved, or empty when it lies outside the document root.
    QString resolveInsideDocroot(const QFileInfo &info) const;
    static void refuse(HttpResponse &response);

    QString docroot;
    QString canonicalDocroot;
    QString docrootPrefix;
    QByteArray charset;
    int maxAge;
    int cacheTimeout;
    int maxCachedFileSize;
    QMutex mutex;
    QCache<QByteArray, CacheEntry> cache;
};

} // namespace quorl
