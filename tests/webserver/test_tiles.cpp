#include "httpclient.h"
#include "testserver.h"

#include "webserver/tileareasaver.h"
#include "webserver/tileservice.h"

#include <QTcpServer>
#include <QtTest>

namespace {

// A tile source on the loopback interface: answers each request with its
// path as the tile, or, when silent, never answers.
struct StandInSource : QObject {
    explicit StandInSource(const QByteArray &cacheControl = QByteArray(), bool silent = false)
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [=] {
            QTcpSocket *socket = server.nextPendingConnection();
            ++connections;
            connect(socket, &QTcpSocket::readyRead, socket, [=] {
                const QByteArray head = socket->peek(65536);
                if (silent || !head.contains("\r\n\r\n"))
                    return;
                paths << head.split(' ').value(1);
                const int agent = head.indexOf("User-Agent: ") + 12;
                userAgent = head.mid(agent, head.indexOf("\r\n", agent) - agent);
                const QByteArray tile = "tile " + paths.last();
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + QByteArray::number(tile.size())
                              + "\r\nCache-Control: " + cacheControl + "\r\n\r\n" + tile);
                socket->disconnectFromHost();
            });
        });
    }

    QString urlTemplate(const QString &prefix = QString()) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2/{z}/{x}/{y}.png").arg(server.serverPort()).arg(prefix);
    }

    QTcpServer server;
    QByteArrayList paths;
    QByteArray userAgent;
    int connections = 0;
};

// A local server whose tiles come from the given template.
struct TileServer : TestServer {
    explicit TileServer(const QString &urlTemplate, int timeoutMs = 5000) { start(), configure(urlTemplate, timeoutMs); }
    void configure(const QString &urlTemplate, int timeoutMs = 5000)
    {
        server->tiles().configure({urlTemplate, 1 << 20}, timeoutMs);
    }
};

} // namespace

class TestTiles : public QObject
{
    Q_OBJECT

private slots:
    // The source is asked once until its cache headers let the tile expire;
    // with the source gone, the cached tile still serves.
    void missIsFetchedAndStored_data()
    {
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::addColumn<int>("fetches");
        QTest::newRow("max-age an hour") << QByteArray("public, max-age=3600") << 1;
        QTest::newRow("no header") << QByteArray() << 1;
        QTest::newRow("max-age 0") << QByteArray("max-age=0") << 2;
        QTest::newRow("no-cache") << QByteArray("no-cache") << 2;
    }

    void missIsFetchedAndStored()
    {
        QFETCH(QByteArray, cacheControl);
        QFETCH(int, fetches);
        auto source = std::make_unique<StandInSource>(cacheControl);
        TileServer server(source->urlTemplate(QStringLiteral("/osm")));
        HttpClient client(server.port());
        for (int i = 0; i < 2; ++i) {
            const HttpReply reply = client.get("/tiles/3/7/2.png?url=http://127.0.0.1/other");
            QCOMPARE(reply.status, 200);
            QCOMPARE(reply.header("Content-Type"), QByteArray("image/png"));
            QCOMPARE(reply.body, QByteArray("tile /osm/3/7/2.png"));
        }
        QCOMPARE(source->paths.size(), fetches);
        QCOMPARE(source->paths.count("/osm/3/7/2.png"), fetches);
        QCOMPARE(source->userAgent, QByteArray("OKU KIPO Studio/2.2.1"));
        source.reset();
        QCOMPARE(client.get("/tiles/3/7/2.png").body, QByteArray("tile /osm/3/7/2.png"));
    }

