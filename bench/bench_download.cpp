// Downloading a full flight memory from the virtual flight computer.  Goal:
// the host's cost per 64-byte report far below the 1 ms a USB full-speed
// interrupt endpoint takes per report, so that the link and not the program
// bounds a real download.  The virtual device answers in the same process,
// so its own cost is measured alone (raw report reads) and taken off.
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

constexpr quint32 FlashCapacity = 4128768;
constexpr int Rounds = 5;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The device's side and the transport alone: request the image and take
// the reports as they come, without looking into them.
double rawReportsMs(int &reports)
{
    const std::unique_ptr<HIDConnection> connection =
        HIDTransport::current()->open(HIDDevice::findDevices(OKUFirmwareProductId, OKUFirmwareSeries, 0).first().path);
    OKUPacket request{OKUPacketCode::ReadFlash, QByteArray(8, '\0')};
    qToLittleEndian(FlashCapacity, request.data.data() + 4);
    QElapsedTimer timer;
    timer.start();
    connection->writeReport(packetReport(request), OKUDefaultTimeoutMs);
    HIDReport report;
    quint32 received = 0;
    reports = 0;
    while (received < FlashCapacity && connection->readReport(report, OKUDefaultTimeoutMs)) {
        received += report[4];
        ++reports;
    }
    return timer.nsecsElapsed() / 1e6;
}

// The protocol's flash read with a progress callback, as the worker uses it.
double protocolMs()
{
    OKUKIPODevice device;
    device.connectFirmware(nullptr);
    QByteArray flash;
    int callbacks = 0;
    QElapsedTimer timer;
    timer.start();
    device.readFlash(flash, FlashCapacity, [&callbacks](quint32, quint32) {
        ++callbacks;
        return false;
    });
    const double elapsed = timer.nsecsElapsed() / 1e6;
    if (quint32(flash.size()) != FlashCapacity)
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
double workerMs(int &flights, bool progressReceived)
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
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(worker, "downloadFlights", Qt::QueuedConnection);
    loop.exec();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    okukipo::setTraceHandler([](const QString &) {});
    VirtualFlightComputer computer;
    computer.device().setFlashImage(okukipo::sim::filledFlashImage(int(FlashCapacity)));
    HIDTransport::setCurrent(&computer);

    std::vector<double> raw, protocol, worker, workerUnobserved;
    int reports = 0;
    int flights = 0;
    for (int round = 0; round < Rounds; ++round) {
        raw.push_back(rawReportsMs(reports));
        protocol.push_back(protocolMs());
        worker.push_back(workerMs(flights, true));
        workerUnobserved.push_back(workerMs(flights, false));
    }
    HIDTransport::setCurrent(nullptr);

    const double perReport = 1000.0 / reports; // ms to µs per report
    const double hostProtocolUs = (median(protocol) - median(raw)) * perReport;
    const double hostWorkerUs = (median(worker) - median(raw)) * perReport;
    const double hostUnobservedUs = (median(workerUnobserved) - median(raw)) * perReport;
    std::printf("full flash image: %u bytes in %d reports, %d flights\n", FlashCapacity, reports, flights);
    std::printf("virtual device and transport alone: median %.1f ms (%.2f us per report)\n", median(raw),
                median(raw) * perReport);
    std::printf("protocol flash read: median %.1f ms; host cost %.2f us per report\n", median(protocol), hostProtocolUs);
    std::printf("worker download with progress, parsing and flight signals: median %.1f ms; host cost %.2f us per report\n",
                median(worker), hostWorkerUs);
    std::printf("the same without a receiver of the progress signals: median %.1f ms; host cost %.2f us per report\n",
                median(workerUnobserved), hostUnobservedUs);
    std::printf("host cost per report against the 1000 us of a full-speed interrupt report: %.1f%% (goal: far below) %s\n",
                hostWorkerUs / 10.0, hostWorkerUs < 100.0 ? "met" : "NOT MET");
    std::printf("a real download of a full memory is bounded by the link: about %.0f s\n", reports / 1000.0);
    return 0;
}

#include "bench_download.moc"
