#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class OKUKIPOFlight;
class OKUStudio;
class QMdiSubWindow;
class QWidget;

// What the main window needs of a flight window (the widget also is a
// QWidget): its file path, title and modified flag are the widget's own.
class FlightWindow
{
public:
    virtual ~FlightWindow() = default;

    virtual void save() = 0;
    virtual void saveAs() = 0;
};

// What the main window needs of the device window: the reactions to a
// device arriving or leaving, which its worker carries out.
class DeviceWindow
{
public:
    virtual ~DeviceWindow() = default;

    // Starts a connection attempt.
    virtual void attemptConnection() = 0;
    // When `path` is the open firmware device: empties the live-event
    // queue, prints "Firmware disconnected." and closes it; when it is the
    // open bootloader device: prints "Bootloader disconnected." and closes
    // it.  Any other path changes nothing.
    virtual void closeRemovedDevice(const QString &path) = 0;
    // Makes the worker report firmwareDisconnected() when the firmware
    // device is not fully open.
    virtual void reportFirmwareState() = 0;
};

// What the main window needs of a window comparing flights and simulations.
class ComparisonWindow
{
public:
    virtual ~ComparisonWindow() = default;

    // Adds the flights (.kipo) and simulator CSVs; when one cannot be read
    // the user is told which and why, and none is added.
    virtual bool addFiles(const QStringList &paths) = 0;
    virtual void addFlight(std::shared_ptr<OKUKIPOFlight> flight, const QString &name) = 0;
};

// Creates the windows the main window hosts, so that the main window does
// not depend on how they are built: main() hands it the program's own
// windows, tests hand it fakes.  Each created window is a QWidget that also
// implements the interface above.
class StudioWindowFactory
{
public:
    virtual ~StudioWindowFactory() = default;

    virtual FlightWindow *createFlightWindow(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner) = 0;
    // The sub-window that hosts one flight window and handles its closing.
    virtual QMdiSubWindow *createFlightSubWindow(FlightWindow *window) = 0;
    virtual DeviceWindow *createDeviceWindow(OKUStudio *owner) = 0;
    // A comparison holding the flight of `flightWindow`, if one is given;
    // null where comparisons are not offered.
    virtual ComparisonWindow *createComparisonWindow(OKUStudio * /*owner*/, FlightWindow * /*flightWindow*/)
    {
        return nullptr;
    }
};

// The widget of a created window.
QWidget *widgetOf(FlightWindow *window);
QWidget *widgetOf(DeviceWindow *window);
QWidget *widgetOf(ComparisonWindow *window);
