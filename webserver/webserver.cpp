#include "webserver/webserver.h"

#include "model/trace.h"
#include "webserver/httpserver/httplistener.h"
#include "webserver/httpserver/staticfilecontroller.h"
#include "webserver/requestmapper.h"
#include "webserver/tileservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <memory>

namespace {

WebServer *processServer = nullptr;

} // namespace

WebServer::WebServer(QObject *parent, const QString &configFile, const QString &tileCacheRoot)
    : tileService(std::make_shared<TileService>(tileCacheRoot.isEmpty() ? TileCache::defaultRoot() : tileCacheRoot))
{
    auto *docrootSettings = new QSettings(configFile, QSettings::IniFormat, parent);
    docrootSettings->beginGroup(QStringLiteral("docroot"));
    staticFileController = new quorl::StaticFileController(docrootSettings, parent);

    auto *listenerSettings = new QSettings(configFile, QSettings::IniFormat, parent);
    listenerSettings->beginGroup(QStringLiteral("listener"));
    auto *requestMapper = new RequestMapper(staticFileController, tileService, parent);
    httpListener = new quorl::HttpListener(listenerSettings, requestMapper, parent);
    httpListener->listen();

    if (!processServer)
        processServer = this;
}

WebServer::~WebServer()
{
    if (processServer == this)
        processServer = nullptr;
}

WebServer *WebServer::createInstance(QObject *parent)
{
    // Lives until the process ends; its parts go with the parent.
    static std::unique_ptr<WebServer> server;
    if (!processServer)
        server = std::make_unique<WebServer>(parent);
    return processServer;
}

WebServer *WebServer::instance()
{
    return processServer;
}

QString WebServer::defaultConfigFile()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("http_server.ini"));
}

quint16 WebServer::port() const
{
    return httpListener ? httpListener->serverPort() : 0;
}

QUrl WebServer::url(const QString &path)
{
    if (!processServer || !processServer->httpListener || !processServer->httpListener->isListening())
        return QUrl();
    const QUrl url(QStringLiteral("http://localhost:") + QString::number(processServer->port()) + QLatin1Char('/')
                   + path);
    okukipo::trace(QStringLiteral("URL: ") + url.toString());
    return url;
}
