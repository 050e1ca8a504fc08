#include "webserver/httpserver/httpconnectionhandlerpool.h"

#include "webserver/httpserver/httpconnectionhandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QtDebug>

namespace quorl {

HttpConnectionHandlerPool::HttpConnectionHandlerPool(const QSettings *settings, HttpRequestHandler *requestHandler)
    : settings(settings)
    , requestHandler(requestHandler)
    , minThreads(settings->value(QStringLiteral("minThreads"), 1).toInt())
    , maxThreads(settings->value(QStringLiteral("maxThreads"), 100).toInt())
{
    loadSslConfig();
    connect(&cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
    cleanupTimer.start(settings->value(QStringLiteral("cleanupInterval"), 1000).toInt());
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    qDeleteAll(pool);
}

HttpConnectionHandler *HttpConnectionHandlerPool::getConnectionHandler()
{
    QMutexLocker lock(&mutex);
    for (HttpConnectionHandler *handler : qAsConst(pool)) {
        if (!handler->isBusy()) {
            handler->setBusy();
            return handler;
        }
    }
    if (pool.size() >= maxThreads)
        return nullptr;
    auto *handler = new HttpConnectionHandler(settings, requestHandler, sslConfiguration.get());
    handler->setBusy();
    pool.append(handler);
    return handler;
}

void HttpConnectionHandlerPool::cleanup()
{
    HttpConnectionHandler *removed = nullptr;
    int remaining = 0;
    {
        QMutexLocker lock(&mutex);
        int idleCount = 0;
        for (HttpConnectionHandler *handler : qAsConst(pool)) {
            if (!handler->isBusy() && ++idleCount > minThreads) {
                removed = handler;
                pool.removeOne(handler);
                break;
            }
        }
        remaining = pool.size();
    }
    if (!removed)
        return;
    // Outside the lock: stopping the handler's thread waits for it.
    delete removed;
    qDebug("HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %i",
           static_cast<void *>(removed), remaining);
}

void HttpConnectionHandlerPool::loadSslConfig()
{
    const QString keyFileName = settings->value(QStringLiteral("sslKeyFile")).toString();
    const QString certFileName = settings->value(QStringLiteral("sslCertFile")).toString();
    if (keyFileName.isEmpty() || certFileName.isEmpty())
        return;
#ifdef QT_NO_SSL
    qWarning("HttpConnectionHandlerPool: SSL is not supported");
#else
    if (!QSslSocket::supportsSsl()) {
        qWarning("HttpConnectionHandlerPool: SSL is not supported");
        return;
    }
    const QDir configDir = QFileInfo(settings->fileName()).absoluteDir();
    QFile certFile(configDir.absoluteFilePath(certFileName));
    if (!certFile.open(QIODevice::ReadOnly)) {
        qCritical("HttpConnectionHandlerPool: cannot open sslCertFile %s", qPrintable(certFile.fileName()));
        return;
    }
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    QFile keyFile(configDir.absoluteFilePath(keyFileName));
    if (!keyFile.open(QIODevice::ReadOnly)) {
        qCritical("HttpConnectionHandlerPool: cannot open sslKeyFile %s", qPrintable(keyFile.fileName()));
        return;
    }
    const QByteArray keyText = keyFile.readAll();
    QSslKey key(keyText, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
    if (certificate.isNull() || key.isNull()) {
        qCritical("HttpConnectionHandlerPool: cannot read the SSL certificate or key");
        return;
    }
    sslConfiguration = std::make_unique<QSslConfiguration>();
    sslConfiguration->setLocalCertificate(certificate);
    sslConfiguration->setPrivateKey(key);
    sslConfiguration->setPeerVerifyMode(QSslSocket::VerifyNone);
    qDebug("HttpConnectionHandlerPool: SSL settings loaded");
#endif
}

} // namespace quorl
