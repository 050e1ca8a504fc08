#include "httpclient.h"
#include "testserver.h"

#include "model/trace.h"
#include "webserver/httpserver/staticfilecontroller.h"

#include <QtTest>

class TestStaticFiles : public QObject
{
    Q_OBJECT

private slots:
    void contentTypeByEnding_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("png") << "a.png" << QByteArray("image/png");
        QTest::newRow("jpg") << "a.jpg" << QByteArray("image/jpeg");
        QTest::newRow("gif") << "a.gif" << QByteArray("image/gif");
        QTest::newRow("pdf") << "a.pdf" << QByteArray("application/pdf");
        QTest::newRow("txt") << "a.txt" << QByteArray("text/plain; charset=ISO-8859-1");
        QTest::newRow("html") << "a.html" << QByteArray("text/html; charset=ISO-8859-1");
        QTest::newRow("htm") << "a.htm" << QByteArray("text/html; charset=ISO-8859-1");
        QTest::newRow("css") << "a.css" << QByteArray("text/css");
        QTest::newRow("js") << "a.js" << QByteArray("text/javascript");
        QTest::newRow("svg") << "a.svg" << QByteArray("image/svg+xml");
        QTest::newRow("woff") << "a.woff" << QByteArray("font/woff");
        QTest::newRow("woff2") << "a.woff2" << QByteArray("font/woff2");
        QTest::newRow("ttf") << "a.ttf" << QByteArray("application/x-font-ttf");
        QTest::newRow("eot") << "a.eot" << QByteArray("application/vnd.ms-fontobject");
        QTest::newRow("otf") << "a.otf" << QByteArray("application/font-otf");
        QTest::newRow("unknown") << "a.kml" << QByteArray();
    }

    void contentTypeByEnding()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contentType);
        TestServer server(QByteArray(), "encoding=ISO-8859-1\nmaxAge=90000\n");
        server.addFile("docroot/" + fileName, "x");
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get("/" + fileName.toUtf8());
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.header("Content-Type"), contentType);
        QCOMPARE(reply.headers.contains("content-type"), !contentType.isEmpty());
        QCOMPARE(reply.header("Cache-Control"), QByteArray("max-age=90"));
        // A cache hit carries the same headers.
        const HttpReply again = client.get("/" + fileName.toUtf8());
        QCOMPARE(again.header("Content-Type"), contentType);
        QCOMPARE(again.header("Cache-Control"), QByteArray("max-age=90"));
    }

    void smallFileIsCachedUntilTimeout()
    {
        TestServer server(QByteArray(), "cacheTime=400\n");
        server.addFile(QStringLiteral("docroot/page.txt"), "version 1");
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/page.txt").body, QByteArray("version 1"));
        server.addFile(QStringLiteral("docroot/page.txt"), "version 2");
        QCOMPARE(client.get("/page.txt").body, QByteArray("version 1")); // hit
        QTRY_COMPARE_WITH_TIMEOUT(client.get("/page.txt").body, QByteArray("version 2"), 3000); // expired
    }

    void cacheTimeZeroKeepsEntries()
    {
        TestServer server(QByteArray(), "cacheTime=0\n");
        server.addFile(QStringLiteral("docroot/page.txt"), "version 1");
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/page.txt").body, QByteArray("version 1"));
        server.addFile(QStringLiteral("docroot/page.txt"), "version 2");
        QTest::qWait(50);
        QCOMPARE(client.get("/page.txt").body, QByteArray("version 1"));
    }

    void fileOverTheLimitIsNeverCached()
    {
        TestServer server;
        const QByteArray first = patternedBytes(65537);
        server.addFile(QStringLiteral("docroot/big.bin"), first);
        server.addFile(QStringLiteral("docroot/limit.bin"), patternedBytes(65536));
        server.start();
        HttpClient client(server.port());
        QVERIFY(client.get("/big.bin").body == first);
        QCOMPARE(client.get("/limit.bin").body.size(), 65536);

        const QByteArray second = QByteArray(65537, 'z');
        server.addFile(QStringLiteral("docroot/big.bin"), second);
        server.addFile(QStringLiteral("docroot/limit.bin"), QByteArray(65536, 'z'));
        QVERIFY(client.get("/big.bin").body == second);
        QCOMPARE(client.get("/limit.bin").body, patternedBytes(65536)); // at the limit: cached
    }

    void cacheSizeBoundsTheCache()
    {
        TestServer server(QByteArray(), "cacheSize=100\n");
        server.addFile(QStringLiteral("docroot/a.txt"), QByteArray(60, 'a'));
        server.addFile(QStringLiteral("docroot/b.txt"), QByteArray(60, 'b'));
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/a.txt").body, QByteArray(60, 'a'));
        QCOMPARE(client.get("/b.txt").body, QByteArray(60, 'b')); // pushes a.txt out
        server.addFile(QStringLiteral("docroot/a.txt"), QByteArray(60, 'A'));
        QCOMPARE(client.get("/a.txt").body, QByteArray(60, 'A'));
    }

    void directoryServesIndexHtml()
    {
        TestServer server;
        server.addFile(QStringLiteral("docroot/index.html"), "<p>root</p>");
        server.addFile(QStringLiteral("docroot/maps/index.html"), "<p>maps</p>");
        server.start();
        HttpClient client(server.port());
        const HttpReply root = client.get("/");
        QCOMPARE(root.body, QByteArray("<p>root</p>"));
        QCOMPARE(root.header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
        QCOMPARE(client.get("/maps").body, QByteArray("<p>maps</p>"));
        QCOMPARE(client.get("/maps/").body, QByteArray("<p>maps</p>"));
    }

    void missingFileGets404()
    {
        TestServer server;
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get("/KIPO.html");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 404 not found"));
        QCOMPARE(reply.body, QByteArray("404 not found"));
        QCOMPARE(client.get("/").status, 404); // no index.html
    }

    void unreadableFileGets403()
    {
        TestServer server;
        // A folder's index.html that is itself a folder exists but cannot be read as a file.
        QVERIFY(QDir(server.docroot()).mkpath(QStringLiteral("odd/index.html")));
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get("/odd");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 403 forbidden"));
        QCOMPARE(reply.body, QByteArray("403 forbidden"));
    }

    void nothingOutsideTheDocumentRootIsServed_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("dot dot") << QByteArray("/../secret.txt");
        QTest::newRow("dot dot inside") << QByteArray("/sub/../../secret.txt");
        QTest::newRow("percent-encoded dots") << QByteArray("/%2e%2e/secret.txt");
        QTest::newRow("percent-encoded slash") << QByteArray("/..%2fsecret.txt");
        QTest::newRow("without leading slash") << QByteArray("..%2Fsecret.txt");
        QTest::newRow("sibling by name prefix") << QByteArray("-private.txt");
        QTest::newRow("doubled slashes and dots") << QByteArray("//..//secret.txt");
        QTest::newRow("symbolic link out") << QByteArray("/link-out.txt");
        QTest::newRow("link to a folder outside") << QByteArray("/folder-out/secret.txt");
        QTest::newRow("absolute url") << QByteArray("http://localhost/../secret.txt");
    }

    void nothingOutsideTheDocumentRootIsServed()
    {
        QFETCH(QByteArray, path);
        TestServer server;
        server.addFile(QStringLiteral("secret.txt"), "secret");
        server.addFile(QStringLiteral("docroot-private.txt"), "secret");
        server.addFile(QStringLiteral("docroot/sub/inside.txt"), "inside");
        QVERIFY(QFile::link(server.path(QStringLiteral("secret.txt")), server.path(QStringLiteral("docroot/link-out.txt"))));
        QVERIFY(QFile::link(server.dir.path(), server.path(QStringLiteral("docroot/folder-out"))));
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get(path);
        QCOMPARE(reply.status, 403);
        QCOMPARE(reply.body, QByteArray("403 forbidden"));
    }

    void linksInsideTheDocumentRootAreServed()
    {
        TestServer server;
        server.addFile(QStringLiteral("docroot/sub/inside.txt"), "inside");
        QVERIFY(QFile::link(server.path(QStringLiteral("docroot/sub/inside.txt")),
                            server.path(QStringLiteral("docroot/alias.txt"))));
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/alias.txt").body, QByteArray("inside"));
        QCOMPARE(client.get("//sub//inside.txt").body, QByteArray("inside"));
        QCOMPARE(client.get("/sub/%69nside.txt").body, QByteArray("inside"));
    }

    void urlNamesTheBoundPort()
    {
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
        QStringList traced;
        okukipo::setTraceHandler([&traced](const QString &line) { traced << line; });
        TestServer server;
        server.start();
        const QUrl url = WebServer::url(QStringLiteral("KIPO.html"));
        okukipo::setTraceHandler(nullptr);
        const QString expected = "http://localhost:" + QString::number(server.port()) + "/KIPO.html";
        QCOMPARE(url.toString(), expected);
        QCOMPARE(traced, QStringList{"URL: " + expected});
        QCOMPARE(WebServer::instance(), server.server.get());
        server.server.reset();
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
    }

    void startsWithoutConfigurationFile()
    {
        QTemporaryDir dir;
        QFile page(dir.filePath(QStringLiteral("KIPO.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("map");
        page.close();
        QObject owner;
        WebServer server(&owner, dir.filePath(QStringLiteral("http_server.ini")));
        QVERIFY(server.listener()->isListening());
        QVERIFY(server.port() != 0);
        QCOMPARE(server.listener()->serverAddress(), QHostAddress(QHostAddress::LocalHost));
        // The document root is the configuration file's folder.
        HttpClient client(server.port());
        QCOMPARE(client.get("/KIPO.html").body, QByteArray("map"));
    }

    void shippedConfigurationServesTheMapPage()
    {
        const QString configFile = QStringLiteral(OKUKIPO_APP_DIR "/http_server.ini");
        QSettings settings(configFile, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("listener/host")).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(settings.value(QStringLiteral("listener/port")).toInt(), 0);

        QObject owner;
        WebServer server(&owner, configFile);
        QCOMPARE(server.listener()->serverAddress(), QHostAddress(QHostAddress::LocalHost));
        HttpClient client(server.port());
        const HttpReply page = client.get("/KIPO.html");
        QCOMPARE(page.status, 200);
        QCOMPARE(page.header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
        QVERIFY(page.body.contains("kipo-map.js"));
        for (const QByteArray path : {"/kipo-map.js", "/kipo-map.css", "/leaflet/leaflet.js", "/leaflet/leaflet.css"})
            QCOMPARE(client.get(path).status, 200);
        QCOMPARE(client.get("/../http_server.ini").status, 403);
    }
};

QTEST_GUILESS_MAIN(TestStaticFiles)
#include "test_staticfiles.moc"
