// Ten flights that each fill the flash memory, overlaid in one comparison:
// the window should open in under 2 s once the flights are loaded, and draw
// its three plots in under 16 ms a frame.
#include "bench/benchtiming.h"
#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flightcomparison.h"
#include "model/trace.h"
#include "ui/comparisonwindow.h"
#include "ui/qgraph.h"

#include <QApplication>
#include <cstdio>
#include <vector>

namespace {

// A high flight with a descent slow enough that its recording fills the flash.
okukipo::sim::FlightProfile fullFlashProfile()
{
    okukipo::sim::FlightProfile profile;
    profile.targetApogee = 3000.0;
    profile.descentRate = 6.0;
    // The descent takes most of the recording: slowing it lengthens the file about in step.
    for (int round = 0; round < 2; ++round) {
        const double size = okukipo::sim::recordFlight(profile).bytes.size();
        profile.descentRate *= size / double(OKUFlashMemorySize);
    }
    return profile;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    okukipo::setTraceHandler([](const QString &) {});

    okukipo::sim::FlightProfile profile = fullFlashProfile();
    std::vector<ComparedItem> items;
    std::size_t events = 0;
    for (quint32 seed = 1; seed <= 10; ++seed) {
        profile.seed = seed;
        const auto flight = okukipo::sim::simulatedFlight(profile);
        flight->processFlight();
        events += flight->events.size();
        items.push_back(comparedFlight(*flight, QStringLiteral("flight %1.kipo").arg(seed)));
    }
    std::printf("10 flights of %.0f%% of the flash each, %zu events in all (descent at %.2f m/s)\n",
                100.0 * okukipo::sim::recordFlight(profile).bytes.size() / OKUFlashMemorySize, events,
                profile.descentRate);

    double start = bench::processorMilliseconds();
    FlightComparisonWidget window(nullptr);
    window.resize(1400, 1000);
    window.addItems(std::move(items));
    window.show();
    QApplication::processEvents();
    std::printf("%-28s %8.1f ms   (processor time, goal < 2000 ms)\n", "open window", bench::processorMilliseconds() - start);

    // Each plot is a view of its own that paints its own frames.
    const std::pair<const char *, QGraph *> plots[] = {{"paint altitude plot", window.altitudeGraph()},
                                                       {"paint velocity plot", window.velocityGraph()},
                                                       {"paint acceleration plot", window.accelerationGraph()}};
    for (const auto &[name, graph] : plots) {
        std::vector<double> frames;
        for (int i = 0; i < 20; ++i) {
            start = bench::processorMilliseconds();
            graph->view()->repaint();
            frames.push_back(bench::processorMilliseconds() - start);
        }
        std::printf("%-28s %8.1f ms   (median of %zu frames, goal < 16 ms)\n", name, bench::median(frames), frames.size());
    }
    return 0;
}
