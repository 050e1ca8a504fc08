#include "app/studiowindows.h"

#include "ui/okukipoflightwidget.h"

#include <QMdiSubWindow>
#include <QWidget>

// The windows the main window hosts.  Until the device console exists, an
// empty stand-in keeps its place.

namespace {

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
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner) override
    {
        return new OKUKIPOFlightWidget(std::move(flight), owner);
    }

    QMdiSubWindow *createFlightSubWindow(FlightWindow *) override { return new OKUKIPOFlightSubWindow; }

    DeviceWindow *createDeviceWindow(OKUStudio *) override { return new PendingDeviceWindow; }
};

} // namespace

StudioWindowFactory &programWindows()
{
    static ProgramWindows windows;
    return windows;
}
