#include "httpclient.h"
#include "testserver.h"

#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/httprequesthandler.h"
#include "webserver/httpserver/httpresponse.h"

#include <QNetworkInterface>
#include <QtTest>

#include <functional>
#include <stdexcept>

using namespace quorl;

namespace {

using Serve = std::function<void(HttpRequest &, HttpResponse &)>;

// A listener around a scripted handler (none: the base handler), configured by an ini text.
struct BareListener : HttpRequestHandler {
    explicit BareListener(Serve serve, const QByteArray &listenerSettings = QByteArray())
        : serve(std::move(serve))
        , files(listenerSettings)
    {
        settings = std::make_unique<QSettings>(files.path("http_server.ini"), QSettings::IniFormat);
        settings->beginGroup(QStringLiteral("listener"));
        listener = std::make_unique<HttpListener>(settings.get(), this);
        listener->listen();
    }
    void service(HttpRequest &request, HttpResponse &response) override
    {
        serve ? serve(request, response) : HttpRequestHandler::service(request, response);
    }

    Serve serve;
    TestServer files;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<HttpListener> listener;
};

// A server with a small and a large file, and the files given, each holding its own name.
struct FileServer : TestServer {
    explicit FileServer(const QByteArray &listenerSettings = {}, const QByteArray &docrootSettings = {},
                        const QStringList &files = {})
        : TestServer(listenerSettings, docrootSettings)
    {
        addFile(QStringLiteral("docroot/small.txt"), "hello");
        addFile(QStringLiteral("docroot/large.bin"), large);
        for (const QString &file : files)
            addFile(file, file.toUtf8());
        start();
    }
    const QByteArray large = patternedBytes(200000);
};

} // namespace

class TestHttpServer : public QObject
{
    Q_OBJECT

private slots:
    void keptAliveResponsesInOneWriteOrChunked()
    {
        FileServer server;
        HttpClient client(server.port());
        const HttpReply small = client.get("/small.txt");
        QCOMPARE(small.statusLine + ' ' + small.header("Content-Length") + ' ' + small.body, QByteArray("HTTP/1.1 200 OK 5 hello"));
        const HttpReply large = client.get("/large.bin");
        QVERIFY(!small.chunked && large.chunked && !large.headers.contains("content-length"));
        QVERIFY(large.body == server.large && large.raw.endsWith("\r\n0\r\n\r\n"));
        // Pipelined: both requests in one packet, on the same connection.
        client.send("GET /large.bin HTTP/1.1\r\n\r\nGET /small.txt HTTP/1.1\r\n\r\n");
        HttpReply reply;
        QVERIFY(client.readReply(reply) && reply.body == server.large);
        QVERIFY(client.readReply(reply) && reply.body == "hello");
        QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
    }