    void badTileGets400_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("last column and row") << QByteArray("/tiles/3/7/7.png") << 200;
        QTest::newRow("deepest zoom") << QByteArray("/tiles/19/524287/0.png") << 200;
        QTest::newRow("column past the grid") << QByteArray("/tiles/3/8/0.png") << 400;
        QTest::newRow("row past the grid") << QByteArray("/tiles/3/0/8.png") << 400;
        QTest::newRow("zoom too deep") << QByteArray("/tiles/20/0/0.png") << 400;
        QTest::newRow("negative") << QByteArray("/tiles/-1/0/0.png") << 400;
        QTest::newRow("fraction") << QByteArray("/tiles/3/1.5/0.png") << 400;
        QTest::newRow("not a number") << QByteArray("/tiles/a/0/0.png") << 400;
        QTest::newRow("overflowing") << QByteArray("/tiles/4294967299/0/0.png") << 400;
        QTest::newRow("other ending") << QByteArray("/tiles/3/0/0.jpg") << 400;
        QTest::newRow("more parts") << QByteArray("/tiles/3/0/0/0.png") << 400;
        QTest::newRow("path out") << QByteArray("/tiles/..%2f..%2fhttp_server.ini") << 400;
    }

    void badTileGets400()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        StandInSource source;
        TileServer server(source.urlTemplate());
        QCOMPARE(HttpClient(server.port()).get(path).status, status);
        QCOMPARE(source.paths.size(), status == 200 ? 1 : 0);
    }

    void onlyTheConfiguredSourceIsAsked()
    {
        StandInSource before, after;
        TileServer server(before.urlTemplate());
        server.configure(after.urlTemplate());
        QCOMPARE(HttpClient(server.port()).get("/tiles/1/0/1.png").status, 200);
        QCOMPARE(after.paths, QByteArrayList{"/1/0/1.png"});
        QCOMPARE(before.connections, 0);
    }

    // A source that stops answering costs one time-out; further misses get
    // their 404 at once, without asking it.  A stopped source refuses at once.
    void unreachableSourceGives404AtOnce()
    {
        StandInSource silent(QByteArray(), true), stopped;
        TileServer server(silent.urlTemplate(), 300);
        HttpClient client(server.port());
        QCOMPARE(client.get("/tiles/2/1/1.png").status, 404);
        QCOMPARE(client.get("/tiles/2/1/2.png").status, 404);
        QCOMPARE(silent.connections, 1);
        server.configure(stopped.urlTemplate());
        stopped.server.close();
        QCOMPARE(client.get("/tiles/2/1/1.png").status, 404);
    }

    void evictionTakesViewedTilesLeastRecentlyUsedFirst()
    {
        QTemporaryDir root;
        const TileCache cache(QStringLiteral("http://source/{z}/{x}/{y}.png"), root.path());
        const QVector<tiles::TileId> tiles{{5, 1, 1}, {5, 1, 2}, {5, 1, 3}, {5, 1, 4}};
        for (const tiles::TileId &tile : tiles) {
            const auto kind = tile.y == 2 ? TileCache::Kind::Saved : TileCache::Kind::Viewed;
            QVERIFY(cache.store(tile, QByteArray(1000, 'x'), QDateTime::currentDateTimeUtc(), kind));
            QFile file(cache.filePath(tile));
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(tile.y - 100), QFileDevice::FileModificationTime);
        }
        QVERIFY(cache.read(tiles[0])); // the oldest, used again
        const qint64 tileBytes = TileCache::size(root.path()) / 4;
        TileCache::evict(2 * tileBytes, root.path());
        for (const tiles::TileId &tile : tiles)
            QCOMPARE(cache.filePath(tile).isEmpty(), tile.y > 2);
        TileCache::evict(tileBytes, root.path());
        QVERIFY(!cache.filePath(tiles[1]).isEmpty()); // the saved one
        QCOMPARE(TileCache::size(root.path()), tileBytes);
        QVERIFY(TileCache::clear(root.path()));
        QCOMPARE(TileCache::size(root.path()), 0);
    }

    void savedAreaIsKeptAmongSavedTiles()
    {
        StandInSource source;
        QTemporaryDir root;
        const tiles::TileSettings settings{source.urlTemplate(), 1 << 20};
        const QVector<tiles::TileId> area{{4, 2, 6}, {4, 3, 6}, {4, 9, 9}};
        const TileCache cache(settings.urlTemplate, root.path());
        QVERIFY(cache.store(area[2], "seen", QDateTime::currentDateTimeUtc().addDays(1), TileCache::Kind::Viewed));
        TileAreaSaver saver(settings, area, root.path());
        QSignalSpy progress(&saver, &TileAreaSaver::progress);
        QSignalSpy finished(&saver, &TileAreaSaver::finished);
        saver.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first(), QVariantList({3, 0, false}));
        QCOMPARE(progress.size(), 3);
        QCOMPARE(source.paths, QByteArrayList({"/4/2/6.png", "/4/3/6.png"}));
        for (const tiles::TileId &tile : area)
            QVERIFY(cache.filePath(tile).contains(QLatin1String("/saved/")));
    }
};

QTEST_GUILESS_MAIN(TestTiles)
#include "test_tiles.moc"
