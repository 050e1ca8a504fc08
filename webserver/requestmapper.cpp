#include "webserver/requestmapper.h"

#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/staticfilecontroller.h"
#include "webserver/tileservice.h"

#include <QtDebug>

RequestMapper::RequestMapper(quorl::StaticFileController *staticFileController,
                             std::shared_ptr<TileService> tileService, QObject *parent)
    : HttpRequestHandler(parent)
    , staticFileController(staticFileController)
    , tileService(std::move(tileService))
{
}

void RequestMapper::service(quorl::HttpRequest &request, quorl::HttpResponse &response)
{
    qDebug("RequestMapper: path=%s", request.getPath().constData());
    if (request.getPath().startsWith("/tiles/"))
        tileService->service(request.getPath(), response);
    else
        staticFileController->service(request, response);
    qDebug("RequestMapper: finished request");
}
