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
    explicit HttpClient(quint16 port, const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        socket.connectToHost(address, port);
    }

    bool waitConnected(int timeoutMs = 5000)
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, timeoutMs);
    }

    void send(const QByteArray &bytes)
    {
        if (!waitConnected())
            return;
        socket.write(bytes);
        socket.flush();
    }

    // The next complete response; a response without length ends when the server closes.
    bool readReply(HttpReply &reply, int timeoutMs = 5000)
    {
        const bool done = QTest::qWaitFor(
            [&] {
                buffer += readAvailable();
                return parse(reply, socket.state() == QAbstractSocket::UnconnectedState);
            },
            timeoutMs);
        return done;
    }

    HttpReply get(const QByteArray &path, const QByteArray &extraHeaders = QByteArray())
    {
        send("GET " + path + " HTTP/1.1\r\nHost: localhost\r\n" + extraHeaders + "\r\n");
        HttpReply reply;
        readReply(reply);
        return reply;
    }

    bool waitDisconnected(int timeoutMs = 5000)
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    }

    // Everything the server sends until it closes the connection.
    QByteArray readUntilClosed(int timeoutMs = 5000)
    {
        // On a time-out the caller sees whatever arrived.
        static_cast<void>(QTest::qWaitFor(
            [this] {
                buffer += readAvailable();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            timeoutMs));
        buffer += readAvailable();
        const QByteArray all = buffer;
        buffer.clear();
        return all;
    }

    QTcpSocket socket;

private:
    QByteArray readAvailable() { return socket.isOpen() ? socket.readAll() : QByteArray(); }

    bool parse(HttpReply &reply, bool closed)
    {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        HttpReply parsed;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        parsed.statusLine = lines.first().trimmed();
        parsed.status = parsed.statusLine.split(' ').value(1).toInt();
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines.at(i).indexOf(':');
            parsed.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
        int position = headEnd + 4;
        if (parsed.headers.contains("content-length")) {
            const int length = parsed.headers.value("content-length").toInt();
            if (buffer.size() < position + length)
                return false;
            parsed.body = buffer.mid(position, length);
            position += length;
        } else if (parsed.headers.value("transfer-encoding") == "chunked") {
            parsed.chunked = true;
            for (;;) {
                const int sizeEnd = buffer.indexOf("\r\n", position);
                if (sizeEnd < 0)
                    return false;
                bool valid = false;
                const int size = buffer.mid(position, sizeEnd - position).toInt(&valid, 16);
                if (!valid || buffer.size() < sizeEnd + 2 + size + 2)
                    return false;
                parsed.body += buffer.mid(sizeEnd + 2, size);
                position = sizeEnd + 2 + size + 2;
                if (size == 0)
                    break;
            }
        } else {
            if (!closed)
                return false;
            parsed.body = buffer.mid(position);
            position = buffer.size();
        }
        parsed.raw = buffer.left(position);
        buffer.remove(0, position);
        reply = parsed;
        return true;
    }

    QByteArray buffer;
};
