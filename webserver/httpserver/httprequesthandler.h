#pragma once

#include <QObject>

namespace quorl {

class HttpRequest;
class HttpResponse;

// Serves one complete request.  Runs on the connection handlers' threads, so
// an override must be thread-safe.
class HttpRequestHandler : public QObject
{
    Q_OBJECT

public:
    explicit HttpRequestHandler(QObject *parent = nullptr);

    virtual void service(HttpRequest &request, HttpResponse &response);
};

} // namespace quorl
