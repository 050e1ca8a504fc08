// Firmware update and the online update check of the device console.

#include "ui/okukipowidget.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "device/okukipointerface.h"
#include "model/trace.h"
#include "ui/updatecheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>

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

void informFirmwareUpdate(QWidget *parent, const QString &text)
{
    showMessage(parent, QMessageBox::Information, QObject::tr("Firmware update"), text);
}

} // namespace

void OKUKIPOWidget::updateFirmware()
{
    m_updateFirmware->setEnabled(false);
    trace(QStringLiteral("Requesting firmware update..."));
    appendConsoleNL(QStringLiteral("Requesting firmware update. Please wait..."));
    m_worker->setConnectionEnabled(false);
    m_worker->setAutoStart(false);
    if (m_worker->isFirmwareOpen()) {
        // At once, not queued: the outdated-firmware path closes the device
        // right after this returns.
        m_worker->_toBootloader();
    } else {
        informFirmwareUpdate(this, tr("We can't connect to the device to automatically place it in \"bootloader\" "
                                      "mode.\r\nThis is possibly because the existing firmware is too old for this "
                                      "software version."));
        informFirmwareUpdate(this, tr("To continue the update, please disconnect your device and then reconnect it "
                                      "again."));
    }
    informFirmwareUpdate(this, tr("Please do not disconnect the device while the update is taking place.\r\nThis "
                                  "will cause incomplete/corrupted firmware to be uploaded."));
    appendConsoleNL(QStringLiteral("Update will start in 5 seconds..."));
    QTimer::singleShot(firmwareUpdateDelayMs, this, &OKUKIPOWidget::startFirmwareUpdate);
}

void OKUKIPOWidget::startFirmwareUpdate()
{
    // One pattern as a list: a pattern string would be split at its blanks.
    const QFileInfoList images = QDir(firmwareDirectory())
                                     .entryInfoList({QStringLiteral("OKU KIPO Firmware 2.2*.hex.dat")}, QDir::Files,
                                                    QDir::Name);
    if (images.isEmpty()) {
        appendConsoleNL(QStringLiteral("No firmware files found!"));
        updateError();
        return;
    }
    m_flasher.start(flashingProgram(), {QStringLiteral("-p"), images.first().absoluteFilePath()},
                    QIODevice::ReadWrite);
}

void OKUKIPOWidget::firmwareUpdateOutputAvailable()
{
    QString output = QString::fromLocal8Bit(m_flasher.readAllStandardOutput());
    trace(output);
    if (output.endsWith(QLatin1Char('\n')))
        output.chop(output.endsWith(QStringLiteral("\r\n")) ? 2 : 1);
    appendConsoleNL(output);
    m_mainWindow->form().console->moveCursor(QTextCursor::End);
}

void OKUKIPOWidget::firmwareUpdateComplete(int exitCode, QProcess::ExitStatus exitStatus)
{
    // A crash is reported through updateError.
    if (exitStatus == QProcess::CrashExit)
        return;
    m_updateFirmware->setEnabled(true);
    trace(QStringLiteral("Firmware update complete ") + QString::number(exitCode));
    resumeConnection();
}

void OKUKIPOWidget::updateError(QProcess::ProcessError error)
{
    Q_UNUSED(error)
    updateError();
}

void OKUKIPOWidget::updateError()
{
    appendConsoleNL(QStringLiteral("Failed to update firmware."));
    m_updateFirmware->setEnabled(true);
    resumeConnection();
    m_worker->reportFirmwareState();
}

void OKUKIPOWidget::resumeConnection()
{
    m_worker->setConnectionEnabled(true);
    m_worker->setAutoStart(true);
    m_worker->attemptConnection();
}

void OKUKIPOWidget::checkForUpdates()
{
    const QUrl url = updatecheck::requestUrl(*m_mainWindow->settings());
    if (url.isEmpty()) {
        trace(QStringLiteral("Update check switched off"));
        return;
    }
    trace(url.toString());
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", "Mozilla Firefox");
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, &OKUKIPOWidget::checkForUpdatesFinished);
}

void OKUKIPOWidget::checkForUpdatesFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    trace(QStringLiteral("checkForUpdatesFinished. Getting reply..."));
    const QString body = QString::fromUtf8(reply->readAll());
    trace(body);
    // An error page is no answer of the update server, whatever it says.
    if (reply->error() == QNetworkReply::NoError) {
        const updatecheck::Reply answer = updatecheck::parseReply(body);
        if (answer.updateAvailable)
            showMessage(this, QMessageBox::Information, tr("Update"), updatecheck::updateNotice());
        if (answer.message)
            showMessage(this, QMessageBox::Information, tr("Update"), *answer.message);
    }
    emit updateCheckAnswered();
}
