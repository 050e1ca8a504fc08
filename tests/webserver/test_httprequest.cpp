#include "webserver/httpserver/httprequest.h"

#include <QBuffer>
#include <QtTest>

using quorl::HttpRequest;
using quorl::HttpRequestLimits;

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

HttpRequestLimits limits(qint64 maxRequestSize = 16000, qint64 maxMultiPartSize = 1000000)
{
    HttpRequestLimits result;
    result.maxRequestSize = maxRequestSize;
    result.maxMultiPartSize = maxMultiPartSize;
    return result;
}

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

private slots:
    void requestLineAndHeaders()
    {
        HttpRequest request(limits());
        feed(request, "\r\nGET /maps/KIPO.html?zoom=12&name=a+b%21 HTTP/1.1\r\n"
                      "Host: localhost:8080\r\n"
                      "X-Long:  first\r\n"
                      "   second\r\n"
                      "Accept: a\r\n"
                      "accept: b\r\n"
                      "\r\n");
        QCOMPARE(request.getStatus(), HttpRequest::complete);
        QCOMPARE(request.getMethod(), QByteArray("GET"));
        QCOMPARE(request.getPath(), QByteArray("/maps/KIPO.html"));
        QCOMPARE(request.getVersion(), QByteArray("HTTP/1.1"));
        QCOMPARE(request.getHeader("HOST"), QByteArray("localhost:8080"));
        QCOMPARE(request.getHeader("x-long"), QByteArray("first second"));
        QCOMPARE(request.getHeaders("accept").size(), 2);
        QCOMPARE(request.getParameter("zoom"), QByteArray("12"));
        QCOMPARE(request.getParameter("name"), QByteArray("a b!"));
    }

    void pathIsPercentDecoded()
    {
        HttpRequest request(limits());
        feed(request, "GET /a%20b/%2e%2e/c HTTP/1.1\r\n\r\n");
        QCOMPARE(request.getPath(), QByteArray("/a b/../c"));
    }

    void requestArrivingByteByByte()
    {
        const QByteArray text = "POST /form HTTP/1.1\r\nContent-Length: 7\r\n\r\nabc=def";
        HttpRequest request(limits());
        for (char byte : text) {
            QCOMPARE(request.getStatus() == HttpRequest::complete, false);
            feed(request, QByteArray(1, byte));
        }
        QCOMPARE(request.getStatus(), HttpRequest::complete);
        QCOMPARE(request.getBody(), QByteArray("abc=def"));
        QVERIFY(request.getParameterMap().isEmpty()); // not a form content type
    }

    void formBodyGivesParameters()
    {
        HttpRequest request(limits());
        feed(request, "POST /form?x=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                      "Content-Length: 15\r\n\r\ny=2&z=%3D3&flag");
        QCOMPARE(request.getStatus(), HttpRequest::complete);
        QCOMPARE(request.getParameter("x"), QByteArray("1"));
        QCOMPARE(request.getParameter("y"), QByteArray("2"));
        QCOMPARE(request.getParameter("z"), QByteArray("=3"));
        QVERIFY(request.getParameterMap().contains("flag"));
    }

    void cookies()
    {
        HttpRequest request(limits());
        feed(request, "GET / HTTP/1.1\r\nCookie: units=metric; $Path=/; format = dms\r\n\r\n");
        QCOMPARE(request.getCookie("units"), QByteArray("metric"));
        QCOMPARE(request.getCookie("format"), QByteArray("dms"));
        QCOMPARE(request.getCookieMap().size(), 2);
    }

    void brokenRequestLineAborts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("two parts") << QByteArray("GET /\r\n");
        QTest::newRow("four parts") << QByteArray("GET / x HTTP/1.1\r\n");
        QTest::newRow("no HTTP") << QByteArray("GET / FTP/1.0\r\n");
    }

    void brokenRequestLineAborts()
    {
        QFETCH(QByteArray, line);
        HttpRequest request(limits());
        feed(request, line);
        QCOMPARE(request.getStatus(), HttpRequest::abort);
    }

    void headerBytesAreLimited()
    {
        const QByteArray head = "GET / HTTP/1.1\r\nX: " + QByteArray(60, 'a') + "\r\n";
        HttpRequest fits(limits(head.size() + 2));
        feed(fits, head + "\r\n");
        QCOMPARE(fits.getStatus(), HttpRequest::complete);

        HttpRequest tooLong(limits(head.size() + 1));
        feed(tooLong, head + "\r\n");
        QCOMPARE(tooLong.getStatus(), HttpRequest::abort);

        // A line that never ends must not be buffered without bound.
        HttpRequest endless(limits(100));
        feed(endless, QByteArray(1000, 'G'));
        QCOMPARE(endless.getStatus(), HttpRequest::abort);

        HttpRequest blankLines(limits(100));
        feed(blankLines, QByteArray(200, '\n'));
        QCOMPARE(blankLines.getStatus(), HttpRequest::abort);

        // A nonsensical configured limit refuses requests instead of stalling the reader.
        HttpRequest negativeLimit(limits(-5));
        feed(negativeLimit, "GET / HTTP/1.1\r\n\r\n");
        QCOMPARE(negativeLimit.getStatus(), HttpRequest::abort);
    }

    void bodySizeIsLimited_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status");
        QTest::newRow("plain body at the limit") << QByteArray("Content-Length: 100\r\n") << int(HttpRequest::waitForBody);
        QTest::newRow("plain body too large") << QByteArray("Content-Length: 101\r\n") << int(HttpRequest::abort);
        QTest::newRow("multipart at its limit")
            << QByteArray("Content-Type: multipart/form-data; boundary=x\r\nContent-Length: 500\r\n")
            << int(HttpRequest::waitForBody);
        QTest::newRow("multipart too large")
            << QByteArray("Content-Type: multipart/form-data; boundary=x\r\nContent-Length: 501\r\n")
            << int(HttpRequest::abort);
        QTest::newRow("negative length") << QByteArray("Content-Length: -5\r\n") << int(HttpRequest::abort);
        QTest::newRow("length not a number") << QByteArray("Content-Length: ten\r\n") << int(HttpRequest::abort);
    }

    void bodySizeIsLimited()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, status);
        HttpRequest request(limits(100, 500));
        feed(request, "POST /upload HTTP/1.1\r\n" + head + "\r\n");
        QCOMPARE(int(request.getStatus()), status);
    }

    void multipartUpload()
    {
        const QByteArray body = "preamble\r\n"
                                "--XyZ\r\n"
                                "Content-Disposition: form-data; name=\"title\"\r\n"
                                "\r\n"
                                "Test flight\r\n"
                                "--XyZ\r\n"
                                "Content-Disposition: form-data; name=\"flight\"; filename=\"climb.kml\"\r\n"
                                "Content-Type: application/octet-stream\r\n"
                                "\r\n"
                                "line one\r\n"
                                "line two\r\n"
                                "--XyZ\r\n"
                                "Content-Disposition: attachment\r\n"
                                "\r\n"
                                "ignored\r\n"
                                "--XyZ--\r\n";
        HttpRequest request(limits());
        feed(request, "POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=\"XyZ\"\r\n"
                      "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QCOMPARE(request.getStatus(), HttpRequest::complete);
        QCOMPARE(request.getParameter("title"), QByteArray("Test flight"));
        QCOMPARE(request.getParameter("flight"), QByteArray("climb.kml"));
        QTemporaryFile *file = request.getUploadedFile("flight");
        QVERIFY(file);
        QCOMPARE(file->readAll(), QByteArray("line one\r\nline two"));
        QCOMPARE(request.getParameterMap().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestHttpRequest)
#include "test_httprequest.moc"
