#include "webserver/httpserver/httprequest.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QSettings>
#include <QtDebug>

namespace quorl {
namespace {

const qint64 multiPartBlockSize = 65536;
const qint64 maxLimit = qint64(1) << 30;

// The value of a quoted attribute such as ` name="x"` in a header line.
QByteArray quotedAttribute(const QByteArray &line, const QByteArray &attribute)
{
    const int start = line.indexOf(attribute);
    if (start < 0)
        return QByteArray();
    const int valueStart = start + attribute.size();
    const int end = line.indexOf('"', valueStart);
    return end < 0 ? QByteArray() : line.mid(valueStart, end - valueStart);
}

// Cuts a trailing line end off `line` and returns it.
QByteArray takeLineEnd(QByteArray &line)
{
    const int length = line.endsWith("\r\n") ? 2 : line.endsWith('\n') ? 1 : 0;
    const QByteArray ending = line.right(length);
    line.chop(length);
    return ending;
}

} // namespace

HttpRequestLimits HttpRequestLimits::fromSettings(const QSettings *settings)
{
    HttpRequestLimits limits;
    limits.maxRequestSize = settings->value(QStringLiteral("maxRequestSize"), QStringLiteral("16000")).toLongLong();
    limits.maxMultiPartSize =
        settings->value(QStringLiteral("maxMultiPartSize"), QStringLiteral("1000000")).toLongLong();
    return limits;
}

HttpRequest::HttpRequest(const HttpRequestLimits &limits)
    // Bounded so that a mistyped configuration cannot stall or overflow the line reading.
    : maxSize(qBound<qint64>(0, limits.maxRequestSize, maxLimit))
    , maxMultiPartSize(qBound<qint64>(0, limits.maxMultiPartSize, maxLimit))
{
}

HttpRequest::~HttpRequest() = default;

void HttpRequest::readFromSocket(QIODevice *socket)
{
    switch (status) {
    case waitForRequest:
        readRequest(socket);
        break;
    case waitForHeader:
        readHeader(socket);
        break;
    case waitForBody:
        readBody(socket);
        break;
    case complete:
    case abort:
        return;
    }
    if (status == complete) {
        decodeRequestParams();
        extractCookies();
        if (tempFile)
            parseMultiPartFile();
    }
}

void HttpRequest::fail(const char *reason)
{
    qWarning("%s", reason);
    status = abort;
}

bool HttpRequest::readLine(QIODevice *socket)
{
    // One byte more than allowed makes an over-long line visible as an overrun
    // (and guarantees progress); readLine(n) returns at most n - 1 bytes.
    const QByteArray data = socket->readLine(maxSize - currentSize + 2);
    currentSize += data.size();
    lineBuffer += data;
    if (currentSize > maxSize) {
        fail("HttpRequest: received too many bytes");
        return false;
    }
    return lineBuffer.endsWith('\n');
}

void HttpRequest::readRequest(QIODevice *socket)
{
    if (!readLine(socket))
        return;
    const QByteArray line = lineBuffer.trimmed();
    lineBuffer.clear();
    if (line.isEmpty())
        return; // a stray line end between two requests
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts.at(2).contains("HTTP")) {
        fail("HttpRequest: received broken HTTP request, invalid first line");
        return;
    }
    method = parts.at(0).trimmed();
    const QByteArray target = parts.at(1);
    const int queryStart = target.indexOf('?');
    // Decoded once here: the request mapper and the file controller both ask for it.
    path = QByteArray::fromPercentEncoding(queryStart < 0 ? target : target.left(queryStart));
    query = queryStart < 0 ? QByteArray() : target.mid(queryStart + 1);
    version = parts.at(2);
    if (const auto *tcpSocket = qobject_cast<QAbstractSocket *>(socket))
        peerAddress = tcpSocket->peerAddress();
    status = waitForHeader;
}

void HttpRequest::readHeader(QIODevice *socket)
{
    if (!readLine(socket))
        return;
    const QByteArray line = lineBuffer.trimmed();
    lineBuffer.clear();
    const int colon = line.indexOf(':');
    if (colon > 0) {
        currentHeader = line.left(colon).trimmed().toLower();
        headers.insert(currentHeader, line.mid(colon + 1).trimmed());
    } else if (!line.isEmpty()) {
        // A folded line continues the header before it; the newest value of a name comes first.
        const auto previous = headers.find(currentHeader);
        if (previous != headers.end())
            previous.value() += ' ' + line;
    } else {
        finishHeaders();
    }
}

void HttpRequest::finishHeaders()
{
    const QByteArray contentType = getHeader("content-type");
    if (contentType.startsWith("multipart/form-data")) {
        const int start = contentType.indexOf("boundary=");
        if (start >= 0) {
            boundary = contentType.mid(start + 9).trimmed();
            if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
                boundary = boundary.mid(1, boundary.size() - 2);
        }
    }
    const QByteArray contentLength = getHeader("content-length");
    if (!contentLength.isEmpty()) {
        bool valid = false;
        expectedBodySize = contentLength.toLongLong(&valid);
        if (!valid || expectedBodySize < 0) {
            fail("HttpRequest: invalid Content-Length");
            return;
        }
    }
    if (expectedBodySize == 0)
        status = complete;
    else if (boundary.isEmpty() && expectedBodySize > maxSize)
        fail("HttpRequest: expected body is too large");
    else if (!boundary.isEmpty() && expectedBodySize > maxMultiPartSize)
        fail("HttpRequest: expected multipart body is too large");
    else
        status = waitForBody;
}

