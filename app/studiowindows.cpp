#include "app/studiowindows.h"

#include <QWidget>

QWidget *widgetOf(FlightWindow *window)
{
    return dynamic_cast<QWidget *>(window);
}

QWidget *widgetOf(DeviceWindow *window)
{
    return dynamic_cast<QWidget *>(window);
}

QWidget *widgetOf(ComparisonWindow *window)
{
    return dynamic_cast<QWidget *>(window);
}
