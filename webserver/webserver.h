#pragma once

#include "webserver/httpserver/httplistener.h"
#include "webserver/httpserver/staticfilecontroller.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <memory>

class TileService;

// Holds the local web server that serves the map page to the program's web
// views.  The first server constructed is the process-wide one that url()
// refers to; its parts belong to the parent given (the application).
class WebServer
{
public:
    // Tiles are cached under tileCacheRoot.
    explicit WebServer(QObject *parent, const QString &configFile = defaultConfigFile(),
                       const QString &tileCacheRoot = QString());
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // Creates the process-wide server unless one exists, and returns it.
    static WebServer *createInstance(QObject *parent);
    static WebServer *instance();

    // "http://localhost:<port>/<path>"; empty when no server listens.
    static QUrl url(const QString &path);

    // "http_server.ini" in the directory of the executable.
    static QString defaultConfigFile();

    quint16 port() const;
    quorl::HttpListener *listener() const { return httpListener; }
    quorl::StaticFileController *staticFiles() const { return staticFileController; }
    TileService &tiles() const { return *tileService; }

private:
    QPointer<quorl::StaticFileController> staticFileController;
    QPointer<quorl::HttpListener> httpListener;
    std::shared_ptr<TileService> tileService;
};