void HttpRequest::readBody(QIODevice *socket)
{
    if (boundary.isEmpty()) {
        bodyData += socket->read(expectedBodySize - receivedBodySize);
        receivedBodySize = bodyData.size();
    } else {
        if (!tempFile) {
            tempFile = std::make_unique<QTemporaryFile>();
            if (!tempFile->open()) {
                fail("HttpRequest: Error writing temp file for multipart body");
                return;
            }
        }
        const QByteArray data = socket->read(qMin(expectedBodySize - receivedBodySize, multiPartBlockSize));
        if (tempFile->write(data) != data.size()) {
            fail("HttpRequest: Error writing temp file for multipart body");
            return;
        }
        receivedBodySize += data.size();
    }
    if (receivedBodySize == expectedBodySize)
        status = complete;
}

QByteArray HttpRequest::urlDecode(const QByteArray &source)
{
    QByteArray plusAsSpace = source;
    plusAsSpace.replace('+', ' ');
    return QByteArray::fromPercentEncoding(plusAsSpace);
}

void HttpRequest::decodeRequestParams()
{
    QByteArray source = query;
    if (getHeader("content-type").startsWith("application/x-www-form-urlencoded"))
        source += (source.isEmpty() ? "" : "&") + bodyData;
    for (const QByteArray &pair : source.split('&')) {
        if (pair.isEmpty())
            continue;
        const int equals = pair.indexOf('=');
        const QByteArray name = urlDecode((equals < 0 ? pair : pair.left(equals)).trimmed());
        const QByteArray value = equals < 0 ? QByteArray() : urlDecode(pair.mid(equals + 1).trimmed());
        parameters.insert(name, value);
    }
}

void HttpRequest::extractCookies()
{
    for (const QByteArray &header : getHeaders("cookie")) {
        for (const QByteArray &part : header.split(';')) {
            const QByteArray cookie = part.trimmed();
            const int equals = cookie.indexOf('=');
            // Attributes such as $Path belong to the cookie before them, not to the client's state.
            if (equals <= 0 || cookie.startsWith('$'))
                continue;
            cookies.insert(cookie.left(equals).trimmed(), cookie.mid(equals + 1).trimmed());
        }
    }
}

void HttpRequest::parseMultiPartFile()
{
    struct Part {
        QByteArray disposition;
        QByteArray name;
        QByteArray fileName;
        QByteArray value;
        std::shared_ptr<QTemporaryFile> file;
    };
    const QByteArray delimiter = "--" + boundary;
    Part part;
    bool inPart = false;
    bool inHeaders = false;
    bool atLineStart = true;
    QByteArray pendingLineEnd; // belongs to the next delimiter unless more content follows

    auto storePart = [this](Part &finished) {
        if (finished.name.isEmpty()) {
            qDebug("HttpRequest: ignoring unsupported content part %s", finished.disposition.constData());
        } else if (finished.file) {
            finished.file->flush();
            qDebug("HttpRequest: uploaded file size is %i", int(finished.file->size()));
            finished.file->seek(0);
            parameters.insert(finished.name, finished.fileName);
            uploadedFiles.insert(finished.name, finished.file);
        } else if (finished.fileName.isEmpty()) {
            qDebug("HttpRequest: set parameter %s=%s", finished.name.constData(), finished.value.constData());
            parameters.insert(finished.name, finished.value);
        }
    };

    tempFile->seek(0);
    while (!tempFile->atEnd()) {
        QByteArray line = tempFile->readLine(multiPartBlockSize);
        const bool startsLine = atLineStart;
        atLineStart = line.endsWith('\n');
        if (startsLine && line.startsWith(delimiter)) {
            if (inPart)
                storePart(part);
            if (line.mid(delimiter.size()).startsWith("--"))
                break;
            part = Part();
            inPart = true;
            inHeaders = true;
            pendingLineEnd.clear();
            continue;
        }
        if (!inPart)
            continue; // preamble
        if (inHeaders) {
            const QByteArray header = line.trimmed();
            if (header.isEmpty()) {
                inHeaders = false;
                if (!part.fileName.isEmpty() && !part.name.isEmpty()) {
                    part.file = std::make_shared<QTemporaryFile>();
                    if (!part.file->open()) {
                        qWarning("HttpRequest: cannot create temp file for uploaded file %s", part.fileName.constData());
                        part.file.reset();
                    }
                }
            } else if (header.toLower().startsWith("content-disposition:")) {
                part.disposition = header;
                if (header.contains("form-data")) {
                    part.name = quotedAttribute(header, " name=\"");
                    part.fileName = quotedAttribute(header, " filename=\"");
                }
            }
            continue;
        }
        const QByteArray lineEnd = takeLineEnd(line);
        const QByteArray content = pendingLineEnd + line;
        pendingLineEnd = lineEnd;
        if (part.file)
            part.file->write(content);
        else if (part.fileName.isEmpty())
            part.value += content;
    }
}

QByteArray HttpRequest::getHeader(const QByteArray &name) const
{
    return headers.value(name.toLower());
}

QList<QByteArray> HttpRequest::getHeaders(const QByteArray &name) const
{
    return headers.values(name.toLower());
}

QByteArray HttpRequest::getParameter(const QByteArray &name) const
{
    return parameters.value(name);
}

QList<QByteArray> HttpRequest::getParameters(const QByteArray &name) const
{
    return parameters.values(name);
}

QByteArray HttpRequest::getCookie(const QByteArray &name) const
{
    return cookies.value(name);
}

QTemporaryFile *HttpRequest::getUploadedFile(const QByteArray &fieldName) const
{
    return uploadedFiles.value(fieldName).get();
}

} // namespace quorl
