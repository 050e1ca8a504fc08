#include "webserver/httpserver/httpresponse.h"

#include <QTcpSocket>
#include <QtGlobal>

namespace quorl {
namespace {

// Beyond this much unsent data a writer waits for the client, so that
// streaming a large file does not pile it all up in memory.
const qint64 maxBufferedBytes = 256 * 1024;
const int writeWaitMs = 30000;

} // namespace

QByteArray HttpCookie::toByteArray() const
{
    QByteArray text = name + '=' + value;
    if (!comment.isEmpty())
        text += "; Comment=" + comment;
    if (!domain.isEmpty())
        text += "; Domain=" + domain;
    if (maxAge >= 0)
        text += "; Max-Age=" + QByteArray::number(maxAge);
    if (!path.isEmpty())
        text += "; Path=" + path;
    if (secure)
        text += "; Secure";
    if (httpOnly)
        text += "; HttpOnly";
    if (!version.isEmpty())
        text += "; Version=" + version;
    return text;
}

HttpResponse::HttpResponse(QTcpSocket *socket)
    : socket(socket)
{
}

void HttpResponse::setStatus(int code, const QByteArray &description)
{
    statusCode = code;
    statusText = description;
}

void HttpResponse::setHeader(const QByteArray &name, const QByteArray &value)
{
    Q_ASSERT_X(!sentHeaders, "HttpResponse::setHeader", "headers were already sent");
    headers.insert(name, value);
}

void HttpResponse::setHeader(const QByteArray &name, int value)
{
    setHeader(name, QByteArray::number(value));
}

void HttpResponse::setCookie(const HttpCookie &cookie)
{
    Q_ASSERT_X(!sentHeaders, "HttpResponse::setCookie", "headers were already sent");
    if (!cookie.name.isEmpty())
        cookies.append(cookie);
}

bool HttpResponse::connectionCloses() const
{
    return headers.value("Connection", headers.value("connection")).toLower() == "close";
}

void HttpResponse::writeHeaders()
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(statusCode) + ' ' + statusText + "\r\n";
    for (auto header = headers.cbegin(); header != headers.cend(); ++header)
        head += header.key() + ": " + header.value() + "\r\n";
    for (const HttpCookie &cookie : cookies)
        head += "Set-Cookie: " + cookie.toByteArray() + "\r\n";
    head += "\r\n";
    writeToSocket(head);
    sentHeaders = true;
}

void HttpResponse::write(const QByteArray &data, bool lastPart)
{
    Q_ASSERT_X(!sentLastPart, "HttpResponse::write", "the last part was already sent");
    if (sentLastPart)
        return;
    if (!sentHeaders) {
        if (lastPart) {
            headers.insert("Content-Length", QByteArray::number(data.size()));
        } else if (!connectionCloses()) {
            headers.insert("Transfer-Encoding", "chunked");
            chunkedMode = true;
        }
        writeHeaders();
    }
    if (!data.isEmpty()) {
        if (chunkedMode)
            writeToSocket(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
        else
            writeToSocket(data);
    }
    if (lastPart) {
        if (chunkedMode)
            writeToSocket("0\r\n\r\n");
        sentLastPart = true;
    }
}

void HttpResponse::writeToSocket(const QByteArray &data)
{
    if (!socket->isOpen())
        return;
    socket->write(data);
    while (socket->bytesToWrite() > maxBufferedBytes && socket->state() == QAbstractSocket::ConnectedState) {
        if (!socket->waitForBytesWritten(writeWaitMs))
            break;
    }
}

} // namespace quorl
