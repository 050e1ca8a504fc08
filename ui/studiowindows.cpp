#include "app/studiowindows.h"

#include <QMdiSubWindow>
#include <QWidget>

// The windows the main window hosts.  Until the flight window and the
// device console exist, empty stand-ins keep their places.

namespace {

class PendingFlightWindow : public QWidget, public FlightWindow
{
public:
    explicit PendingFlightWindow(std::shared_ptr<OKUKIPOFlight> flight)
        : m_flight(std::move(flight))
    {
    }

    void save() override {}
    void saveAs() override {}

private:
    std::shared_ptr<OKUKIPOFlight> m_flight;
};

class PendingDeviceWindow : public QWidget, public DeviceWindow
{
public:
    PendingDeviceWindow() { setWindowTitle(QStringLiteral("OKU KIPO")); }

    void attemptConnection() override {}
    void closeRemovedDevice(const QString &) override {}
    void reportFirmwareState() override {}
};

class ProgramWindows : public StudioWindowFactory
{
public:
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *) override
    {
        return new PendingFlightWindow(std::move(flight));
    }

    QMdiSubWindow *createFlightSubWindow(FlightWindow *) override { return new QMdiSubWindow; }

    DeviceWindow *createDeviceWindow(OKUStudio *) override { return new PendingDeviceWindow; }
};

} // namespace

StudioWindowFactory &programWindows()
{
    static ProgramWindows windows;
    return windows;
}
