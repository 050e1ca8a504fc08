#include "app/studiowindows.h"

#include <QWidget>

namespace {

StudioWindowFactory *installedFactory = nullptr;

} // namespace

StudioWindowFactory &StudioWindowFactory::current()
{
    return installedFactory ? *installedFactory : programWindows();
}

void StudioWindowFactory::setCurrent(StudioWindowFactory *factory)
{
    installedFactory = factory;
}

QWidget *widgetOf(FlightWindow *window)
{
    return dynamic_cast<QWidget *>(window);
}

QWidget *widgetOf(DeviceWindow *window)
{
    return dynamic_cast<QWidget *>(window);
}
