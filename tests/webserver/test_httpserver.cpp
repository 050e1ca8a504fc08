#include "httpclient.h"
#include "testserver.h"

#include "webserver/httpserver/httpconnectionhandlerpool.h"
#include "webserver/httpserver/httprequest.h"
#include "webserver/httpserver/httprequesthandler.h"
#include "webserver/httpserver/httpresponse.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSslSocket>
#include <QtTest>

#include <functional>
#include <stdexcept>

using namespace quorl;

namespace {

const QByteArray entityTooLarge = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
const QByteArray tooManyConnections =
    "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";

class ScriptedHandler : public HttpRequestHandler
{
public:
    explicit ScriptedHandler(std::function<void(HttpRequest &, HttpResponse &)> serve)
        : serve(std::move(serve))
    {
    }
    void service(HttpRequest &request, HttpResponse &response) override { serve(request, response); }

private:
    std::function<void(HttpRequest &, HttpResponse &)> serve;
};

// A listener around any request handler, configured by an ini text.
struct BareListener {
    BareListener(HttpRequestHandler *handler, const QByteArray &listenerSettings = QByteArray())
    {
        QFile config(dir.filePath(QStringLiteral("http_server.ini")));
        config.open(QIODevice::WriteOnly);
        config.write("[listener]\n" + listenerSettings + "\n");
        config.close();
        settings = std::make_unique<QSettings>(config.fileName(), QSettings::IniFormat);
        settings->beginGroup(QStringLiteral("listener"));
        listener = std::make_unique<HttpListener>(settings.get(), handler);
        listener->listen();
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<HttpListener> listener;
};

} // namespace

class TestHttpServer : public QObject
{
    Q_OBJECT

private slots:
    void responseInOneWriteHasContentLength()
    {
        TestServer server;
        server.addFile(QStringLiteral("docroot/small.txt"), "hello");
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get("/small.txt");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.header("Content-Length"), QByteArray("5"));
        QVERIFY(!reply.chunked);
        QCOMPARE(reply.body, QByteArray("hello"));
    }

    void keepAliveServesRequestsInTurn()
    {
        TestServer server;
        server.addFile(QStringLiteral("docroot/a.txt"), "first");
        server.addFile(QStringLiteral("docroot/b.txt"), "second");
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/a.txt").body, QByteArray("first"));
        QCOMPARE(client.get("/b.txt").body, QByteArray("second"));

        // Pipelined: both requests in one packet.
        client.send("GET /b.txt HTTP/1.1\r\n\r\nGET /a.txt HTTP/1.1\r\n\r\n");
        HttpReply reply;
        QVERIFY(client.readReply(reply));
        QCOMPARE(reply.body, QByteArray("second"));
        QVERIFY(client.readReply(reply));
        QCOMPARE(reply.body, QByteArray("first"));
        QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
    }

