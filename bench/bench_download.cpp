// Downloading a full flight memory from the virtual flight computer.  Goal:
// the host's cost per 64-byte report far below the 1 ms a USB full-speed
// interrupt endpoint takes per report, so that the link and not the program
// bounds a real download.  The virtual device answers in the same process,
// so its own cost is measured alone (raw report reads) and taken off.  Each
// figure is given in wall-clock and in process CPU time, since the wall
// clock also counts other programs on a busy machine.
#include "bench/benchtiming.h"
#include "device/okukipodevice.h"
#include "device/workerthread.h"
#include "device/sim/flightmodel.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Rounds = 5;

// Wall-clock and CPU milliseconds of one measured stretch.
struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

class Stopwatch
{
public:
    Stopwatch()
        : cpuStart(bench::processorMilliseconds())
    {
        wall.start();
    }

    Cost elapsed() const
    {
        return {wall.nsecsElapsed() / 1e6, bench::processorMilliseconds() - cpuStart};
    }

private:
    QElapsedTimer wall;
    double cpuStart;
};

struct Costs {
    std::vector<double> wallMs;
    std::vector<double> cpuMs;

    void add(const Cost &cost)
    {
        wallMs.push_back(cost.wallMs);
        cpuMs.push_back(cost.cpuMs);
    }
    Cost median() const { return {bench::median(wallMs), bench::median(cpuMs)}; }
};

// The device's side and the transport alone: request the image and take
// the reports as they come, without looking into them.
Cost rawReports(int &reports)
{
    const std::unique_ptr<HIDConnection> connection =
        HIDTransport::current()->open(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, 0).first().path);
    OKUPacket request{OKUPacketCode::ReadFlash, QByteArray(8, '\0')};
    qToLittleEndian(OKUFlashMemorySize, request.data.data() + 4);
    const Stopwatch stopwatch;
    connection->writeReport(packetReport(request), OKUDefaultTimeoutMs);
    HIDReport report;
    quint32 received = 0;
    reports = 0;
    while (received < OKUFlashMemorySize && connection->readReport(report, OKUDefaultTimeoutMs)) {
        received += report[4];
        ++reports;
    }
    return stopwatch.elapsed();
}

// The protocol's flash read with a progress callback, as the worker uses it.
Cost protocolRead()
{
    OKUKIPODevice device;
    device.connectFirmware(nullptr);
    QByteArray flash;
    int callbacks = 0;
    const Stopwatch stopwatch;
    device.readFlash(flash, OKUFlashMemorySize, [&callbacks](quint32, quint32) {
        ++callbacks;
        return false;
    });
    const Cost elapsed = stopwatch.elapsed();
    if (quint32(flash.size()) != OKUFlashMemorySize)
        std::printf("protocol read returned %d bytes!\n", flash.size());
    return elapsed;
}

class EndOfOperation : public QObject
{
    Q_OBJECT

public slots:
    void appendConsoleNL(QString) {}
    void enableControls(bool enabled)
    {
        if (enabled)
            emit ended();
    }

signals:
    void ended();
};

// The whole worker operation: memory size, flash read with a progress
// signal per chunk, parsing and one signal per flight.  The device window
// receives every progress signal queued on its own thread.
Cost workerDownload(int &flights, bool progressReceived)
{
    EndOfOperation console;
    OKUKIPOWorkerThread workerThread(&console);
    OKUKIPOInterface *worker = workerThread.worker();
    if (progressReceived)
        QObject::connect(worker, &OKUKIPOInterface::flightDownloadProgress, &console, [](int, int) {});
    flights = 0;
    QObject::connect(worker, &OKUKIPOInterface::flightDownloaded, &console,
                     [&flights](const std::shared_ptr<OKUKIPOFlight> &) { ++flights; });
    QMetaObject::invokeMethod(worker, "attemptConnection", Qt::BlockingQueuedConnection);

    QEventLoop loop;
    QObject::connect(&console, &EndOfOperation::ended, &loop, &QEventLoop::quit);
    const Stopwatch stopwatch;
    QMetaObject::invokeMethod(worker, "downloadFlights", Qt::QueuedConnection);
    loop.exec();
    return stopwatch.elapsed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    okukipo::setTraceHandler([](const QString &) {});
    VirtualFlightComputer computer;
    computer.device().setFlashImage(okukipo::sim::filledFlashImage(int(OKUFlashMemorySize)));
    HIDTransport::setCurrent(&computer);

    Costs raw, protocol, worker, workerUnobserved;
    int reports = 0;
    int flights = 0;
    for (int round = 0; round < Rounds; ++round) {
        raw.add(rawReports(reports));
        protocol.add(protocolRead());
        worker.add(workerDownload(flights, true));
        workerUnobserved.add(workerDownload(flights, false));
    }
    HIDTransport::setCurrent(nullptr);

    const Cost device = raw.median();
    // Milliseconds over the whole image to microseconds per report, less the device's own share.
    auto hostUs = [&](const Cost &cost) {
        return Cost{(cost.wallMs - device.wallMs) * 1000.0 / reports, (cost.cpuMs - device.cpuMs) * 1000.0 / reports};
    };
    auto show = [&](const char *what, const Costs &costs) {
        const Cost total = costs.median();
        const Cost host = hostUs(total);
        std::printf("%s: median %.1f ms wall, %.1f ms CPU; host cost per report %.2f us wall, %.2f us CPU\n", what,
                    total.wallMs, total.cpuMs, host.wallMs, host.cpuMs);
        return host;
    };

    std::printf("full flash image: %u bytes in %d reports, %d flights, %d rounds\n", OKUFlashMemorySize, reports, flights,
                Rounds);
    std::printf("virtual device and transport alone: median %.1f ms wall, %.1f ms CPU (%.2f us per report)\n",
                device.wallMs, device.cpuMs, device.wallMs * 1000.0 / reports);
    show("protocol flash read", protocol);
    const Cost host = show("worker download with progress signals received, parsing, flight signals", worker);
    show("worker download, progress signals not received", workerUnobserved);
    const double worst = std::max(host.wallMs, host.cpuMs);
    std::printf("host cost per report against the 1000 us of a full-speed interrupt report: %.1f%% (goal: far below) %s\n",
                worst / 10.0, worst < 100.0 ? "met" : "NOT MET");
    std::printf("a real download of a full memory is bounded by the link: about %.0f s\n", reports / 1000.0);
    return 0;
}

#include "bench_download.moc"
