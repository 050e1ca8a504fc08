// Feeds arbitrary bytes to the HTTP request parser the way a connection
// handler does, requests one after another on a kept-alive connection.

#include "webserver/httpserver/httprequest.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const auto handler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static_cast<void>(handler);

    QBuffer connection;
    connection.setData(reinterpret_cast<const char *>(data), int(size));
    connection.open(QIODevice::ReadOnly);

    // Small limits reach the size checks with small inputs.
    quorl::HttpRequestLimits limits;
    limits.maxRequestSize = 2000;
    limits.maxMultiPartSize = 4000;

    std::unique_ptr<quorl::HttpRequest> request;
    while (connection.bytesAvailable() > 0) {
        if (!request)
            request = std::make_unique<quorl::HttpRequest>(limits);
        const qint64 before = connection.bytesAvailable();
        request->readFromSocket(&connection);
        const quorl::HttpRequest::RequestStatus status = request->getStatus();
        if (status == quorl::HttpRequest::abort)
            break;
        if (status == quorl::HttpRequest::complete) {
            // What a request handler would look at.
            static_cast<void>(request->getPath());
            static_cast<void>(request->getParameterMap());
            static_cast<void>(request->getCookieMap());
            if (QTemporaryFile *file = request->getUploadedFile("file"))
                static_cast<void>(file->readAll());
            request.reset();
        } else if (connection.bytesAvailable() == before) {
            __builtin_trap(); // the parser must always make progress
        }
    }
    return 0;
}
