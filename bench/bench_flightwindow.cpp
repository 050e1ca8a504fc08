// Opening a long recorded flight in a flight window and refilling its plots
// (the Data menu's toggles and every trim refill them).  Opening should stay
// under a second once the web engine runs, a refill under a quarter of one.
#include "bench/benchtiming.h"
#include "device/sim/flightmodel.h"
#include "model/trace.h"
#include "ui/okukipoflightwidget.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double milliseconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    // The web view's renderer refuses to run as root inside its sandbox.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    okukipo::setTraceHandler([](const QString &) {});

    okukipo::sim::FlightProfile profile;
    profile.targetApogee = 3000.0;
    profile.descentRate = 6.0;
    QElapsedTimer timer;
    timer.start();
    auto flight = okukipo::sim::simulatedFlight(profile);
    flight->processFlight();
    std::printf("flight: %zu events, %.0f s recorded (recorded and analysed in %.0f ms)\n", flight->events.size(),
                double(flight->events.back()->time - flight->events.front()->time), milliseconds(timer));

    timer.restart();
    OKUKIPOFlightWidget first(flight, nullptr);
    std::printf("%-28s %8.1f ms   (starts the web engine)\n", "open first window", milliseconds(timer));
    timer.restart();
    OKUKIPOFlightWidget window(flight, nullptr);
    std::printf("%-28s %8.1f ms   (goal < 1000 ms)\n", "open another window", milliseconds(timer));

    std::vector<double> refills;
    for (int i = 0; i < 10; ++i) {
        timer.restart();
        window.populateData();
        refills.push_back(milliseconds(timer));
    }
    std::printf("%-28s %8.1f ms   (median of %zu, goal < 250 ms)\n", "refill plots", bench::median(refills), refills.size());

    std::vector<double> toggles;
    for (int i = 0; i < 10; ++i) {
        timer.restart();
        window.kalmanFilteredAction()->toggle();
        toggles.push_back(milliseconds(timer));
    }
    std::printf("%-28s %8.1f ms   (median of %zu, goal < 250 ms)\n", "toggle Kalman filtered", bench::median(toggles),
                toggles.size());
    return 0;
}
