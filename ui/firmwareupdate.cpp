#include "ui/firmwareupdate.h"

#include "app/asker.h"
#include "device/okukipointerface.h"
#include "model/trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>

using okukipo::trace;

namespace {

QString firmwareDirectory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/KIPO/firmware/");
}

// The flashing program ships beside the application, whatever directory the
// program was started from.
QString flashingProgram()
{
#ifdef Q_OS_WIN
    return firmwareDirectory() + QStringLiteral("bootload.exe");
#else
    return firmwareDirectory() + QStringLiteral("bootload");
#endif
}

} // namespace

FirmwareUpdate::FirmwareUpdate(OKUKIPOInterface *worker, QPushButton *button, QWidget *window)
    : QObject(window)
    , m_worker(worker)
    , m_button(button)
    , m_window(window)
{
    connect(m_button, &QPushButton::clicked, this, &FirmwareUpdate::updateFirmware);
    connect(&m_flasher, &QProcess::readyReadStandardOutput, this, &FirmwareUpdate::firmwareUpdateOutputAvailable);
    connect(&m_flasher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &FirmwareUpdate::firmwareUpdateComplete);
    connect(&m_flasher, &QProcess::errorOccurred, this, &FirmwareUpdate::updateError);
}

void FirmwareUpdate::updateFirmware()
{
    const auto inform = [this](const QString &text) {
        showMessage(m_window, QMessageBox::Information, tr("Firmware update"), text);
    };
    m_running = true;
    m_button->setEnabled(false);
    trace(QStringLiteral("Requesting firmware update..."));
    emit consoleLine(QStringLiteral("Requesting firmware update. Please wait..."));
    m_worker->setConnectionEnabled(false);
    m_worker->setAutoStart(false);
    if (m_worker->isFirmwareOpen()) {
        // At once, not queued: the outdated-firmware path closes the device
        // right after this returns.
        m_worker->_toBootloader();
    } else {
        inform(tr("We can't connect to the device to automatically place it in \"bootloader\" mode.\r\nThis is "
                  "possibly because the existing firmware is too old for this software version."));
        inform(tr("To continue the update, please disconnect your device and then reconnect it again."));
    }
    inform(tr("Please do not disconnect the device while the update is taking place.\r\nThis will cause "
              "incomplete/corrupted firmware to be uploaded."));
    emit consoleLine(QStringLiteral("Update will start in 5 seconds..."));
    QTimer::singleShot(m_startDelayMs, this, &FirmwareUpdate::startFirmwareUpdate);
}

void FirmwareUpdate::startFirmwareUpdate()
{
    // One pattern as a list: a pattern string would be split at its blanks.
    const QFileInfoList images = QDir(firmwareDirectory())
                                     .entryInfoList({QStringLiteral("OKU KIPO Firmware 2.2*.hex.dat")}, QDir::Files,
                                                    QDir::Name);
    if (images.isEmpty()) {
        emit consoleLine(QStringLiteral("No firmware files found!"));
        updateError();
        return;
    }
    m_flasher.start(flashingProgram(), {QStringLiteral("-p"), images.first().absoluteFilePath()},
                    QIODevice::ReadWrite);
}

void FirmwareUpdate::firmwareUpdateOutputAvailable()
{
    QString output = QString::fromLocal8Bit(m_flasher.readAllStandardOutput());
    trace(output);
    if (output.endsWith(QLatin1Char('\n')))
        output.chop(output.endsWith(QStringLiteral("\r\n")) ? 2 : 1);
    emit flasherOutput(output);
}

void FirmwareUpdate::firmwareUpdateComplete(int exitCode, QProcess::ExitStatus exitStatus)
{
    // A crash is reported through updateError.
    if (exitStatus == QProcess::CrashExit)
        return;
    trace(QStringLiteral("Firmware update complete ") + QString::number(exitCode));
    // The flashing program says by its exit code whether the image went in.
    if (exitCode != 0) {
        updateError();
        return;
    }
    finish();
}

void FirmwareUpdate::updateError()
{
    emit consoleLine(QStringLiteral("Failed to update firmware."));
    finish();
    m_worker->reportFirmwareState();
}

void FirmwareUpdate::finish()
{
    m_running = false;
    m_button->setEnabled(true);
    m_worker->setConnectionEnabled(true);
    m_worker->setAutoStart(true);
    // Queued: a connection made on this thread would report it here while
    // holding the worker's operations mutex.
    QMetaObject::invokeMethod(m_worker, "attemptConnection", Qt::QueuedConnection);
}
