#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QMultiMap>
#include <QTemporaryFile>

#include <memory>

class QIODevice;
class QSettings;

namespace quorl {

// The size limits of a request, read once from the listener settings so that
// handler threads never touch the shared settings object.
struct HttpRequestLimits {
    qint64 maxRequestSize = 16000;
    qint64 maxMultiPartSize = 1000000;

    static HttpRequestLimits fromSettings(const QSettings *settings);
};

// One HTTP request, read incrementally from a connection.  Every byte counts
// against the configured limits so that a client cannot make the server hold
// more than "maxRequestSize" (or "maxMultiPartSize" for uploads).
class HttpRequest
{
public:
    enum RequestStatus { waitForRequest, waitForHeader, waitForBody, complete, abort };

    explicit HttpRequest(const HttpRequestLimits &limits);
    ~HttpRequest();
    HttpRequest(const HttpRequest &) = delete;
    HttpRequest &operator=(const HttpRequest &) = delete;

    // Consumes what is available of the next part (request line, one header
    // line or body bytes).  Call again while bytes remain and the status is
    // neither complete nor abort.  Any QIODevice will do; sockets also give
    // the peer address.
    void readFromSocket(QIODevice *socket);

    RequestStatus getStatus() const { return status; }
    QByteArray getMethod() const { return method; }
    // The path without the query, percent-decoded.
    QByteArray getPath() const { return path; }
    QByteArray getVersion() const { return version; }
    QByteArray getHeader(const QByteArray &name) const;
    QList<QByteArray> getHeaders(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> getHeaderMap() const { return headers; }
    QByteArray getParameter(const QByteArray &name) const;
    QList<QByteArray> getParameters(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> getParameterMap() const { return parameters; }
    QByteArray getBody() const { return bodyData; }
    QByteArray getCookie(const QByteArray &name) const;
    QMap<QByteArray, QByteArray> getCookieMap() const { return cookies; }
    // A file uploaded in a multipart body, or null; the request owns it.
    QTemporaryFile *getUploadedFile(const QByteArray &fieldName) const;
    QHostAddress getPeerAddress() const { return peerAddress; }

    static QByteArray urlDecode(const QByteArray &source);

private:
    void readRequest(QIODevice *socket);
    void readHeader(QIODevice *socket);
    void readBody(QIODevice *socket);
    // Collects one line in lineBuffer; true once the line end arrived.
    bool readLine(QIODevice *socket);
    void finishHeaders();
    void decodeRequestParams();
    void extractCookies();
    void parseMultiPartFile();
    void fail(const char *reason);

    RequestStatus status = waitForRequest;
    QByteArray method;
    QByteArray path;
    QByteArray query;
    QByteArray version;
    QMultiMap<QByteArray, QByteArray> headers;
    QMultiMap<QByteArray, QByteArray> parameters;
    QMap<QByteArray, QByteArray> cookies;
    QMap<QByteArray, std::shared_ptr<QTemporaryFile>> uploadedFiles;
    QByteArray bodyData;
    QHostAddress peerAddress;

    QByteArray lineBuffer;
    QByteArray currentHeader;
    QByteArray boundary;
    std::unique_ptr<QTemporaryFile> tempFile;
    qint64 expectedBodySize = 0;
    qint64 receivedBodySize = 0;
    qint64 currentSize = 0;
    qint64 maxSize;
    qint64 maxMultiPartSize;
};

} // namespace quorl
