#pragma once

#include "app/studiowindows.h"
#include "device/transferprogress.h"
#include "model/events.h"
#include "model/settings.h"

#include <QPointF>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class GraphSeries;
class OKUKIPOFlight;
class OKUKIPOInterface;
class OKUKIPOWorkerThread;
class OKUStudio;
class OrientationWidget;
class QDoubleSpinBox;
class QGraph;
class QLabel;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QWebEngineView;
class SettingsWidget;

// The device console: runs the device worker on a thread of its own, turns
// button presses into worker calls, and shows what the device reports as
// live plots, labels (also in the main window's "Console" dock), a map and
// the board's orientation.  It downloads the flights for the main window,
// edits the device settings, and updates the firmware.
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
    QGraph *graph(const QString &objectName) const;
    const std::vector<std::shared_ptr<OKUKIPOFlight>> &downloadedFlights() const { return m_flights; }
    // Where the live position goes.
    QString kmlFilePath() const { return m_kmlFilePath; }

    // Milliseconds between the update button and the flashing program.
    static constexpr int firmwareUpdateDelayMs = 5000;

signals:
    // Every script run in the map page, as it is run.
    void mapScriptRun(const QString &script);
    void updateCheckAnswered();

public slots:
    void exception(int code, QString source, QString description, QString help);
    void browserNavigateComplete(QString url);
    void tabChanged(int index);
    void accelZEventRead(OKUEvent_AccelZ e);
    void textEventRead(OKUEvent_Text e);
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
    void writeDeviceSettings();
    void settingsRead(OKUKIPOSettings settings);
    void calibrateAltitudefromGPS();
    void calibratePressure();
    void viewStoredAlmanacs();
    void storeAlmanacs();
    void uploadAlmanacs();
    void clearSVData();
    void emulateLaunch();
    void stopEmulation();
    void emulationComplete();
    void downloadFlights();
    void flightDownloaded(std::shared_ptr<OKUKIPOFlight> flight);
    void flightDownloadProgress(int max, int current);
    void clearFlights();
    void clearFlightData();
    void loadSelectedFlight();
    void flightSelectionChanged();
    void flightDataCleared();
    void firmwareInitialized();
    void firmwareDisconnected();
    void enableControls(bool enabled);
    void focusOnTarget();
    void updateFirmware();
    void firmwareUpdateOutputAvailable();
    void firmwareUpdateComplete(int exitCode, QProcess::ExitStatus exitStatus);
    void updateError(QProcess::ProcessError error);
    void updateError();
    void startFirmwareUpdate();
    void checkForUpdates();
    void checkForUpdatesFinished();
    void appendConsoleNL(QString s);

private:
    // One live curve and the time its first point had, so that every curve
    // starts at 0 however long the device has been running.
    struct LiveCurve {
        GraphSeries *series = nullptr;
        QGraph *graph = nullptr;
        float origin = 0;
    };

    void buildForm();
    QWidget *buildControlTab();
    QWidget *buildLiveTab();
    QWidget *buildGpsTab();
    QWidget *buildDownloadTab();
    QWidget *buildSettingsTab();
    QGraph *createGraph(const QString &objectName, const QString &title, QWidget *container);
    void buildPlots();
    void wireWorker();
    void wireControls();

    void appendLive(LiveCurve &curve, float time, double value);
    void clearLiveCurves();
    void refreshOrientation();
    void runMapScript(const QString &script);
    void showConnectionPicture();
    void resumeConnection();
    void invokeWorker(const char *slot);

    OKUStudio *m_mainWindow;
    bool m_metric;
    QString m_kmlFilePath;
    // Latitude and longitude of the latest GPS position, (0, 0) before one.
    QPointF m_lastPosition;

    std::unique_ptr<OKUKIPOWorkerThread> m_workerThread;
    OKUKIPOInterface *m_worker = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QProcess m_flasher;
    QTimer m_liveReadTimer;
    QTimer m_orientationTimer;

    // Form
    QTabWidget *m_mainTabs = nullptr;
    QList<QGraph *> m_graphs;
    QDoubleSpinBox *m_calibrationAltitude = nullptr;
    QPushButton *m_stopEmulation = nullptr;
    QPushButton *m_updateFirmware = nullptr;
    QLabel *m_gpsTime = nullptr;
    QLabel *m_latitude = nullptr;
    QLabel *m_longitude = nullptr;
    QLabel *m_gpsAltitude = nullptr;
    QLabel *m_satellitesUsed = nullptr;
    QLabel *m_fix = nullptr;
    QProgressBar *m_connectedSats = nullptr;
    QWebEngineView *m_webView = nullptr;
    OrientationWidget *m_orientation = nullptr;
    QTableWidget *m_flightsTable = nullptr;
    QProgressBar *m_downloadProgress = nullptr;
    QLabel *m_downloadTransfer = nullptr;
    TransferProgress m_transfer;
    SettingsWidget *m_settings = nullptr;
    QList<QWidget *> m_controls;

    // Live curves
    LiveCurve m_altitude, m_pressure, m_temperature;
    LiveCurve m_accel[3], m_gyro[3], m_mag[3];
    LiveCurve m_computerBattery, m_ejectionBattery;
    LiveCurve m_lines[4];
    GraphSeries *m_preview = nullptr;
    QGraph *m_previewGraph = nullptr;

    std::vector<std::shared_ptr<OKUKIPOFlight>> m_flights;
};
