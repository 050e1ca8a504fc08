#include "httpclient.h"
#include "testserver.h"

#include "webserver/httpserver/httpconnectionhandlerpool.h"
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

// A server with a small and a large file.
struct FileServer : TestServer {
    explicit FileServer(const QByteArray &listenerSettings = QByteArray()) : TestServer(listenerSettings)
    {
        addFile(QStringLiteral("docroot/small.txt"), "hello");
        addFile(QStringLiteral("docroot/large.bin"), large);
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
        QTest::newRow("headers over 16000 bytes") << "GET / HTTP/1.1\r\nX: " + QByteArray(16100, 'x') + "\r\n\r\n" << tooLarge;
        QTest::newRow("body over 16000 bytes") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 16001\r\n\r\n") << tooLarge;
        QTest::newRow("multipart over 1000000 bytes") << QByteArray("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; "
                                                                    "boundary=b\r\nContent-Length: 1000001\r\n\r\n")
                                                      << tooLarge;
        QTest::newRow("broken request line") << QByteArray("HELLO\r\n\r\n") << tooLarge;
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
        QCOMPARE(client.readUntilClosed(), reply);
        // Once the first client leaves, its handler serves again.
        first.reset();
        QTRY_VERIFY(HttpClient(server.port()).get("/small.txt").status == 200);
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

    void idleHandlersAreRemovedDownToMinThreads()
    {
        FileServer server("minThreads=1\nmaxThreads=5\ncleanupInterval=20\n");
        {
            HttpClient a(server.port()), b(server.port()), c(server.port());
            for (HttpClient *client : {&a, &b, &c})
                QCOMPARE(client->get("/small.txt").status, 200);
            QCOMPARE(server.listener()->connectionHandlerPool()->size(), 3);
        }
        QTRY_COMPARE(server.listener()->connectionHandlerPool()->size(), 1);
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

    void sslStaysOffWithoutItsFiles()
    {
        FileServer plain("sslKeyFile=missing-key.pem\nsslCertFile=missing-cert.pem\n");
        QCOMPARE(HttpClient(plain.port()).get("/small.txt").body, QByteArray("hello"));
    }
};

QTEST_GUILESS_MAIN(TestHttpServer)
#include "test_httpserver.moc"
