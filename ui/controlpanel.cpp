#include "ui/controlpanel.h"

#include "app/asker.h"
#include "device/okukipointerface.h"
#include "ui/formbuilding.h"
#include "ui/graphbuilding.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ControlPanel::ControlPanel(OKUKIPOInterface *worker, QWidget *parent)
    : QWidget(parent)
    , m_worker(worker)
{
    setObjectName(QStringLiteral("controlTab"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildDiagnostics());
    layout->addWidget(buildEmulation());
    QGroupBox *firmware = newGroupBox(QStringLiteral("groupBox_5"), tr("Firmware update"), this);
    new QHBoxLayout(firmware);
    m_updateFirmware = addButton(QStringLiteral("updateFirmware"), tr("Update firmware"), firmware);
    layout->addWidget(firmware);
    layout->addStretch();
}

QWidget *ControlPanel::buildDiagnostics()
{
    QGroupBox *diagnostics = newGroupBox(QStringLiteral("groupBox_4"), tr("Control / Diagnostics"), this);
    auto *layout = new QHBoxLayout(diagnostics);

    QFrame *lines = titledFrame(QStringLiteral("lineControlFrame"), tr("High current output lines"), diagnostics);
    for (int line = 0; line < 4; ++line) {
        const QString letter = QChar('A' + line);
        QPushButton *fire = addButton(QStringLiteral("fireLine") + letter, tr("Fire Line ") + letter, lines);
        connect(fire, &QPushButton::clicked, this, [this, line] { fireLine(line); });
    }
    layout->addWidget(lines);

    QFrame *gps = titledFrame(QStringLiteral("gpsControlFrame"), tr("GPS"), diagnostics);
    OKUKIPOInterface *w = m_worker;
    connect(addButton(QStringLiteral("viewStoredAlmanacs"), tr("View stored almanac space vehicles"), gps),
            &QPushButton::clicked, w, &OKUKIPOInterface::viewStoredAlmanacs);
    connect(addButton(QStringLiteral("storeAlmanacs"), tr("Store current space vehicle almanacs"), gps),
            &QPushButton::clicked, w, &OKUKIPOInterface::storeAlmanacs);
    connect(addButton(QStringLiteral("uploadAlmanacs"), tr("Upload stored almanacs to GPS receiver"), gps),
            &QPushButton::clicked, w, &OKUKIPOInterface::uploadAlmanacs);
    connect(addButton(QStringLiteral("clearSVData"), tr("Clear stored space vehicle data"), gps),
            &QPushButton::clicked, w, &OKUKIPOInterface::clearSVData);
    layout->addWidget(gps);

    QFrame *calibration = titledFrame(QStringLiteral("calibrationFrame"), tr("Calibration"), diagnostics);
    calibration->layout()->addWidget(new QLabel(tr("Aproximate ground altitude"), calibration));
    m_calibrationAltitude = new QDoubleSpinBox(calibration);
    m_calibrationAltitude->setObjectName(QStringLiteral("calibrationAltitude"));
    m_calibrationAltitude->setSuffix(QStringLiteral(" m"));
    m_calibrationAltitude->setDecimals(1);
    m_calibrationAltitude->setRange(-50.0, 10000.0);
    calibration->layout()->addWidget(m_calibrationAltitude);
    connect(addButton(QStringLiteral("calibrateAltitudefromGPS"), tr("From GPS"), calibration),
            &QPushButton::clicked, this, &ControlPanel::calibrateAltitudefromGPS);
    connect(addButton(QStringLiteral("calibratePressure"), tr("Calibrate pressure altitude"), calibration),
            &QPushButton::clicked, this, &ControlPanel::calibratePressure);
    layout->addWidget(calibration);

    m_deviceControls << lines << gps << calibration;
    return diagnostics;
}

QWidget *ControlPanel::buildEmulation()
{
    QGroupBox *emulation = newGroupBox(QStringLiteral("groupBox_3"), tr("Emulation"), this);
    new QHBoxLayout(emulation);
    m_emulateLaunch = addButton(QStringLiteral("emulateLaunch"), tr("Emulate launch..."), emulation);
    m_stopEmulation = addButton(QStringLiteral("stopEmulation"), tr("Stop emulation"), emulation);
    m_stopEmulation->setEnabled(false);
    connect(m_emulateLaunch, &QPushButton::clicked, this, &ControlPanel::emulateLaunch);
    connect(m_stopEmulation, &QPushButton::clicked, this, &ControlPanel::stopEmulation);
    m_deviceControls << m_emulateLaunch;
    return emulation;
}

void ControlPanel::fireLine(int line)
{
    const QChar letter('A' + line);
    MessageBoxRequest box;
    box.icon = QMessageBox::Warning;
    box.title = tr("Fire Line ") + letter;
    box.text = tr("Fire line %1 now?").arg(letter);
    box.informativeText = tr("The line switches on at once and sets off whatever is connected to it.");
    box.buttons = QMessageBox::Yes | QMessageBox::No;
    box.defaultButton = QMessageBox::No;
    if (Asker::current().message(this, box) != QMessageBox::Yes)
        return;
    OKUKIPOInterface *w = m_worker;
    QMetaObject::invokeMethod(w, [w, line] { w->fireLine(line); }, Qt::QueuedConnection);
}

void ControlPanel::calibratePressure()
{
    OKUKIPOInterface *w = m_worker;
    const double altitude = m_calibrationAltitude->value();
    QMetaObject::invokeMethod(w, [w, altitude] { w->calibratePressure(altitude); }, Qt::QueuedConnection);
}

void ControlPanel::calibrateAltitudefromGPS()
{
    const std::optional<OKUEvent_GPSLLSol> position = m_worker->latestGPSPosition();
    if (!position)
        return;
    if (!position->solution3D) {
        MessageBoxRequest box;
        box.icon = QMessageBox::Warning;
        box.title = tr("OKU KIPO");
        box.text = tr("The GPS fix is not within the recommended accuracy range: ")
            + QString::number(position->altitude, 'g', 6) + QStringLiteral(" m");
        box.informativeText = tr("Would you still like to use the altitude given by the GPS?");
        box.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        box.defaultButton = QMessageBox::No;
        if (Asker::current().message(this, box) != QMessageBox::Yes)
            return;
    }
    m_calibrationAltitude->setValue(position->altitude);
}

void ControlPanel::emulateLaunch()
{
    Asker &asker = Asker::current();
    const QString filter = tr("CSV files (*.csv)");
    const QString source = asker.openFileName(this, tr("Emulation data"), QString(), filter);
    if (source.isEmpty())
        return;
    const QString target = asker.saveFileName(this, tr("Emulation results"), QString(), filter);
    if (target.isEmpty())
        return;
    MessageBoxRequest box;
    box.icon = QMessageBox::Warning;
    box.title = tr("Emulation");
    box.text = tr("Would you like to perform a realtime emulation?");
    box.informativeText = tr("A realtime emulation will attempt to honor timing for firing lines etc. Selecting "
                             "'no' will accelerate the emulation process and is useful if you are only looking for "
                             "emulation data results.");
    box.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    box.defaultButton = QMessageBox::Yes;
    const QMessageBox::StandardButton answer = asker.message(this, box);
    if (answer == QMessageBox::Cancel)
        return;
    // Two spellings of one file would have the results overwrite the data
    // being read.
    if (QFileInfo(source).absoluteFilePath() == QFileInfo(target).absoluteFilePath()) {
        showMessage(this, QMessageBox::Critical, tr("The source and destination files must not be the same."),
                    source);
        return;
    }
    m_stopEmulation->setEnabled(true);
    m_emulationRunning = true;
    OKUKIPOInterface *w = m_worker;
    const bool realTime = answer == QMessageBox::Yes;
    QMetaObject::invokeMethod(w, [w, source, target, realTime] { w->emulateLaunch(source, target, realTime); },
                              Qt::QueuedConnection);
}

void ControlPanel::stopEmulation()
{
    m_worker->stopEmulation();
    m_stopEmulation->setEnabled(false);
}

void ControlPanel::emulationComplete()
{
    m_emulationRunning = false;
    m_stopEmulation->setEnabled(false);
}
