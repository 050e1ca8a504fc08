#pragma once

#include "app/studiowindows.h"
#include "model/events.h"

#include <QTimer>
#include <QWidget>
#include <memory>

class ControlPanel;
class DeviceSettingsTab;
class DownloadsTab;
class FirmwareUpdate;
class LiveGpsPage;
class LivePlots;
class OKUKIPOInterface;
class OKUKIPOWorkerThread;
class OKUStudio;
class OrientationWidget;
class QTabWidget;
class UpdateChecker;

// The device console: runs the device worker on a thread of its own and
// shows what the device reports in the main window's "Console" dock.  The
// tabs are parts of their own: the control panel, the live plots and GPS
// page, the downloads and the settings; the firmware update and the update
// check are parts too.
class OKUKIPOWidget : public QWidget, public DeviceWindow
{
    Q_OBJECT

public:
    explicit OKUKIPOWidget(OKUStudio *mainWindow);
    ~OKUKIPOWidget() override;

    // DeviceWindow: the main window's reactions to USB arrivals and removals.
    void attemptConnection() override;
    void closeRemovedDevice(const QString &path) override;
    void reportFirmwareState() override;

    OKUKIPOInterface *worker() const { return m_worker; }

public slots:
    void tabChanged(int index);
    void accelZEventRead(OKUEvent_AccelZ e);
    void gpsLLSolEventRead(OKUEvent_GPSLLSol e);
    void accelXYEventRead(OKUEvent_AccelXY e);
    void pressureEventRead(OKUEvent_Pressure e);
    void compBatEventRead(OKUEvent_ComputerBattery e);
    void ejectBatEventRead(OKUEvent_EjectionBattery e);
    void temperatureEventRead(OKUEvent_Temperature e);
    void identEventRead(OKUEvent_Ident e);
    void statusEventRead(OKUEvent_Status e);
    void gpsTimeEventRead(OKUEvent_GPSTime e);
    void gyroXYZEventRead(OKUEvent_GyroXYZ e);
    void magXYZEventRead(OKUEvent_MagXYZ e);
    void inputAEventRead(OKUEvent_LineA e);
    void inputBEventRead(OKUEvent_LineB e);
    void inputCEventRead(OKUEvent_LineC e);
    void inputDEventRead(OKUEvent_LineD e);
    void downloadFlights();
    void clearFlightData();
    void loadSelectedFlight();
    void firmwareInitialized();
    void firmwareDisconnected();
    // Called by the worker around every operation; enabling takes effect
    // only while a device with current firmware is connected.
    void enableControls(bool enabled);
    void updateFirmware();
    void checkForUpdates();
    void appendConsoleNL(QString s);

protected:
    // Refused while closing would cut off a firmware update or an emulation.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildForm();
    QWidget *buildLiveTab();
    void wireWorker();
    void refreshOrientation();
    void showConnectionPicture();
    void invokeWorker(const char *slot);

    OKUStudio *m_mainWindow;
    bool m_metric;
    // Between firmwareInitialized with current firmware and the next
    // disconnection.
    bool m_connected = false;

    std::unique_ptr<OKUKIPOWorkerThread> m_workerThread;
    OKUKIPOInterface *m_worker = nullptr;
    QTimer m_liveReadTimer;
    QTimer m_orientationTimer;

    QTabWidget *m_mainTabs = nullptr;
    ControlPanel *m_controlPanel = nullptr;
    std::unique_ptr<LivePlots> m_plots;
    LiveGpsPage *m_gpsPage = nullptr;
    OrientationWidget *m_orientation = nullptr;
    DownloadsTab *m_downloads = nullptr;
    DeviceSettingsTab *m_settingsTab = nullptr;
    FirmwareUpdate *m_firmwareUpdate = nullptr;
    UpdateChecker *m_updateChecker = nullptr;
    QList<QWidget *> m_controls;
};
