#pragma once

#include "webserver/httpserver/httprequest.h"

#include <QObject>
#include <QSslConfiguration>

#include <atomic>
#include <memory>

class QSettings;
class QTcpSocket;
class QThread;
class QTimer;

namespace quorl {

class HttpRequestHandler;

using tSocketDescriptor = qintptr;

// Serves the requests of one connection at a time on a thread of its own.
// The pool marks it busy when it hands it out; it becomes idle again when its
// connection ends.
class HttpConnectionHandler : public QObject
{
    Q_OBJECT

public:
    // A null SSL configuration means plain HTTP.
    HttpConnectionHandler(const QSettings *settings, HttpRequestHandler *requestHandler,
                          const QSslConfiguration *sslConfiguration = nullptr);
    ~HttpConnectionHandler() override;

    bool isBusy() const { return busy; }
    void setBusy() { busy = true; }

public slots:
    void handleConnection(quorl::tSocketDescriptor socketDescriptor);

private slots:
    void read();
    void disconnected();
    void readTimeout();

private:
    void createSocket();
    // False when the connection closes after the response.
    bool serveRequest();
    void writeAndClose(const QByteArray &text);
    void finishWriting();
    void releaseSocket();

    HttpRequestHandler *requestHandler;
    const QSslConfiguration *sslConfiguration;
    QThread *thread;
    QTcpSocket *socket = nullptr;
    QTimer *readTimer;
    std::unique_ptr<HttpRequest> currentRequest;
    std::atomic<bool> busy{false};
    const HttpRequestLimits limits;
    const int readTimeoutMs;
};

} // namespace quorl
