#pragma once

#include "../app/nodevices.h"
#include "../app/scriptedasker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "device/sim/flightmodel.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/trace.h"
#include "ui/okukipoflightwidget.h"
#include "ui/programwindows.h"

#include <QDir>
#include <QMdiArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <typeinfo>

namespace flightwindowtest {

// Settings kept apart from the user's, no trace lines: the tests check results.
inline bool enterTestFolder(const QTemporaryDir &dir)
{
    QStandardPaths::setTestModeEnabled(true);
    okukipo::setTraceHandler([](const QString &) {});
    return dir.isValid() && QDir::setCurrent(dir.path());
}

// The program's flight windows beside an inert device console.
class ProgramFlightWindows : public StudioWindowFactory
{
public:
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner) override
    {
        return programWindows().createFlightWindow(std::move(flight), owner);
    }
    QMdiSubWindow *createFlightSubWindow(FlightWindow *window) override
    {
        return programWindows().createFlightSubWindow(window);
    }
    DeviceWindow *createDeviceWindow(OKUStudio *) override { return new InertConsole; }

private:
    struct InertConsole : QWidget, DeviceWindow {
        void attemptConnection() override {}
        void closeRemovedDevice(const QString &) override {}
        void reportFirmwareState() override {}
    };
};

// A metric main window holding flight windows.
struct Studio {
    NoDevices transport;
    ProgramFlightWindows windows;
    OKUStudio main{windows, QString()};

    Studio()
    {
        main.settings()->clear();
        main.settings()->setValue(QLatin1String(NumberSystemKey), int(Metric));
    }
    ~Studio() { main.settings()->clear(); }

    // Opens the flight as a freshly downloaded one ("Untitled", unsaved).
    OKUKIPOFlightWidget *open(std::shared_ptr<OKUKIPOFlight> flight)
    {
        main.addFlight(std::move(flight), QStringLiteral("Untitled"));
        return qobject_cast<OKUKIPOFlightWidget *>(main.form().mdiArea->currentSubWindow()->widget());
    }

    QList<QMdiSubWindow *> flightSubWindows()
    {
        QList<QMdiSubWindow *> found;
        for (QMdiSubWindow *window : main.form().mdiArea->subWindowList())
            if (qobject_cast<OKUKIPOFlightWidget *>(window->widget()))
                found << window;
        return found;
    }
};

inline okukipo::sim::FlightProfile standardProfile(bool groundTest = false)
{
    okukipo::sim::FlightProfile profile;
    profile.targetApogee = 400.0;
    profile.padSeconds = groundTest ? 8.0 : 5.0;
    profile.descentRate = 10.0;
    profile.groundSeconds = 3.0;
    profile.groundTest = groundTest;
    return profile;
}

inline std::shared_ptr<OKUKIPOFlight> recordedFlight(okukipo::sim::FlightTruth *truth = nullptr,
                                                     okukipo::sim::FlightProfile profile = standardProfile())
{
    return okukipo::sim::simulatedFlight(profile, truth);
}

// Deletes every event of the given classes.
template<class... Events>
void dropEvents(OKUKIPOFlight &flight)
{
    auto &events = flight.events;
    const auto kept = std::stable_partition(events.begin(), events.end(), [](const OKUEvent *e) {
        return !((typeid(*e) == typeid(Events)) || ...);
    });
    std::for_each(kept, events.end(), [](OKUEvent *event) { delete event; });
    events.erase(kept, events.end());
}

template<class Event>
std::vector<const Event *> eventsOf(const OKUKIPOFlight &flight)
{
    std::vector<const Event *> found;
    for (const OKUEvent *event : flight.events)
        if (const auto *e = eventAs<Event>(event))
            found.push_back(e);
    return found;
}

} // namespace flightwindowtest
