#include "ui/programwindows.h"

#include "ui/comparisonwindow.h"
#include "ui/okukipoflightwidget.h"
#include "ui/okukipowidget.h"

#include <QFileInfo>
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

    ComparisonWindow *createComparisonWindow(OKUStudio *owner, FlightWindow *flightWindow) override
    {
        auto *comparison = new FlightComparisonWidget(owner);
        if (auto *flightWidget = dynamic_cast<OKUKIPOFlightWidget *>(flightWindow)) {
            const QString path = flightWidget->windowFilePath();
            comparison->addFlight(flightWidget->flight(), path.isEmpty() ? flightWidget->windowTitle().remove(QStringLiteral("[*]"))
                                                                         : QFileInfo(path).fileName());
        }
        return comparison;
    }
};

} // namespace

StudioWindowFactory &programWindows()
{
    static ProgramWindows windows;
    return windows;
}
