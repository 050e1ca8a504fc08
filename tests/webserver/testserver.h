#pragma once

// A web server on a temporary document root, configured by its own
// http_server.ini; short time-outs keep the tests fast.  Its tiles are
// cached in the same temporary folder.

#include "webserver/httpserver/httplistener.h"
#include "webserver/webserver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

class TestServer
{
public:
    explicit TestServer(const QByteArray &listenerSettings = QByteArray(),
                        const QByteArray &docrootSettings = QByteArray())
    {
        QDir(dir.path()).mkdir(QStringLiteral("docroot"));
        addFile(QStringLiteral("http_server.ini"), "[listener]\nreadTimeout=3000\n" + listenerSettings
                                                       + "\n[docroot]\npath=docroot\n" + docrootSettings + "\n");
    }

    QString path(const QString &relative) const { return dir.filePath(relative); }

    void addFile(const QString &relative, const QByteArray &content) const
    {
        QFile file(dir.filePath(relative));
        QDir().mkpath(QFileInfo(file).absolutePath());
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    void start() { server = std::make_unique<WebServer>(&owner, path("http_server.ini"), path("tiles")); }
    quint16 port() const { return server->port(); }
    quorl::HttpListener *listener() const { return server->listener(); }

    QTemporaryDir dir;
    QObject owner; // owns the server's parts, as the application does
    std::unique_ptr<WebServer> server;
};

// Bytes with a pattern, so that a misplaced block shows.
inline QByteArray patternedBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + (i * 7 + i / 251) % 26);
    return bytes;
}