    void clientAskingToCloseGetsClosed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("HTTP/1.0") << QByteArray("GET /small.txt HTTP/1.0\r\n\r\n");
        QTest::newRow("Connection: close") << QByteArray("GET /small.txt HTTP/1.1\r\nConnection: Close\r\n\r\n");
        QTest::newRow("HTTP/1.0, file in parts") << QByteArray("GET /large.bin HTTP/1.0\r\n\r\n");
    }

    void clientAskingToCloseGetsClosed()
    {
        QFETCH(QByteArray, request);
        FileServer server;
        HttpClient client(server.port());
        client.send(request);
        HttpReply reply;
        QVERIFY(client.readReply(reply));
        // A body that ends with the connection needs no chunks.
        QVERIFY(reply.header("Connection") == "close" && !reply.chunked);
        QVERIFY(reply.body == (request.contains("large") ? server.large : QByteArray("hello")));
        QVERIFY(client.waitDisconnected());
    }

    void refusedRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray tooLarge = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
        // The limits themselves are the request parser's tests.
        QTest::newRow("headers over 16000 bytes") << "GET / HTTP/1.1\r\nX: " + QByteArray(16100, 'x') + "\r\n\r\n" << tooLarge;
        // The one handler of "maxThreads=1" is kept by a first client.
        QTest::newRow("every handler busy") << QByteArray()
                                            << QByteArray("HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\n"
                                                          "Too many connections\r\n");
    }

    void refusedRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        FileServer server(request.isEmpty() ? "maxThreads=1\n" : "");
        auto first = std::make_unique<HttpClient>(server.port());
        QCOMPARE(first->get("/small.txt").status, 200);
        HttpClient client(server.port());
        client.send(request);
        HttpReply answer; // without a length: all until the server closes
        QVERIFY(client.readReply(answer) && client.waitDisconnected());
        QCOMPARE(answer.raw, reply);
        // Once the first client leaves, its handler serves again; a loaded
        // machine may take a while to notice it leaving.  Each try holds the
        // handler until the server sees it leave, so a success must not be
        // asked again at once, as QTRY does.
        first.reset();
        QVERIFY(QTest::qWaitFor([&] { return HttpClient(server.port()).get("/small.txt").status == 200; }, 15000));
    }

    void silentClientTimesOut()
    {
        FileServer server("readTimeout=200\n");
        HttpClient partial(server.port());
        partial.send("GET /small.txt HT");
        QVERIFY(!partial.waitDisconnected(100) && partial.waitDisconnected(3000));
        // A kept-alive connection is closed after the same idle time.
        HttpClient idle(server.port());
        QCOMPARE(idle.get("/small.txt").status, 200);
        QVERIFY(idle.waitDisconnected(3000));
        // A body arriving slowly keeps the connection as long as bytes come.
        HttpClient slow(server.port());
        slow.send("POST /small.txt HTTP/1.1\r\nContent-Length: 4\r\n\r\n");
        for (char byte : QByteArray("abcd"))
            QTest::qWait(120), slow.send(QByteArray(1, byte));
        HttpReply reply;
        QVERIFY(slow.readReply(reply) && reply.status == 200);
    }

    void handlersEndTheirResponses()
    {
        BareListener bare([](HttpRequest &request, HttpResponse &response) {
            if (request.getPath() == "/throw")
                throw std::runtime_error("broken handler");
            if (request.getPath() == "/close")
                response.setHeader("Connection", "close");
            response.setStatus(202, "accepted");
            response.setCookie({"units", "metric", {}, {}, 60, "/", false, true, {}});
            response.write("part one, ");
            response.write("part two"); // the last part is left to the connection
        });
        HttpClient client(bare.listener->serverPort());
        const HttpReply failed = client.get("/throw");
        QVERIFY(failed.status == 200 && failed.header("Content-Length") == "0");
        const HttpReply reply = client.get("/");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 202 accepted"));
        QCOMPARE(reply.header("Set-Cookie"), QByteArray("units=metric; Max-Age=60; Path=/; HttpOnly"));
        QVERIFY(reply.chunked && reply.raw.endsWith("8\r\npart two\r\n0\r\n\r\n"));
        const HttpReply closing = client.get("/close");
        QVERIFY(!closing.chunked && closing.body == "part one, part two");
        QVERIFY(client.waitDisconnected());
    }

    void listensOnLoopbackOnlyAndAnswers501Unhandled()
    {
        BareListener bare(nullptr, "host=\n");
        QCOMPARE(bare.listener->serverAddress(), QHostAddress(QHostAddress::LocalHost));
        const HttpReply reply = HttpClient(bare.listener->serverPort()).get("/anything");
        QCOMPARE(reply.statusLine + ' ' + reply.body, QByteArray("HTTP/1.1 501 not implemented 501 not implemented"));
        // Another address of this machine does not reach the server.
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            QTcpSocket outsider;
            outsider.connectToHost(address, bare.listener->serverPort());
            QVERIFY(address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol
                    || !outsider.waitForConnected(2000));
        }
    }

    // ---- Static files ----

    void contentTypeByEnding_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("png") << "a.png" << QByteArray("image/png");
        QTest::newRow("htm") << "a.htm" << QByteArray("text/html; charset=ISO-8859-1");
        QTest::newRow("unknown") << "a.kml" << QByteArray();
    }

    void contentTypeByEnding()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contentType);
        FileServer server({}, "encoding=ISO-8859-1\nmaxAge=90000\n", {"docroot/" + fileName});
        HttpClient client(server.port());
        for (int cacheHit = 0; cacheHit < 2; ++cacheHit) {
            const HttpReply reply = client.get("/" + fileName.toUtf8());
            QCOMPARE(reply.header("Content-Type") + '|' + reply.header("Cache-Control"), contentType + "|max-age=90");
            QCOMPARE(reply.headers.contains("content-type"), !contentType.isEmpty());
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
        QTest::newRow("until the cache time") << QByteArray("cacheTime=400\n") << 9 << true;
    }

    void fileCache()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, size);
        QFETCH(bool, cached);
        FileServer server({}, settings);
        server.addFile(QStringLiteral("docroot/page.txt"), patternedBytes(size));
        server.addFile(QStringLiteral("docroot/other.txt"), QByteArray(60, 'o'));
        HttpClient client(server.port());
        QVERIFY(client.get("/page.txt").body == patternedBytes(size));
        client.get("/other.txt"); // may push the first out
        server.addFile(QStringLiteral("docroot/page.txt"), QByteArray(size, 'z'));
        QVERIFY(client.get("/page.txt").body == (cached ? patternedBytes(size) : QByteArray(size, 'z')));
        // The retries' own time does not count in QTRY's time-out: the clock does.
        QElapsedTimer clock;
        clock.start();
        if (settings.contains("cacheTime=400"))
            QTRY_VERIFY2_WITH_TIMEOUT(client.get("/page.txt").body == QByteArray(size, 'z') && clock.elapsed() < 2000,
                                      "expired late", 3000);
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
        QTest::newRow("percent-encoded dots") << QByteArray("/%2e%2e/secret.txt") << forbidden;
        QTest::newRow("percent-encoded slash") << QByteArray("/..%2fsecret.txt") << forbidden;
        QTest::newRow("without leading slash") << QByteArray("..%2Fsecret.txt") << forbidden;
        QTest::newRow("sibling by name prefix") << QByteArray("-private.txt") << forbidden;
        QTest::newRow("symbolic link out") << QByteArray("/link-out.txt") << forbidden;
        QTest::newRow("link to a folder outside") << QByteArray("/folder-out/secret.txt") << forbidden;
        QTest::newRow("absolute url") << QByteArray("http://localhost/../secret.txt") << forbidden;
    }

    void pathsAnswer()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, reply);
        FileServer server({}, {}, {"secret.txt", "docroot-private.txt", "docroot/sub/inside.txt",
                                         "docroot/maps/index.html"});
        QVERIFY(QDir().mkpath(server.path("docroot/odd/index.html")));
        QVERIFY(QFile::link(server.path("secret.txt"), server.path("docroot/link-out.txt")));
        QVERIFY(QFile::link(server.dir.path(), server.path("docroot/folder-out")));
        QVERIFY(QFile::link(server.path("docroot/sub/inside.txt"), server.path("docroot/alias.txt")));
        const HttpReply answer = HttpClient(server.port()).get(path);
        QCOMPARE(answer.body, reply);
        QCOMPARE(answer.statusLine, "HTTP/1.1 " + (reply.contains(' ') ? reply : "200 OK"));
    }

    // Missing SSL files leave the server on plain HTTP.
    void urlNamesTheBoundPort()
    {
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
        auto server = std::make_unique<FileServer>("sslKeyFile=missing-key.pem\nsslCertFile=missing-cert.pem\n");
        QCOMPARE(HttpClient(server->port()).get("/small.txt").body, QByteArray("hello"));
        QCOMPARE(WebServer::url(QStringLiteral("KIPO.html")).toString(),
                 "http://localhost:" + QString::number(server->port()) + "/KIPO.html");
        server.reset();
        QVERIFY(WebServer::url(QStringLiteral("KIPO.html")).isEmpty());
    }

    // Without a configuration file, its folder is the document root (the shipped one serves the map page's tests).
    void configurationFile()
    {
        TestServer folder;
        folder.addFile(QStringLiteral("KIPO.html"), "map");
        QObject owner;
        WebServer server(&owner, folder.path("http_server.none"));
        QCOMPARE(server.listener()->serverAddress(), QHostAddress(QHostAddress::LocalHost));
        HttpClient client(server.port());
        const HttpReply reply = client.get("/KIPO.html");
        QVERIFY(reply.header("Content-Type") == "text/html; charset=UTF-8" && reply.body == "map");
        QCOMPARE(client.get("/../http_server.none").status, 403);
    }
};

QTEST_GUILESS_MAIN(TestHttpServer)
#include "test_httpserver.moc"