    void responseInPartsIsChunked()
    {
        const QByteArray content = patternedBytes(200000);
        TestServer server;
        server.addFile(QStringLiteral("docroot/large.bin"), content);
        server.start();
        HttpClient client(server.port());
        const HttpReply reply = client.get("/large.bin");
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.chunked);
        QVERIFY(!reply.headers.contains("content-length"));
        QCOMPARE(reply.body.size(), content.size());
        QVERIFY(reply.body == content);
        QVERIFY(reply.raw.endsWith("\r\n0\r\n\r\n"));
        // The connection stays usable after a chunked body.
        QCOMPARE(client.get("/large.bin").body.size(), content.size());
    }

    void clientAskingToCloseGetsClosed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("HTTP/1.0") << QByteArray("GET /%1 HTTP/1.0\r\n\r\n") << QByteArray("small.txt");
        QTest::newRow("Connection: close")
            << QByteArray("GET /%1 HTTP/1.1\r\nConnection: Close\r\n\r\n") << QByteArray("small.txt");
        QTest::newRow("HTTP/1.0, file in parts") << QByteArray("GET /%1 HTTP/1.0\r\n\r\n") << QByteArray("large.bin");
    }

    void clientAskingToCloseGetsClosed()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, file);
        const QByteArray large = patternedBytes(150000);
        TestServer server;
        server.addFile(QStringLiteral("docroot/small.txt"), "hello");
        server.addFile(QStringLiteral("docroot/large.bin"), large);
        server.start();
        HttpClient client(server.port());
        client.send(request.replace("%1", file));
        HttpReply reply;
        QVERIFY(client.readReply(reply));
        QCOMPARE(reply.header("Connection"), QByteArray("close"));
        // A body that ends with the connection needs no chunks.
        QVERIFY(!reply.chunked);
        QCOMPARE(reply.body, file == "large.bin" ? large : QByteArray("hello"));
        QVERIFY(client.waitDisconnected());
    }

    void oversizeRequestGets413_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("headers over 16000 bytes")
            << QByteArray("GET / HTTP/1.1\r\nX-Padding: " + QByteArray(16100, 'x') + "\r\n\r\n");
        QTest::newRow("body over 16000 bytes") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 16001\r\n\r\n");
        QTest::newRow("multipart over 1000000 bytes")
            << QByteArray("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                          "Content-Length: 1000001\r\n\r\n");
        QTest::newRow("broken request line") << QByteArray("HELLO\r\n\r\n");
    }

    void oversizeRequestGets413()
    {
        QFETCH(QByteArray, request);
        TestServer server;
        server.start();
        HttpClient client(server.port());
        client.send(request);
        QCOMPARE(client.readUntilClosed(), entityTooLarge);
    }

    void everyHandlerBusyGets503()
    {
        TestServer server("maxThreads=1\n");
        server.addFile(QStringLiteral("docroot/small.txt"), "hello");
        server.start();
        auto first = std::make_unique<HttpClient>(server.port());
        QCOMPARE(first->get("/small.txt").status, 200); // its handler now waits for the next request

        HttpClient second(server.port());
        QCOMPARE(second.readUntilClosed(), tooManyConnections);

        // Once the first client leaves, its handler serves again.
        first.reset();
        QVERIFY(QTest::qWaitFor(
            [&] {
                HttpClient next(server.port());
                return next.get("/small.txt").status == 200;
            },
            5000));
    }

    void silentClientTimesOut()
    {
        TestServer server("readTimeout=200\n");
        server.addFile(QStringLiteral("docroot/small.txt"), "hello");
        server.start();

        QElapsedTimer elapsed;
        elapsed.start();
        HttpClient partial(server.port());
        QVERIFY(partial.waitConnected());
        partial.send("GET /small.txt HT");
        QVERIFY(partial.waitDisconnected(3000));
        QVERIFY(elapsed.elapsed() >= 150);

        // A kept-alive connection is closed after the same idle time.
        HttpClient idle(server.port());
        QCOMPARE(idle.get("/small.txt").status, 200);
        QVERIFY(idle.waitDisconnected(3000));

        // A body arriving slowly keeps the connection as long as bytes come.
        HttpClient slow(server.port());
        slow.send("POST /small.txt HTTP/1.1\r\nContent-Length: 4\r\n\r\n");
        for (char byte : QByteArray("abcd")) {
            QTest::qWait(120);
            slow.send(QByteArray(1, byte));
        }
        HttpReply reply;
        QVERIFY(slow.readReply(reply));
        QCOMPARE(reply.status, 200);
    }

    void idleHandlersAreRemovedDownToMinThreads()
    {
        TestServer server("minThreads=1\nmaxThreads=5\ncleanupInterval=20\n");
        server.addFile(QStringLiteral("docroot/small.txt"), "hello");
        server.start();
        {
            HttpClient a(server.port()), b(server.port()), c(server.port());
            for (HttpClient *client : {&a, &b, &c})
                QCOMPARE(client->get("/small.txt").status, 200);
            QCOMPARE(server.listener()->connectionHandlerPool()->size(), 3);
        }
        QTRY_COMPARE(server.listener()->connectionHandlerPool()->size(), 1);
    }

    void unhandledRequestGets501()
    {
        HttpRequestHandler handler;
        BareListener bare(&handler);
        HttpClient client(bare.listener->serverPort());
        const HttpReply reply = client.get("/anything");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 501 not implemented"));
        QCOMPARE(reply.body, QByteArray("501 not implemented"));
    }

    void handlerExceptionStillEndsResponse()
    {
        ScriptedHandler handler([](HttpRequest &request, HttpResponse &response) {
            if (request.getPath() == "/throw")
                throw std::runtime_error("broken handler");
            response.write("fine", true);
        });
        BareListener bare(&handler);
        HttpClient client(bare.listener->serverPort());
        const HttpReply failed = client.get("/throw");
        QCOMPARE(failed.status, 200);
        QCOMPARE(failed.header("Content-Length"), QByteArray("0"));
        QCOMPARE(client.get("/ok").body, QByteArray("fine"));
    }

    void unfinishedResponseIsEndedByTheConnection()
    {
        ScriptedHandler handler([](HttpRequest &, HttpResponse &response) {
            response.setStatus(202, "accepted");
            response.setHeader("X-Flight", "climb");
            HttpCookie cookie;
            cookie.name = "units";
            cookie.value = "metric";
            cookie.maxAge = 60;
            cookie.path = "/";
            cookie.httpOnly = true;
            response.setCookie(cookie);
            response.write("part one, ");
            response.write("part two");
        });
        BareListener bare(&handler);
        HttpClient client(bare.listener->serverPort());
        const HttpReply reply = client.get("/");
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 202 accepted"));
        QCOMPARE(reply.header("X-Flight"), QByteArray("climb"));
        QCOMPARE(reply.header("Set-Cookie"), QByteArray("units=metric; Max-Age=60; Path=/; HttpOnly"));
        QVERIFY(reply.chunked);
        QCOMPARE(reply.body, QByteArray("part one, part two"));
        QVERIFY(reply.raw.endsWith("8\r\npart two\r\n0\r\n\r\n"));
    }

    void responseWithoutLengthClosesConnection()
    {
        ScriptedHandler handler([](HttpRequest &, HttpResponse &response) {
            response.setHeader("Connection", "close");
            response.write("streamed");
            response.write(" to the end", true);
        });
        BareListener bare(&handler);
        HttpClient client(bare.listener->serverPort());
        const HttpReply reply = client.get("/");
        QVERIFY(!reply.chunked);
        QCOMPARE(reply.body, QByteArray("streamed to the end"));
        QVERIFY(client.waitDisconnected());
    }

    void listensOnLoopbackWithoutHost()
    {
        HttpRequestHandler handler;
        BareListener bare(&handler, "host=\n");
        QVERIFY(bare.listener->isListening());
        QCOMPARE(bare.listener->serverAddress(), QHostAddress(QHostAddress::LocalHost));
        QVERIFY(bare.listener->serverPort() != 0);

        // Another address of this machine does not reach the server.
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            QTcpSocket outsider;
            outsider.connectToHost(address, bare.listener->serverPort());
            QVERIFY(!outsider.waitForConnected(2000));
        }
    }

    void serverWithSslConfigured()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no SSL library");
        TestServer server("sslKeyFile=" OKUKIPO_TEST_DATA_DIR "/ssl-key.pem\n"
                          "sslCertFile=" OKUKIPO_TEST_DATA_DIR "/ssl-cert.pem\n");
        server.addFile(QStringLiteral("docroot/small.txt"), "secret hello");
        server.start();
        QSslSocket client;
        client.setPeerVerifyMode(QSslSocket::VerifyNone);
        client.connectToHostEncrypted(QStringLiteral("localhost"), server.port());
        QVERIFY(QTest::qWaitFor([&] { return client.isEncrypted(); }, 5000));
        client.write("GET /small.txt HTTP/1.0\r\n\r\n");
        QByteArray received;
        QVERIFY(QTest::qWaitFor(
            [&] {
                received += client.readAll();
                return received.endsWith("secret hello");
            },
            5000));
        QVERIFY(received.startsWith("HTTP/1.1 200 OK\r\n"));
    }

    void sslStaysOffWhenFilesAreMissing()
    {
        TestServer server("sslKeyFile=missing-key.pem\nsslCertFile=missing-cert.pem\n");
        server.addFile(QStringLiteral("docroot/small.txt"), "plain");
        server.start();
        HttpClient client(server.port());
        QCOMPARE(client.get("/small.txt").body, QByteArray("plain"));
    }
};

QTEST_GUILESS_MAIN(TestHttpServer)
#include "test_httpserver.moc"
