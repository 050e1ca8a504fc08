// Eight keep-alive clients fetch a small cached file from the local web
// server on loopback for a few seconds; prints requests per second and the
// 99th-percentile latency.  The server's debug log is discarded so that the
// figures show the server, not the terminal.

#include "webserver/webserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const int clientCount = 8;
const int durationMs = 4000;
const QByteArray request = "GET /small.html HTTP/1.1\r\nHost: localhost\r\n\r\n";

void dropMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type >= QtWarningMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// One response; false when the connection failed.
bool readResponse(QTcpSocket &socket, QByteArray &buffer)
{
    for (;;) {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const int lengthStart = buffer.indexOf("Content-Length: ");
            if (lengthStart >= 0 && lengthStart < headEnd) {
                const int length = buffer.mid(lengthStart + 16, buffer.indexOf("\r\n", lengthStart) - lengthStart - 16).toInt();
                if (buffer.size() >= headEnd + 4 + length) {
                    buffer.remove(0, headEnd + 4 + length);
                    return true;
                }
            }
        }
        if (!socket.waitForReadyRead(5000))
            return false;
        buffer += socket.readAll();
    }
}

// Runs one client until the deadline; returns its latencies in microseconds.
std::vector<double> runClient(quint16 port, std::chrono::steady_clock::time_point deadline, bool *failed)
{
    std::vector<double> latencies;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) {
        *failed = true;
        return latencies;
    }
    QByteArray buffer;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto start = std::chrono::steady_clock::now();
        socket.write(request);
        if (!readResponse(socket, buffer)) {
            *failed = true;
            break;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    return latencies;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(dropMessages);

    QTemporaryDir dir;
    QFile page(dir.filePath(QStringLiteral("small.html")));
    page.open(QIODevice::WriteOnly);
    page.write(QByteArray(2048, 'k'));
    page.close();
    QFile config(dir.filePath(QStringLiteral("http_server.ini")));
    config.open(QIODevice::WriteOnly);
    config.write("[listener]\nhost=127.0.0.1\nport=0\n[docroot]\npath=.\n");
    config.close();
    WebServer server(&application, config.fileName());

    std::vector<std::vector<double>> results(clientCount);
    std::vector<std::thread> clients;
    std::atomic<int> running{clientCount};
    bool failed[clientCount] = {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < clientCount; ++i) {
        clients.emplace_back([&, i] {
            results[i] = runClient(server.port(), deadline, &failed[i]);
            if (--running == 0)
                QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
        });
    }
    application.exec(); // the listener accepts in this thread
    for (std::thread &client : clients)
        client.join();
    const double seconds = elapsed.elapsed() / 1000.0;

    std::vector<double> all;
    for (const auto &latencies : results)
        all.insert(all.end(), latencies.begin(), latencies.end());
    if (all.empty() || std::any_of(std::begin(failed), std::end(failed), [](bool f) { return f; })) {
        std::printf("web server: a client failed\n");
        return 1;
    }
    std::sort(all.begin(), all.end());
    const double p99 = all[size_t(double(all.size() - 1) * 0.99)];
    std::printf("web server, %d keep-alive clients, 2 KB cached file, %.1f s\n", clientCount, seconds);
    std::printf("  requests per second: %.0f (goal >= 5000)\n", double(all.size()) / seconds);
    std::printf("  p99 latency: %.2f ms (goal < 10 ms)\n", p99 / 1000.0);
    std::printf("  median latency: %.3f ms\n", all[all.size() / 2] / 1000.0);
    return 0;
}
