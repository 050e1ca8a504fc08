#pragma once

#include "ui_okustudio.h"

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QSettings>
#include <memory>

class DeviceWindow;
class FlightWindow;
class OKUKIPOFlight;
class StudioWindowFactory;

// The main window: an MDI area with one sub-window per open flight and at
// most one device console, and the "Console" dock the device console
// writes into.  It opens the given flight file, or the device console when
// there is none.  Its windows come from the given factory, which must
// outlive it.
class OKUStudio : public QMainWindow
{
    Q_OBJECT

public:
    OKUStudio(StudioWindowFactory &windows, const QString &fileName, QWidget *parent = nullptr,
              Qt::WindowFlags flags = {});
    ~OKUStudio() override;

    // "settings.ini", read by the windows for their display units.
    QSettings *settings() { return &m_settings; }
    // The form: the device console writes the "Console" dock's labels,
    // picture and text; flight windows wire the flight actions.
    Ui::OKUStudioClass &form() { return ui; }
    // Null while no device console is open.
    DeviceWindow *deviceWindow() const { return m_deviceWindow; }

    // Reactions to a HID device arriving or leaving, as the HID transport
    // reports them; they reach only an open device console.
    void deviceArrived(const QString &path);
    void deviceRemoved(const QString &path);

public slots:
    void tabChanged(QMdiSubWindow *window);
    void saveFlight();
    void saveFlightAs();
    void loadFlight();
    void loadFlight(QString fileName);
    void addFlight(std::shared_ptr<OKUKIPOFlight> flight, QString title);
    void openOKUKIPOInterface();
    // A comparison of the chosen flights and simulations, and of the
    // active flight with the chosen ones.
    void compareFlights();
    void compareWithFlight();
    void showAbout();
    void showSettings();
    void updateMenus();

protected:
    // Closes every sub-window through its own close handling; the program
    // stays open when one of them refuses.
    void closeEvent(QCloseEvent *event) override;

private:
    // The flight window of the active sub-window, if that hosts one.
    FlightWindow *activeFlightWindow() const;
    void showFlight(std::shared_ptr<OKUKIPOFlight> flight, const QString &title, const QString &filePath);
    void openComparison(FlightWindow *flightWindow, const QStringList &paths);

    StudioWindowFactory &m_windows;
    Ui::OKUStudioClass ui;
    QSettings m_settings;
    DeviceWindow *m_deviceWindow = nullptr;
};

// The sub-window of the device console.  Closing it deletes the console
// and clears the main window's reference to it.
class OKUKIPOSubWindow : public QMdiSubWindow
{
    Q_OBJECT

public:
    explicit OKUKIPOSubWindow(DeviceWindow **deviceWindow);
    ~OKUKIPOSubWindow() override;

private:
    DeviceWindow **m_deviceWindow;
};
