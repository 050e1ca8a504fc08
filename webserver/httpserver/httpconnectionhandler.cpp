#include "webserver/httpserver/httpconnectionhandler.h"

#include "webserver/httpserver/httprequesthandler.h"
#include "webserver/httpserver/httpresponse.h"

#include <QSettings>
#include <QSslSocket>
#include <QThread>
#include <QTimer>
#include <QtDebug>

namespace quorl {
namespace {

const int writeWaitMs = 30000;
const char entityTooLarge[] = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";

} // namespace

HttpConnectionHandler::HttpConnectionHandler(const QSettings *settings, HttpRequestHandler *requestHandler,
                                             const QSslConfiguration *sslConfiguration)
    : requestHandler(requestHandler)
    , sslConfiguration(sslConfiguration)
    , thread(new QThread)
    , readTimer(new QTimer(this))
    , limits(HttpRequestLimits::fromSettings(settings))
    , readTimeoutMs(settings->value(QStringLiteral("readTimeout"), 10000).toInt())
{
    readTimer->setSingleShot(true);
    createSocket();
    connect(readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(socket, &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    // The socket and the timer are children, so they move along.
    moveToThread(thread);
    thread->start();
    qDebug("HttpConnectionHandler (%p): constructed", static_cast<void *>(this));
    qDebug("HttpConnectionHandler (%p): thread started", static_cast<void *>(this));
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    // Socket notifiers and timers may only be stopped by the thread that owns them.
    QMetaObject::invokeMethod(this, [this] { releaseSocket(); }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
    qDebug("HttpConnectionHandler (%p): destroyed", static_cast<void *>(this));
}

void HttpConnectionHandler::releaseSocket()
{
    readTimer->stop();
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    delete socket;
    socket = nullptr;
    delete readTimer;
    readTimer = nullptr;
}

void HttpConnectionHandler::createSocket()
{
#ifndef QT_NO_SSL
    if (sslConfiguration) {
        auto *sslSocket = new QSslSocket(this);
        sslSocket->setSslConfiguration(*sslConfiguration);
        socket = sslSocket;
        return;
    }
#endif
    socket = new QTcpSocket(this);
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    qDebug("HttpConnectionHandler (%p): handle new connection", static_cast<void *>(this));
    currentRequest.reset();
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        qCritical("HttpConnectionHandler (%p): cannot initialize socket: %s", static_cast<void *>(this),
                  qPrintable(socket->errorString()));
        // Without a connection there will be no disconnect to free the handler.
        busy = false;
        return;
    }
#ifndef QT_NO_SSL
    if (sslConfiguration) {
        qDebug("HttpConnectionHandler (%p): Starting encryption", static_cast<void *>(this));
        static_cast<QSslSocket *>(socket)->startServerEncryption();
    }
#endif
    readTimer->start(readTimeoutMs);
}

void HttpConnectionHandler::read()
{
    while (socket->bytesAvailable() > 0) {
        if (!currentRequest)
            currentRequest = std::make_unique<HttpRequest>(limits);
        currentRequest->readFromSocket(socket);
        const HttpRequest::RequestStatus status = currentRequest->getStatus();
        if (status == HttpRequest::waitForBody)
            readTimer->start(readTimeoutMs);
        if (status == HttpRequest::abort) {
            currentRequest.reset();
            writeAndClose(entityTooLarge);
            return;
        }
        if (status == HttpRequest::complete && !serveRequest())
            return;
    }
}

bool HttpConnectionHandler::serveRequest()
{
    readTimer->stop();
    qDebug("HttpConnectionHandler (%p): received request", static_cast<void *>(this));
    const std::unique_ptr<HttpRequest> request = std::move(currentRequest);
    HttpResponse response(socket);
    const bool clientCloses =
        request->getHeader("Connection").toLower() == "close" || request->getVersion() == "HTTP/1.0";
    if (clientCloses)
        response.setHeader("Connection", "close");
    try {
        requestHandler->service(*request, response);
    } catch (...) {
        qCritical("HttpConnectionHandler (%p): An uncatched exception occured in the request handler",
                  static_cast<void *>(this));
    }
    if (!response.hasSentLastPart())
        response.write(QByteArray(), true);
    qDebug("HttpConnectionHandler (%p): finished request", static_cast<void *>(this));

    // Without a length or chunks the client can only see the end of the body by the connection closing.
    const bool bodyDelimited = response.getHeaders().contains("Content-Length")
        || response.getHeaders().value("Transfer-Encoding").toLower() == "chunked";
    if (clientCloses || response.connectionCloses() || !bodyDelimited) {
        finishWriting();
        socket->disconnectFromHost();
        return false;
    }
    readTimer->start(readTimeoutMs);
    return true;
}

void HttpConnectionHandler::writeAndClose(const QByteArray &text)
{
    socket->write(text);
    finishWriting();
    socket->disconnectFromHost();
}

void HttpConnectionHandler::finishWriting()
{
    while (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState) {
        if (!socket->waitForBytesWritten(writeWaitMs))
            break;
    }
}

void HttpConnectionHandler::readTimeout()
{
    qDebug("HttpConnectionHandler (%p): read timeout occured", static_cast<void *>(this));
    socket->disconnectFromHost();
}

void HttpConnectionHandler::disconnected()
{
    qDebug("HttpConnectionHandler (%p): disconnected", static_cast<void *>(this));
    socket->close();
    readTimer->stop();
    currentRequest.reset();
    busy = false;
}

} // namespace quorl
