#include "httpclient.h"
#include "testserver.h"

#include "model/trace.h"

#include <QtTest>

namespace {

// A server whose files are "page.txt" with "version 1" and those given.
struct PageServer : TestServer {
    explicit PageServer(const QByteArray &docrootSettings = QByteArray(), const QStringList &files = {})
        : TestServer(QByteArray(), docrootSettings)
    {
        addFile(QStringLiteral("docroot/page.txt"), "version 1");
        for (const QString &file : files)
            addFile(file, file.toUtf8());
        start();
    }
};

} // namespace

class TestStaticFiles : public QObject
{
    Q_OBJECT

private slots:
    void contentTypeByEnding_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("png") << "a.png" << QByteArray("image/png");
        QTest::newRow("txt") << "a.txt" << QByteArray("text/plain; charset=ISO-8859-1");
        QTest::newRow("htm") << "a.htm" << QByteArray("text/html; charset=ISO-8859-1");
        QTest::newRow("js") << "a.js" << QByteArray("text/javascript");
        QTest::newRow("woff2") << "a.woff2" << QByteArray("font/woff2");
        QTest::newRow("unknown") << "a.kml" << QByteArray();
    }

    void contentTypeByEnding()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contentType);
        PageServer server("encoding=ISO-8859-1\nmaxAge=90000\n", {"docroot/" + fileName});
        HttpClient client(server.port());
        for (int cacheHit = 0; cacheHit < 2; ++cacheHit) {
            const HttpReply reply = client.get("/" + fileName.toUtf8());
            QCOMPARE(reply.status, 200);
            QCOMPARE(reply.header("Content-Type"), contentType);
            QCOMPARE(reply.headers.contains("content-type"), !contentType.isEmpty());
            QCOMPARE(reply.header("Cache-Control"), QByteArray("max-age=90"));
        }
    }

    // The file changes after the first request: a cached copy still answers.
    void fileCache_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("cached");
        QTest::newRow("small file") << QByteArray() << 9 << true;
        QTest::newRow("at the size limit") << QByteArray() << 65536 << true;
        QTest::newRow("over the size limit") << QByteArray() << 65537 << false;
        QTest::newRow("cache time 0 keeps") << QByteArray("cacheTime=0\n") << 9 << true;
        QTest::newRow("over the cache size") << QByteArray("cacheSize=100\n") << 60 << false;
    }

    void fileCache()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, size);
        QFETCH(bool, cached);
        PageServer server(settings);
        server.addFile(QStringLiteral("docroot/page.txt"), patternedBytes(size));
        server.addFile(QStringLiteral("docroot/other.txt"), QByteArray(60, 'o'));
        HttpClient client(server.port());
        QVERIFY(client.get("/page.txt").body == patternedBytes(size));
        client.get("/other.txt"); // may push the first out
        server.addFile(QStringLiteral("docroot/page.txt"), QByteArray(size, 'z'));
        QVERIFY(client.get("/page.txt").body == (cached ? patternedBytes(size) : QByteArray(size, 'z')));
    }

    void cachedFileExpires()
    {
        PageServer server("cacheTime=400\n");
        HttpClient client(server.port());
        client.get("/page.txt");
        server.addFile(QStringLiteral("docroot/page.txt"), "version 2");
        QCOMPARE(client.get("/page.txt").body, QByteArray("version 1")); // hit
        QTRY_COMPARE_WITH_TIMEOUT(client.get("/page.txt").body, QByteArray("version 2"), 3000); // expired
    }

    void pathsAnswer_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray forbidden = "403 forbidden";
        QTest::newRow("folder's index.html") << QByteArray("/maps") << QByteArray("docroot/maps/index.html");
        QTest::newRow("folder with slash") << QByteArray("/maps/") << QByteArray("docroot/maps/index.html");
        QTest::newRow("link inside") << QByteArray("/alias.txt") << QByteArray("docroot/sub/inside.txt");
        QTest::newRow("doubled slashes") << QByteArray("//sub//inside.txt") << QByteArray("docroot/sub/inside.txt");
        QTest::newRow("percent-encoded letter") << QByteArray("/sub/%69nside.txt") << QByteArray("docroot/sub/inside.txt");
        QTest::newRow("missing") << QByteArray("/KIPO.html") << QByteArray("404 not found");
        QTest::newRow("no index.html") << QByteArray("/sub/") << QByteArray("404 not found");
        QTest::newRow("index.html a folder") << QByteArray("/odd") << forbidden;
        QTest::newRow("dot dot") << QByteArray("/../secret.txt") << forbidden;
        QTest::newRow("dot dot inside") << QByteArray("/sub/../../secret.txt") << forbidden;
        QTest::newRow("percent-encoded dots") << QByteArray("/%2e%2e/secret.txt") << forbidden;
        QTest::newRow("percent-encoded slash") << QByteArray("/..%2fsecret.txt") << forbidden;
        QTest::newRow("without leading slash") << QByteArray("..%2Fsecret.txt") << forbidden;
        QTest::newRow("sibling by name prefix") << QByteArray("-private.txt") << forbidden;
        QTest::newRow("doubled slashes and dots") << QByteArray("//..//secret.txt") << forbidden;
        QTest::newRow("symbolic link out") << QByteArray("/link-out.txt") << forbidden;
        QTest::newRow("link to a folder outside") << QByteArray("/folder-out/secret.txt") << forbidden;
        QTest::newRow("absolute url") << QByteArray("http://localhost/../secret.txt") << forbidden;
    }

    void pathsAnswer()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, reply);
        PageServer server(QByteArray(), {"secret.txt", "docroot-private.txt", "docroot/sub/inside.txt",
                                         "docroot/maps/index.html"});
        QVERIFY(QDir(server.docroot()).mkpath(QStringLiteral("odd/index.html")));
        QVERIFY(QFile::link(server.path("secret.txt"), server.path("docroot/link-out.txt")));
        QVERIFY(QFile::link(server.dir.path(), server.path("docroot/folder-out")));
        QVERIFY(QFile::link(server.path("docroot/sub/inside.txt"), server.path("docroot/alias.txt")));
        const HttpReply answer = HttpClient(server.port()).get(path);
        QCOMPARE(answer.body, reply);
        QCOMPARE(answer.statusLine, "HTTP/1.1 " + (reply.contains(' ') ? reply : "200 OK"));
    }

    void urlNamesTheBoundPort()
    {
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
        QStringList traced;
        okukipo::setTraceHandler([&traced](const QString &line) { traced << line; });
        auto server = std::make_unique<PageServer>();
        const QString expected = "http://localhost:" + QString::number(server->port()) + "/KIPO.html";
        QCOMPARE(WebServer::url(QStringLiteral("KIPO.html")).toString(), expected);
        okukipo::setTraceHandler(nullptr);
        QCOMPARE(traced, QStringList{"URL: " + expected});
        server.reset();
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
    }

    // Without a configuration file, its folder is the document root.
    void configurationFile()
    {
        for (const QString &configFile : {QString(), QStringLiteral(OKUKIPO_APP_DIR "/http_server.ini")}) {
            TestServer folder;
            folder.addFile(QStringLiteral("KIPO.html"), "kipo-map.js");
            QObject owner;
            WebServer server(&owner, configFile.isEmpty() ? folder.path("http_server.none") : configFile);
            QCOMPARE(server.listener()->serverAddress(), QHostAddress(QHostAddress::LocalHost));
            HttpClient client(server.port());
            const HttpReply reply = client.get("/KIPO.html");
            QVERIFY(reply.header("Content-Type") == "text/html; charset=UTF-8" && reply.body.contains("kipo-map.js"));
            for (const QByteArray path : {"/kipo-map.js", "/kipo-map.css", "/leaflet/leaflet.js", "/leaflet/leaflet.css"})
                QCOMPARE(client.get(path).status, configFile.isEmpty() ? 404 : 200);
            QCOMPARE(client.get("/../http_server.ini").status, 403);
        }
    }
};

QTEST_GUILESS_MAIN(TestStaticFiles)
#include "test_staticfiles.moc"
