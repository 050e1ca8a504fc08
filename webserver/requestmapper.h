#pragma once

#include "webserver/httpserver/httprequesthandler.h"

namespace quorl {
class StaticFileController;
}

// Routes every request of the local server; the map page needs nothing but static files.
class RequestMapper : public quorl::HttpRequestHandler
{
    Q_OBJECT

public:
    explicit RequestMapper(quorl::StaticFileController *staticFileController, QObject *parent = nullptr);

    void service(quorl::HttpRequest &request, quorl::HttpResponse &response) override;

private:
    quorl::StaticFileController *staticFileController;
};
