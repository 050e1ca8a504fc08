#pragma once

#include "webserver/httpserver/httpconnectionhandler.h"

#include <QTcpServer>

class QSettings;

namespace quorl {

class HttpConnectionHandlerPool;
class HttpRequestHandler;

// Accepts connections in the GUI thread and hands each to an idle handler;
// when every handler is busy the client gets a short 503 answer.
class HttpListener : public QTcpServer
{
    Q_OBJECT

public:
    HttpListener(const QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent = nullptr);
    ~HttpListener() override;

    void listen();
    void close();

signals:
    // A connection was handed to a handler.
    void handleConnection(quorl::tSocketDescriptor socketDescriptor);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    const QSettings *settings;
    HttpRequestHandler *requestHandler;
    HttpConnectionHandlerPool *pool = nullptr;
};

} // namespace quorl
