#include "webserver/httpserver/httplistener.h"

#include "webserver/httpserver/httpconnectionhandlerpool.h"

#include <QSettings>
#include <QTcpSocket>
#include <QtDebug>

namespace quorl {

HttpListener::HttpListener(const QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent)
    : QTcpServer(parent)
    , settings(settings)
    , requestHandler(requestHandler)
{
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    qRegisterMetaType<tSocketDescriptor>("quorl::tSocketDescriptor");
}

HttpListener::~HttpListener()
{
    close();
}

void HttpListener::listen()
{
    if (!pool)
        pool = new HttpConnectionHandlerPool(settings, requestHandler);
    // The server only feeds the program's own views: without a configured
    // host it stays on the loopback interface instead of opening to the network.
    const QString host = settings->value(QStringLiteral("host")).toString();
    const QHostAddress address = host.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(host);
    const quint16 port = quint16(settings->value(QStringLiteral("port"), 0).toUInt());
    if (QTcpServer::listen(address, port))
        qDebug("HttpListener: Listening on port %i", int(serverPort()));
    else
        qCritical("HttpListener: Cannot bind on port %i: %s", int(port), qPrintable(errorString()));
}

void HttpListener::close()
{
    QTcpServer::close();
    delete pool;
    pool = nullptr;
    qDebug("HttpListener: closed");
}

void HttpListener::incomingConnection(qintptr socketDescriptor)
{
    HttpConnectionHandler *handler = pool ? pool->getConnectionHandler() : nullptr;
    if (handler) {
        QMetaObject::invokeMethod(
            handler, [handler, socketDescriptor] { handler->handleConnection(socketDescriptor); },
            Qt::QueuedConnection);
        emit handleConnection(socketDescriptor);
        return;
    }
    qDebug("HttpListener: Too many incoming connections");
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(socketDescriptor);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write("HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n");
    socket->disconnectFromHost();
}

} // namespace quorl
