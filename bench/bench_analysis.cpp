// Flight processing on a flight that fills the device's whole flash: about
// 24 minutes at the default write rates.  Goals: loading its flight file
// under 300 ms, saving it under 250 ms, the analysis with every moment and statistic under 100 ms,
// the CSV export under 1 s, peak memory under 150 MB.

#include "bench/benchtiming.h"
#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

// Processor time of one run of work.
double milliseconds(const std::function<void()> &work)
{
    const double start = bench::processorMilliseconds();
    work();
    return bench::processorMilliseconds() - start;
}

// The best of a few runs.
double bestOf(int runs, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, milliseconds(work));
    return best;
}

rusage usage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

// The high-water mark of this program's own memory: getrusage's maximum
// would also count the memory of the parent it was forked from.
long peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
    }
    return -1;
}

long minorPageFaults()
{
    return usage().ru_minflt;
}

void report(const char *what, double value, double goal, const char *unit)
{
    std::printf("%-40s %10.1f %-3s (goal < %.0f %s) %s\n", what, value, unit, goal, unit,
                value < goal ? "ok" : "MISSED");
}

} // namespace

// Loads, analyses and exports the flight file at path, in a process of its
// own so that the peak memory is that of the processing alone.
int measure(const QString &path)
{
    QTemporaryDir dir;
    const auto loadFile = [&] {
        OKUKIPOFlight flight;
        flight.load(path);
    };
    // The first load also pays for the memory the process has not touched
    // yet: one page fault per 4 KB, which a virtual machine may make costly.
    const long faultsBefore = minorPageFaults();
    const double firstLoad = milliseconds(loadFile);
    const long firstLoadFaults = minorPageFaults() - faultsBefore;
    report("first load .kipo (with its analysis)", firstLoad, 300, "ms");
    std::printf("%-40s %10ld\n", "  page faults of the first load", firstLoadFaults);
    report("load .kipo (with its analysis)", bestOf(3, loadFile), 300, "ms");

    OKUKIPOFlight flight;
    flight.load(path);
    const double analysis = bestOf(3, [&] {
        flight.processFlight();
        flight.endTime();
        flight.peakVelocityTime();
        flight.apogeeTime();
        flight.launchTime();
        flight.landingTime();
        flight.isFlight();
        flight.groundLevel();
        flight.maxVerticalAcceleration();
        flight.maxRollX();
        flight.maxRollY();
        flight.maxRollZ();
        flight.maxLateralAcceleration();
        flight.flightDateEvent();
        flight.firstValidGPS();
    });
    report("processFlight + moments + statistics", analysis, 100, "ms");

    report("save .kipo", bestOf(3, [&] { flight.save(dir.filePath("resaved.kipo")); }), 250, "ms");

    const double csv = bestOf(3, [&] { flight.exportCSV(dir.filePath("full.csv")); });
    report("CSV export", csv, 1000, "ms");

    report("peak memory", double(peakMegabytes()), 150, "MB");
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    okukipo::setTraceHandler([](const QString &) {});
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--measure"))
        return measure(arguments.at(2));

    okukipo::sim::FlightProfile profile;
    profile.padSeconds = 60.0;
    profile.targetApogee = 3000.0;
    profile.burnSeconds = 3.0;
    // A long, slow descent keeps the recorder writing at flight rates.
    profile.descentRate = 2.2;
    okukipo::sim::FlightTruth truth;
    QTemporaryDir dir;
    const QString path = dir.filePath("full.kipo");
    {
        const auto recorded = okukipo::sim::simulatedFlight(profile, &truth);
        std::printf("flight: %zu events over %.0f s\n", recorded->events.size(), truth.endTime);
        if (!recorded->save(path)) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
            return 1;
        }
    }
    std::fflush(stdout);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--measure"), path});
    child.waitForFinished(-1);
    return child.exitCode();
}
