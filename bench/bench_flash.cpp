// Parsing a full flight memory of recorded flights.  Goal: 100 MB/s or more,
// so that cutting a downloaded image into flights is never what the user waits for.
#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main()
{
    constexpr int FlashCapacity = 4128768;
    constexpr int Rounds = 15;
    okukipo::setTraceHandler([](const QString &) {});

    QElapsedTimer timer;
    timer.start();
    const QByteArray image = okukipo::sim::filledFlashImage(FlashCapacity);
    const double recordMs = timer.nsecsElapsed() / 1e6;

    std::vector<double> parseMs;
    size_t flights = 0;
    size_t events = 0;
    for (int round = 0; round < Rounds; ++round) {
        timer.restart();
        const auto parsed = parseFlights(image);
        parseMs.push_back(timer.nsecsElapsed() / 1e6);
        flights = parsed.size();
        events = 0;
        for (const auto &flight : parsed)
            events += flight->events.size();
    }
    std::sort(parseMs.begin(), parseMs.end());
    const double median = parseMs[parseMs.size() / 2];
    const double megabytes = image.size() / 1e6;

    std::printf("flash image: %d bytes of recorded flights (made in %.0f ms): %zu flights, %zu events\n", image.size(),
                recordMs, flights, events);
    std::printf("parse: median %.1f ms, best %.1f ms over %d rounds\n", median, parseMs.front(), Rounds);
    std::printf("parse rate: median %.0f MB/s, best %.0f MB/s (goal: at least 100 MB/s) %s\n", megabytes / median * 1000.0,
                megabytes / parseMs.front() * 1000.0, megabytes / median * 1000.0 >= 100.0 ? "met" : "NOT MET");
    return 0;
}
