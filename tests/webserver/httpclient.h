#pragma once

// A raw HTTP client for the tests: it sends exactly the bytes given and
// parses what comes back, spinning the event loop (the server's listener
// lives in the test's thread) instead of blocking.

#include <QMap>
#include <QTcpSocket>
#include <QtTest>

struct HttpReply {
    int status = 0;
    QByteArray statusLine;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray raw;
    bool chunked = false;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
};

class HttpClient
{
public:
    explicit HttpClient(quint16 port) { socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port); }

    void send(const QByteArray &bytes)
    {
        if (waitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }))
            socket.write(bytes), socket.flush();
    }

    // The next complete response; a response without length ends when the server closes.
    bool readReply(HttpReply &reply)
    {
        return waitFor([&] { return parse(reply, socket.state() == QAbstractSocket::UnconnectedState); });
    }

    HttpReply get(const QByteArray &path)
    {
        send("GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        HttpReply reply;
        readReply(reply);
        return reply;
    }

    bool waitDisconnected(int timeoutMs = 5000)
    {
        return waitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    }

    // Everything the server sends until it closes the connection (or the time-out).
    QByteArray readUntilClosed()
    {
        waitDisconnected();
        return std::exchange(buffer, QByteArray());
    }

    QTcpSocket socket;

private:
    // Collects what arrives while it waits.
    template <typename Condition> bool waitFor(Condition done, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return (buffer += socket.isOpen() ? socket.readAll() : QByteArray(), done()); },
                               timeoutMs);
    }

    bool parse(HttpReply &reply, bool closed)
    {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        HttpReply parsed;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        parsed.statusLine = lines.first().trimmed();
        parsed.status = parsed.statusLine.split(' ').value(1).toInt();
        for (const QByteArray &line : lines.mid(1))
            parsed.headers.insert(line.left(line.indexOf(':')).trimmed().toLower(), line.mid(line.indexOf(':') + 1).trimmed());
        int position = headEnd + 4;
        parsed.chunked = parsed.headers.value("transfer-encoding") == "chunked";
        if (parsed.headers.contains("content-length") || !parsed.chunked) {
            const int length = parsed.headers.contains("content-length") ? parsed.header("content-length").toInt()
                                                                          : buffer.size() - position;
            if (buffer.size() < position + length || (!parsed.headers.contains("content-length") && !closed))
                return false;
            parsed.body = buffer.mid(position, length);
            position += length;
        } else {
            for (int size = -1; size != 0; position += size + 2) {
                const int sizeEnd = buffer.indexOf("\r\n", position);
                bool valid = false;
                size = sizeEnd < 0 ? 0 : buffer.mid(position, sizeEnd - position).toInt(&valid, 16);
                if (!valid || buffer.size() < sizeEnd + 2 + size + 2)
                    return false;
                parsed.body += buffer.mid(sizeEnd + 2, size);
                position = sizeEnd + 2;
            }
        }
        parsed.raw = buffer.left(position);
        buffer.remove(0, position);
        reply = parsed;
        return true;
    }

    QByteArray buffer;
};
