#pragma once

#include "webserver/httpserver/httprequesthandler.h"

#include <memory>

class TileService;

namespace quorl {
class StaticFileController;
}

// Routes every request of the local server: map tiles under "/tiles/" to
// the tile service, everything else to the static files of the map page.
class RequestMapper : public quorl::HttpRequestHandler
{
    Q_OBJECT

public:
    RequestMapper(quorl::StaticFileController *staticFileController, std::shared_ptr<TileService> tileService,
                  QObject *parent = nullptr);

    void service(quorl::HttpRequest &request, quorl::HttpResponse &response) override;

private:
    quorl::StaticFileController *staticFileController;
    // Shared with the server, so that it outlives the last request in flight.
    std::shared_ptr<TileService> tileService;
};
