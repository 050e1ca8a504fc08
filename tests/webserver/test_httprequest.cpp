#include "webserver/httpserver/httprequest.h"

#include <QBuffer>
#include <QtTest>

using quorl::HttpRequest;

namespace {

// Feeds the bytes as the connection handler does: while bytes remain and the request is unfinished.
void feed(HttpRequest &request, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    while (buffer.bytesAvailable() > 0 && request.getStatus() != HttpRequest::complete
           && request.getStatus() != HttpRequest::abort)
        request.readFromSocket(&buffer);
}

quorl::HttpRequestLimits limits(qint64 maxRequestSize = 16000, qint64 maxMultiPartSize = 1000000)
{
    quorl::HttpRequestLimits result;
    result.maxRequestSize = maxRequestSize;
    result.maxMultiPartSize = maxMultiPartSize;
    return result;
}

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

private slots:
    // Arriving byte by byte, as a slow client sends it.
    void requestLineHeadersCookiesAndFormBody()
    {
        const QByteArray text = "\r\nPOST /maps/K%20I/%2e%2e/P.html?zoom=12&name=a+b%21 HTTP/1.1\r\nHost: localhost:8080\r\n"
                                "X-Long:  first\r\n   second\r\nAccept: a\r\naccept: b\r\n"
                                "Cookie: units=metric; $Path=/; format = dms\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n\r\ny=2&z=%3D3&flag";
        HttpRequest request(limits());
        for (char byte : text) {
            QVERIFY(request.getStatus() != HttpRequest::complete);
            feed(request, QByteArray(1, byte));
        }
        QCOMPARE(request.getStatus(), HttpRequest::complete);
        QCOMPARE(request.getMethod() + ' ' + request.getPath() + ' ' + request.getVersion(),
                 QByteArray("POST /maps/K I/../P.html HTTP/1.1"));
        QCOMPARE(request.getHeader("HOST") + '|' + request.getHeader("x-long"), QByteArray("localhost:8080|first second"));
        QCOMPARE(request.getHeaders("accept").size(), 2);
        QCOMPARE(request.getCookie("units") + request.getCookie("format"), QByteArray("metricdms"));
        QCOMPARE(request.getCookieMap().size(), 2);
        QCOMPARE(request.getBody(), QByteArray("y=2&z=%3D3&flag"));
        QCOMPARE(request.getParameter("zoom") + request.getParameter("name") + request.getParameter("y") + request.getParameter("z"),
                 QByteArray("12a b!2=3"));
        QVERIFY(request.getParameterMap().contains("flag"));
    }

    void limitsAndBrokenRequests_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("maxRequestSize");
        QTest::addColumn<int>("status");
        const QByteArray head = "GET / HTTP/1.1\r\nX: " + QByteArray(60, 'a') + "\r\n\r\n";
        const QByteArray post = "POST /upload HTTP/1.1\r\n";
        const QByteArray multipart = post + "Content-Type: multipart/form-data; boundary=x\r\n";
        QTest::newRow("two parts") << QByteArray("GET /\r\n") << 16000LL << int(HttpRequest::abort);
        QTest::newRow("four parts") << QByteArray("GET / x HTTP/1.1\r\n") << 16000LL << int(HttpRequest::abort);
        QTest::newRow("no HTTP") << QByteArray("GET / FTP/1.0\r\n") << 16000LL << int(HttpRequest::abort);
        QTest::newRow("head at the limit") << head << qint64(head.size()) << int(HttpRequest::complete);
        QTest::newRow("head over the limit") << head << qint64(head.size() - 1) << int(HttpRequest::abort);
        QTest::newRow("endless line") << QByteArray(1000, 'G') << 100LL << int(HttpRequest::abort);
        QTest::newRow("blank lines") << QByteArray(200, '\n') << 100LL << int(HttpRequest::abort);
        QTest::newRow("negative limit") << QByteArray("GET / HTTP/1.1\r\n\r\n") << -5LL << int(HttpRequest::abort);
        QTest::newRow("body at the limit") << post + "Content-Length: 100\r\n\r\n" << 100LL << int(HttpRequest::waitForBody);
        QTest::newRow("body too large") << post + "Content-Length: 101\r\n\r\n" << 100LL << int(HttpRequest::abort);
        QTest::newRow("multipart at its limit") << multipart + "Content-Length: 500\r\n\r\n" << 100LL
                                                << int(HttpRequest::waitForBody);
        QTest::newRow("multipart too large") << multipart + "Content-Length: 501\r\n\r\n" << 100LL
                                             << int(HttpRequest::abort);
        QTest::newRow("negative length") << post + "Content-Length: -5\r\n\r\n" << 100LL << int(HttpRequest::abort);
        QTest::newRow("length not a number") << post + "Content-Length: ten\r\n\r\n" << 100LL << int(HttpRequest::abort);
    }

    void limitsAndBrokenRequests()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, maxRequestSize);
        QFETCH(int, status);
        HttpRequest request(limits(maxRequestSize, 500));
        feed(request, bytes);
        QCOMPARE(int(request.getStatus()), status);
    }
};

QTEST_GUILESS_MAIN(TestHttpRequest)
#include "test_httprequest.moc"
