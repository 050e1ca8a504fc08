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
#include <QSignalSpy>
#include <algorithm>
#include <typeinfo>

namespace flightwindowtest {

// Works in the folder with the settings kept apart from the user's and
// without trace lines: the analysis and the window trace every step, the
// tests check results.
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
    class InertConsole : public QWidget, public DeviceWindow
    {
    public:
        void attemptConnection() override {}
        void closeRemovedDevice(const QString &) override {}
        void reportFirmwareState() override {}
    };
};

// A scripted asker that also records the starting values of number dialogs.
class NumberRecordingAsker : public ScriptedAsker
{
public:
    QList<double> numberStarts;

    std::optional<double> number(QWidget *parent, const QString &title, const QString &label, double value,
                                 double minimum, double maximum, int decimals) override
    {
        numberStarts << value;
        return ScriptedAsker::number(parent, title, label, value, minimum, maximum, decimals);
    }
};

// A main window with its settings reset to metric, holding flight windows.
struct Studio {
    NoDevices transport;
    ProgramFlightWindows windows;
    OKUStudio main{windows, QString()};

    explicit Studio(bool metric = true)
    {
        main.settings()->clear();
        main.settings()->setValue(QLatin1String(NumberSystemKey), metric ? int(Metric) : int(Imperial));
    }
    ~Studio() { main.settings()->clear(); }

    // Opens the flight as a freshly downloaded one ("Untitled", unsaved).
    OKUKIPOFlightWidget *open(std::shared_ptr<OKUKIPOFlight> flight)
    {
        main.addFlight(std::move(flight), QStringLiteral("Untitled"));
        return current();
    }

    OKUKIPOFlightWidget *current()
    {
        QMdiSubWindow *window = main.form().mdiArea->currentSubWindow();
        return window ? qobject_cast<OKUKIPOFlightWidget *>(window->widget()) : nullptr;
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

inline okukipo::sim::FlightProfile standardProfile()
{
    okukipo::sim::FlightProfile profile;
    profile.targetApogee = 400.0;
    profile.padSeconds = 5.0;
    profile.descentRate = 10.0;
    profile.groundSeconds = 3.0;
    return profile;
}

inline std::shared_ptr<OKUKIPOFlight> recordedFlight(okukipo::sim::FlightTruth *truth = nullptr,
                                                     okukipo::sim::FlightProfile profile = standardProfile())
{
    return okukipo::sim::simulatedFlight(profile, truth);
}

inline std::shared_ptr<OKUKIPOFlight> groundTest()
{
    okukipo::sim::FlightProfile profile = standardProfile();
    profile.groundTest = true;
    profile.padSeconds = 8.0;
    return okukipo::sim::simulatedFlight(profile);
}

// Deletes every event of the given classes.
template<class... Events>
void dropEvents(OKUKIPOFlight &flight)
{
    auto &events = flight.events;
    const auto dropped = [](const OKUEvent *event) { return ((typeid(*event) == typeid(Events)) || ...); };
    const auto kept = std::stable_partition(events.begin(), events.end(), [&](const OKUEvent *e) { return !dropped(e); });
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
