#include "ui/programwindows.h"

#include "ui/okukipoflightwidget.h"
#include "ui/okukipowidget.h"

#include <QMdiSubWindow>
#include <QWidget>

namespace {

class ProgramWindows : public StudioWindowFactory
{
public:
    FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner) override
    {
        return new OKUKIPOFlightWidget(std::move(flight), owner);
    }

    QMdiSubWindow *createFlightSubWindow(FlightWindow *) override { return new OKUKIPOFlightSubWindow; }

    DeviceWindow *createDeviceWindow(OKUStudio *owner) override { return new OKUKIPOWidget(owner); }
};

} // namespace

StudioWindowFactory &programWindows()
{
    static ProgramWindows windows;
    return windows;
}
