#pragma once

#include <QList>
#include <QWidget>

class OKUKIPOInterface;
class QDoubleSpinBox;
class QPushButton;

// The "Control Panel" tab: fires the output lines, manages the GPS
// almanacs, calibrates the pressure altitude and runs emulations on the
// device, each through the worker.
class ControlPanel : public QWidget
{
    Q_OBJECT

public:
    ControlPanel(OKUKIPOInterface *worker, QWidget *parent);

    // The controls that need a connected device.
    QList<QWidget *> deviceControls() const { return m_deviceControls; }
    QPushButton *updateFirmwareButton() const { return m_updateFirmware; }
    // From the start of an emulation until the worker reports its end.
    bool isEmulationRunning() const { return m_emulationRunning; }

    // A line sets off whatever charge is connected to it, so it fires only
    // after the user confirmed it (the default answer is No).
    void fireLine(int line);
    void calibrateAltitudefromGPS();
    void calibratePressure();
    void emulateLaunch();
    void stopEmulation();
    void emulationComplete();

private:
    QWidget *buildDiagnostics();
    QWidget *buildEmulation();

    OKUKIPOInterface *m_worker;
    QDoubleSpinBox *m_calibrationAltitude = nullptr;
    QPushButton *m_emulateLaunch = nullptr;
    QPushButton *m_stopEmulation = nullptr;
    QPushButton *m_updateFirmware = nullptr;
    QList<QWidget *> m_deviceControls;
    bool m_emulationRunning = false;
};
