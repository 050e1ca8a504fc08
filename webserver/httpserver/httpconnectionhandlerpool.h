#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

#include <memory>

class QSettings;

namespace quorl {

class HttpConnectionHandler;
class HttpRequestHandler;

// Keeps the connection handlers: grows up to "maxThreads" on demand and,
// every "cleanupInterval" ms, lets one idle handler beyond "minThreads" go.
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT

public:
    HttpConnectionHandlerPool(const QSettings *settings, HttpRequestHandler *requestHandler);
    ~HttpConnectionHandlerPool() override;

    // A handler already marked busy, or null when all "maxThreads" are busy.
    HttpConnectionHandler *getConnectionHandler();

public slots:
    void cleanup();

private:
    void loadSslConfig();

    const QSettings *settings;
    HttpRequestHandler *requestHandler;
    QList<HttpConnectionHandler *> pool;
    QMutex mutex;
    QTimer cleanupTimer;
    std::unique_ptr<QSslConfiguration> sslConfiguration;
    const int minThreads;
    const int maxThreads;
};

} // namespace quorl
