// Parsing a full flight memory of recorded flights.  Goals: 100 MB/s or
// more, so that cutting a downloaded image into flights is never what the
// user waits for, and under 500 ms for what okukipo-cli parse-flash does
// with a full image (parse and save every flight).  Figures are given per
// CPU second as well as per wall-clock second: on a busy machine the wall
// clock also counts other programs.
#include "bench/benchtiming.h"
#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Medians {
    double cpuMs;
    double wallMs;
};

// The median processor and wall-clock times of a few rounds of work;
// cleanUp runs after each round, untimed.
Medians medianTimes(int rounds, const std::function<void()> &work, const std::function<void()> &cleanUp)
{
    std::vector<double> cpuTimes;
    std::vector<double> wallTimes;
    for (int round = 0; round < rounds; ++round) {
        const double cpuStart = bench::processorMilliseconds();
        const double wallStart = bench::wallMilliseconds();
        work();
        wallTimes.push_back(bench::wallMilliseconds() - wallStart);
        cpuTimes.push_back(bench::processorMilliseconds() - cpuStart);
        cleanUp();
    }
    return {bench::median(cpuTimes), bench::median(wallTimes)};
}

} // namespace

int main()
{
    constexpr int Rounds = 15;
    okukipo::setTraceHandler([](const QString &) {});

    QElapsedTimer timer;
    timer.start();
    const QByteArray image = okukipo::sim::filledFlashImage(int(OKUFlashMemorySize));
    const double recordMs = timer.nsecsElapsed() / 1e6;

    std::vector<std::shared_ptr<OKUKIPOFlight>> parsed;
    size_t flights = 0;
    size_t events = 0;
    const auto countAndDelete = [&] {
        flights = parsed.size();
        events = 0;
        for (const auto &flight : parsed)
            events += flight->events.size();
        parsed.clear();
    };
    const Medians parse = medianTimes(Rounds, [&] { parsed = parseFlights(image); }, countAndDelete);
    const double megabytes = image.size() / 1e6;
    const double wall = parse.wallMs;
    const double cpu = parse.cpuMs;

    std::printf("flash image: %d bytes of recorded flights (made in %.0f ms): %zu flights, %zu events\n", image.size(),
                recordMs, flights, events);
    std::printf("parse, median of %d rounds: %.1f ms wall clock, %.1f ms CPU (%.0f ns per event)\n", Rounds, wall, cpu,
                cpu * 1e6 / double(events));
    std::printf("parse rate: %.0f MB/s per CPU second, %.0f MB/s wall clock (goal: at least 100 MB/s): %s\n",
                megabytes / cpu * 1e3, megabytes / wall * 1e3, megabytes / cpu * 1e3 >= 100.0 ? "met" : "NOT MET");

    // What parse-flash does: parse, then save every flight.
    QTemporaryDir dir;
    const Medians parseAndSave = medianTimes(
        5,
        [&] {
            parsed = parseFlights(image);
            for (size_t index = 0; index < parsed.size(); ++index)
                parsed[index]->save(dir.filePath(QStringLiteral("flight-%1.kipo").arg(index + 1)));
        },
        countAndDelete);
    std::printf("parse and save every flight, median of 5 rounds: %.1f ms CPU, %.1f ms wall clock "
                "(goal < 500 ms): %s\n",
                parseAndSave.cpuMs, parseAndSave.wallMs, parseAndSave.cpuMs < 500.0 ? "met" : "NOT MET");

    const QString imagePath = dir.filePath(QStringLiteral("image.bin"));
    QFile imageFile(imagePath);
    if (!imageFile.open(QIODevice::WriteOnly) || imageFile.write(image) != image.size() || !imageFile.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(imagePath));
        return 1;
    }
    const bench::ProgramRun run = bench::bestRunOf(
        3, {OKUKIPO_CLI, "parse-flash", imagePath.toStdString(), "--out", dir.filePath(QStringLiteral("cli")).toStdString()});
    if (!run.succeeded) {
        std::printf("okukipo-cli parse-flash FAILED\n");
        return 1;
    }
    std::printf("okukipo-cli parse-flash, whole process, best of 3: %.1f ms CPU, %.0f ms wall clock "
                "(goal < 500 ms): %s\n",
                run.processorMs, run.wallMs, run.processorMs < 500.0 ? "met" : "NOT MET");
    return 0;
}
