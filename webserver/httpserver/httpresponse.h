#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

class QTcpSocket;

namespace quorl {

// A cookie to set on the client; empty attributes are left out.
struct HttpCookie {
    QByteArray name;
    QByteArray value;
    QByteArray comment;
    QByteArray domain;
    int maxAge = -1; // negative: a session cookie
    QByteArray path;
    bool secure = false;
    bool httpOnly = false;
    QByteArray version;

    QByteArray toByteArray() const;
};

// The response to one request, written straight to the connection.  A body
// written in one call gets a Content-Length; one written in parts goes out
// chunked, unless the connection closes after it anyway.
class HttpResponse
{
public:
    explicit HttpResponse(QTcpSocket *socket);

    void setStatus(int statusCode, const QByteArray &description = QByteArray());
    int getStatusCode() const { return statusCode; }
    void setHeader(const QByteArray &name, const QByteArray &value);
    void setHeader(const QByteArray &name, int value);
    QMap<QByteArray, QByteArray> &getHeaders() { return headers; }
    void setCookie(const HttpCookie &cookie);

    // The first call sends the headers; the call with lastPart set ends the body.
    void write(const QByteArray &data, bool lastPart = false);
    bool hasSentLastPart() const { return sentLastPart; }
    // True when the headers ask to close the connection after this response.
    bool connectionCloses() const;

private:
    void writeHeaders();
    void writeToSocket(const QByteArray &data);

    QTcpSocket *socket;
    int statusCode = 200;
    QByteArray statusText = "OK";
    QMap<QByteArray, QByteArray> headers;
    QList<HttpCookie> cookies;
    bool sentHeaders = false;
    bool sentLastPart = false;
    bool chunkedMode = false;
};

} // namespace quorl
