#include "webserver/httpserver/httprequesthandler.h"

#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/httpresponse.h"

#include <QtDebug>

namespace quorl {

HttpRequestHandler::HttpRequestHandler(QObject *parent)
    : QObject(parent)
{
}

void HttpRequestHandler::service(HttpRequest &request, HttpResponse &response)
{
    qCritical("HttpRequestHandler: you need to override the service() function");
    qDebug("HttpRequestHandler: request=%s %s %s", request.getMethod().constData(), request.getPath().constData(),
           request.getVersion().constData());
    response.setStatus(501, "not implemented");
    response.write("501 not implemented", true);
}

} // namespace quorl
