#pragma once

#include <QObject>
#include <QProcess>

class OKUKIPOInterface;
class QPushButton;
class QWidget;

// Updates the device's firmware: sends the device to its bootloader, waits,
// then runs the flashing program shipped beside the application with the
// first firmware image and relays what it prints.  Automatic reconnection
// is suspended from the request until the flashing program has ended.
class FirmwareUpdate : public QObject
{
    Q_OBJECT

public:
    // The button is disabled while an update runs; boxes open over the window.
    FirmwareUpdate(OKUKIPOInterface *worker, QPushButton *button, QWidget *window);

    // Milliseconds between the request and the flashing program (5000): time
    // for the device to come back in bootloader mode.
    void setStartDelay(int milliseconds) { m_startDelayMs = milliseconds; }

    // From the request until the flashing program has ended or failed.
    bool isRunning() const { return m_running; }

    void updateFirmware();
    void startFirmwareUpdate();
    void firmwareUpdateOutputAvailable();
    void firmwareUpdateComplete(int exitCode, QProcess::ExitStatus exitStatus);
    // A missing image, a flashing program that cannot start, crashes or
    // fails: "Failed to update firmware.", and reconnection resumes.
    void updateError();

signals:
    void consoleLine(const QString &line);
    // What the flashing program printed, without its final line break.
    void flasherOutput(const QString &text);

private:
    void finish();

    OKUKIPOInterface *m_worker;
    QPushButton *m_button;
    QWidget *m_window;
    QProcess m_flasher;
    bool m_running = false;
    int m_startDelayMs = 5000;
};
