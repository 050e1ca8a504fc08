#pragma once

#include "device/okukipodevice.h"
#include "model/events.h"
#include "model/flight.h"
#include "model/settings.h"

#include <QList>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The device's latest orientation: scalar part w, vector part x, y, z.
struct OKUQuaternion {
    float w = 1;
    float x = 0;
    float y = 0;
    float z = 0;
};

// Hard-iron calibration of the magnetometer from the extremes seen so far.
class MagnetometerCalibration
{
public:
    // Widens the extremes by the reading and returns it centred; X is
    // negated so that the axes match the board's frame.
    std::array<float, 3> apply(const std::array<float, 3> &reading);

private:
    std::array<float, 3> minimum{10.0f, 10.0f, 10.0f};
    std::array<float, 3> maximum{-10.0f, -10.0f, -10.0f};
};

// Performs every device operation for the device window, on a thread of
// its own.  The window calls the slots queued; the worker answers with the
// signals below and writes user-visible lines by invoking the console
// target's "appendConsoleNL(QString)" and "enableControls(bool)" queued.
// The public non-slot methods are safe to call from any thread and never
// wait for a device operation: what touches the device is handed to the
// worker's thread, and so is attemptConnection() or _toBootloader() called
// from another thread.
class OKUKIPOInterface : public QObject
{
    Q_OBJECT

public:
    explicit OKUKIPOInterface(QObject *consoleTarget, QObject *parent = nullptr);
    ~OKUKIPOInterface() override;

    // The live-event type codes queued by the n-th call of readLiveEvents().
    static QList<int> liveReadSchedule(int callNumber);

    OKUQuaternion orientation() const;
    // The last GPS position read live, if any.
    std::optional<OKUEvent_GPSLLSol> latestGPSPosition() const;

    // Cleared by a firmware update while it runs, set again afterwards.
    void setConnectionEnabled(bool enabled);
    void setAutoStart(bool enabled);
    // Set when the window closes: a download stops after its current chunk.
    void setDownloadCancel(bool cancel);

    bool isFirmwareOpen() const;
    // The USB version number of the firmware-mode device last connected.
    quint16 firmwareVersionNumber() const;
    // Empties the live-event queue and closes both device handles, reporting
    // firmwareDisconnected() when the firmware device was open.
    void closeDevices();
    // After a USB device disappeared: closes whichever handle had that path,
    // saying which one went ("Firmware disconnected." or "Bootloader
    // disconnected."); other paths change nothing.
    void closeRemovedDevice(const QString &path);
    // Emits firmwareDisconnected() unless the firmware device is open, so
    // that the window shows the state after arrivals, removals and failed
    // updates.
    void reportFirmwareState();

signals:
    void accelZEventRead(OKUEvent_AccelZ e);
    void accelXYEventRead(OKUEvent_AccelXY e);
    void gyroXYZEventRead(OKUEvent_GyroXYZ e);
    void magXYZEventRead(OKUEvent_MagXYZ e);
    void pressureEventRead(OKUEvent_Pressure e);
    void compBatEventRead(OKUEvent_ComputerBattery e);
    void ejectBatEventRead(OKUEvent_EjectionBattery e);
    void temperatureEventRead(OKUEvent_Temperature e);
    void textEventRead(OKUEvent_Text e);
    void gpsLLSolEventRead(OKUEvent_GPSLLSol e);
    void statusEventRead(OKUEvent_Status e);
    void identEventRead(OKUEvent_Ident e);
    void gpsTimeEventRead(OKUEvent_GPSTime e);
    void inputAEventRead(OKUEvent_LineA e);
    void inputBEventRead(OKUEvent_LineB e);
    void inputCEventRead(OKUEvent_LineC e);
    void inputDEventRead(OKUEvent_LineD e);
    void firmwareInitialized();
    void firmwareDisconnected();
    void settingsRead(OKUKIPOSettings settings);
    void flightDownloaded(std::shared_ptr<OKUKIPOFlight> flight);
    void flightDownloadProgress(int max, int current);
    void flightDataCleared();
    void emulationComplete();
    void clearedFlightData();
    // A device was found but could not be opened; says what the user can do.
    void openFailureAdvised(QString advice);

public slots:
    void attemptConnection();
    void readLiveEvents();
    void readLiveEvent(int code);
    void processReadEvent();
    void processReadEvents();
    void viewStoredAlmanacs();
    void storeAlmanacs();
    void uploadAlmanacs();
    void clearSVData();
    void readDeviceSettings();
    void writeDeviceSettings(OKUKIPOSettings settings);
    void resetDeviceSettings();
    void calibratePressure(double MSLAltitude);
    void downloadFlights();
    void clearFlightData();
    void fireLine(int line);
    void emulateLaunch(QString sourceFile, QString targetFile, bool realTime = true);
    void stopEmulation();
    void _toBootloader();
    void unblockControls();

private:
    class Operation;

    void console(const QString &line);
    void consoleError(const QString &what, int result);
    void enableControls(bool enabled);
    // A request the worker sends itself, acknowledged by 0x05.
    int command(quint8 code, const QByteArray &data, int replyTimeoutMs, OKUPacket *reply = nullptr);
    // Announces a command without data, sends it and reports "Success." or
    // the failure line with the result text; true on success.
    bool reportedCommand(const QString &announcement, quint8 code, int replyTimeoutMs, const QString &failure);
    void connectFirmwareStep();
    void startFirmwareFromBootloader();
    void handleLiveEvent(int code, OKUEvent *record);
    bool takeQueuedCode(int &code);
    bool emulationStopRequested() const;
    bool downloadCancelRequested() const;
    void printAlmanac(quint8 slot);
    // False on the worker's own thread; elsewhere queues the call there and returns true.
    bool handedToWorkerThread(std::function<void()> call);
    void writeSettingsRecord(const OKUKIPOSettings &settings);
    void reportOpenFailure(const HIDDevice &device);

    QObject *consoleTarget;
    OKUKIPODevice firmware;
    HIDDevice bootloader;
    std::atomic<bool> connectionEnabled{true};
    std::atomic<bool> autoStart{true};
    bool downloadCancel = false;
    bool emulationStop = false;
    QList<int> liveQueue;
    QTimer pollTimer;
    OKUQuaternion latestOrientation;
    std::optional<OKUEvent_GPSLLSol> latestGPS;

    mutable QRecursiveMutex operationsMutex;
    mutable QRecursiveMutex queueMutex;
    mutable QRecursiveMutex orientationMutex; // also guards latestGPS
    mutable QRecursiveMutex cancelMutex;
    mutable QRecursiveMutex emulationMutex;
};
