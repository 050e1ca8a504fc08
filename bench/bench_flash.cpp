// Parsing a full flight memory of recorded flights.  Goal: 100 MB/s or more,
// so that cutting a downloaded image into flights is never what the user
// waits for.  Figures are given per CPU second as well as per wall-clock
// second: on a busy machine the wall clock also counts other programs.
#include "bench/benchtiming.h"
#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QElapsedTimer>
#include <cstdio>
#include <vector>

namespace {


} // namespace

int main()
{
    constexpr int Rounds = 15;
    okukipo::setTraceHandler([](const QString &) {});

    QElapsedTimer timer;
    timer.start();
    const QByteArray image = okukipo::sim::filledFlashImage(int(OKUFlashMemorySize));
    const double recordMs = timer.nsecsElapsed() / 1e6;

    std::vector<double> wallMs;
    std::vector<double> cpuTimes;
    size_t flights = 0;
    size_t events = 0;
    for (int round = 0; round < Rounds; ++round) {
        const double cpuStart = bench::processorMilliseconds();
        timer.restart();
        const auto parsed = parseFlights(image);
        wallMs.push_back(timer.nsecsElapsed() / 1e6);
        cpuTimes.push_back(bench::processorMilliseconds() - cpuStart);
        flights = parsed.size();
        events = 0;
        for (const auto &flight : parsed)
            events += flight->events.size();
    }
    const double megabytes = image.size() / 1e6;
    const double wall = bench::median(wallMs);
    const double cpu = bench::median(cpuTimes);

    std::printf("flash image: %d bytes of recorded flights (made in %.0f ms): %zu flights, %zu events\n", image.size(),
                recordMs, flights, events);
    std::printf("parse, median of %d rounds: %.1f ms wall clock, %.1f ms CPU (%.0f ns per event)\n", Rounds, wall, cpu,
                cpu * 1e6 / double(events));
    std::printf("parse rate: %.0f MB/s per CPU second, %.0f MB/s wall clock (goal: at least 100 MB/s): %s\n",
                megabytes / cpu * 1e3, megabytes / wall * 1e3, megabytes / cpu * 1e3 >= 100.0 ? "met" : "NOT MET");
    return 0;
}
