#include "webserver/requestmapper.h"

#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/staticfilecontroller.h"

#include <QtDebug>

RequestMapper::RequestMapper(quorl::StaticFileController *staticFileController, QObject *parent)
    : HttpRequestHandler(parent)
    , staticFileController(staticFileController)
{
}

void RequestMapper::service(quorl::HttpRequest &request, quorl::HttpResponse &response)
{
    qDebug("RequestMapper: path=%s", request.getPath().constData());
    staticFileController->service(request, response);
    qDebug("RequestMapper: finished request");
}
