// Flight processing on a flight that fills the device's whole flash: about
// 30 minutes at the default write rates.  Goals: loading its flight file
// with the analysis under 250 ms, saving it under 250 ms, the analysis with
// every moment and statistic under 100 ms, the CSV export under 1 s, peak
// memory under 150 MB; okukipo-cli dump of it under 100 MB.  Times are
// processor time (user and system); the wall clock of the command-line
// runs is shown beside it, and on a shared machine mostly measures the
// neighbours.

#include "bench/benchtiming.h"
#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/flight.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
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

// The least of a few measurements.
double leastOf(int runs, const std::function<double()> &measurement)
{
    double least = 1e300;
    for (int i = 0; i < runs; ++i)
        least = std::min(least, measurement());
    return least;
}

// The processor time of the best of a few runs.
double bestOf(int runs, const std::function<void()> &work)
{
    return leastOf(runs, [&] { return milliseconds(work); });
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

// okukipo-cli with arguments, the best of three runs; a goal of 0 is none.
void reportCommandLine(const char *what, const QStringList &arguments, double goalMs, long goalMegabytes)
{
    std::vector<std::string> command{OKUKIPO_CLI};
    for (const QString &argument : arguments)
        command.push_back(argument.toStdString());
    const bench::ProgramRun run = bench::bestRunOf(3, command);
    if (!run.succeeded) {
        std::printf("%-40s FAILED\n", what);
        return;
    }
    std::printf("%-40s %10.1f ms  (wall clock %.0f ms, peak %ld MB)", what, run.processorMs, run.wallMs,
                run.peakMegabytes);
    if (goalMs > 0.0)
        std::printf(" (goal < %.0f ms) %s", goalMs, run.processorMs < goalMs ? "ok" : "MISSED");
    if (goalMegabytes > 0)
        std::printf(" (goal < %ld MB) %s", goalMegabytes, run.peakMegabytes < goalMegabytes ? "ok" : "MISSED");
    std::printf("\n");
}

// Loads the flight file at path; its processor time, without the time of
// deleting the flight again.
double loadTime(const QString &path)
{
    OKUKIPOFlight flight;
    return milliseconds([&] { flight.load(path); });
}

} // namespace

// Measures the flight file at path in a process of its own, so that the
// peak memory is that of the processing alone.
int measure(const QString &path)
{
    QTemporaryDir dir;
    // Whole processes first, while this one is small (see ProgramRun).
    reportCommandLine("okukipo-cli analyze", {QStringLiteral("analyze"), path}, 250, 0);
    reportCommandLine("okukipo-cli resave", {QStringLiteral("resave"), path, dir.filePath("cli.kipo")}, 0, 0);
    reportCommandLine("okukipo-cli dump", {QStringLiteral("dump"), path}, 0, 100);

    // The first load also pays for the memory the process has not touched
    // yet: one page fault per 4 KB, which a virtual machine may make costly.
    const long faultsBefore = minorPageFaults();
    const double firstLoad = loadTime(path);
    const long firstLoadFaults = minorPageFaults() - faultsBefore;
    report("first load .kipo (with its analysis)", firstLoad, 250, "ms");
    std::printf("%-40s %10ld\n", "  page faults of the first load", firstLoadFaults);
    report("load .kipo (with its analysis)", leastOf(3, [&] { return loadTime(path); }), 250, "ms");

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
    // A long, slow descent keeps the recorder writing at flight rates
    // until the flash is full; the device writes no more after that.
    profile.descentRate = 1.5;
    QByteArray flash = okukipo::sim::recordFlight(profile).bytes;
    flash.truncate(int(OKUFlashMemorySize));
    QTemporaryDir dir;
    const QString path = dir.filePath("full.kipo");
    {
        const auto recorded = parseFlights(flash).front();
        if (!recorded->save(path)) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
            return 1;
        }
        std::printf("flight filling the flash: %zu events over %.0f s, flight file of %.1f MB\n",
                    recorded->events.size(), double(recorded->events.back()->time), QFileInfo(path).size() / 1e6);
    }
    std::fflush(stdout);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--measure"), path});
    child.waitForFinished(-1);
    return child.exitCode();
}
