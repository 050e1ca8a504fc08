#include "ui/okukipowidget.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "device/okukipointerface.h"
#include "device/workerthread.h"
#include "ui/controlpanel.h"
#include "ui/devicesettingstab.h"
#include "ui/downloadstab.h"
#include "ui/firmwareupdate.h"
#include "ui/livegpspage.h"
#include "ui/liveplots.h"
#include "ui/orientationwidget.h"
#include "ui/updatecheck.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int LiveReadIntervalMs = 10;
constexpr int OrientationIntervalMs = 5;
constexpr quint16 CurrentFirmwareVersion = 0x0220;
constexpr int StatusMessageMs = 2000;

QString lineStyle(const OKUEvent_Status &status, int line)
{
    if (status.lineAlert[line])
        return QStringLiteral("background-color:red;");
    if (status.lineContinuity[line])
        return QStringLiteral("background-color:green;");
    return QString();
}

} // namespace

OKUKIPOWidget::OKUKIPOWidget(OKUStudio *mainWindow)
    : m_mainWindow(mainWindow)
    , m_metric(isMetric(*mainWindow->settings()))
{
    // The parts call the worker, so it comes first; it reaches this window
    // only through queued calls.
    m_workerThread = std::make_unique<OKUKIPOWorkerThread>(this);
    m_worker = m_workerThread->worker();
    buildForm();
    m_controls = m_controlPanel->deviceControls() + m_downloads->deviceControls() + m_settingsTab->deviceControls();
    enableControls(false);
    m_firmwareUpdate = new FirmwareUpdate(m_worker, m_controlPanel->updateFirmwareButton(), this);
    connect(m_firmwareUpdate, &FirmwareUpdate::consoleLine, this, &OKUKIPOWidget::appendConsoleNL);
    connect(m_firmwareUpdate, &FirmwareUpdate::flasherOutput, this, [this](const QString &text) {
        appendConsoleNL(text);
        m_mainWindow->form().console->moveCursor(QTextCursor::End);
    });
    m_updateChecker = new UpdateChecker(this);
    wireWorker();

    connect(m_downloads->downloadButton(), &QPushButton::clicked, this, &OKUKIPOWidget::downloadFlights);
    connect(m_downloads->clearDeviceButton(), &QPushButton::clicked, this, &OKUKIPOWidget::clearFlightData);
    connect(m_downloads->loadButton(), &QPushButton::clicked, this, &OKUKIPOWidget::loadSelectedFlight);
    connect(m_mainTabs, &QTabWidget::currentChanged, this, &OKUKIPOWidget::tabChanged);

    m_liveReadTimer.setInterval(LiveReadIntervalMs);
    connect(&m_liveReadTimer, &QTimer::timeout, this, [this] { invokeWorker("readLiveEvents"); });
    m_liveReadTimer.start();
    m_orientationTimer.setInterval(OrientationIntervalMs);
    connect(&m_orientationTimer, &QTimer::timeout, this, &OKUKIPOWidget::refreshOrientation);
    m_orientationTimer.start();

    invokeWorker("attemptConnection");
    checkForUpdates();
}

OKUKIPOWidget::~OKUKIPOWidget()
{
    m_liveReadTimer.stop();
    m_orientationTimer.stop();
    m_workerThread.reset();
}

void OKUKIPOWidget::invokeWorker(const char *slot)
{
    QMetaObject::invokeMethod(m_worker, slot, Qt::QueuedConnection);
}

void OKUKIPOWidget::buildForm()
{
    setWindowTitle(QStringLiteral("OKU KIPO"));
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("OKU KIPO"), this);
    heading->setObjectName(QStringLiteral("label_8"));
    heading->setFont(QFont(QStringLiteral("Arial Black"), 14));
    layout->addWidget(heading);

    m_mainTabs = new QTabWidget(this);
    m_mainTabs->setObjectName(QStringLiteral("mainTabs"));
    layout->addWidget(m_mainTabs);
    m_controlPanel = new ControlPanel(m_worker, m_mainTabs);
    m_mainTabs->addTab(m_controlPanel, tr("Control Panel"));
    m_mainTabs->addTab(buildLiveTab(), tr("Live Data"));
    m_downloads = new DownloadsTab(m_metric, m_mainTabs);
    m_mainTabs->addTab(m_downloads, tr("Download Data"));
    m_settingsTab = new DeviceSettingsTab(m_worker, m_metric, m_mainTabs);
    m_mainTabs->addTab(m_settingsTab, tr("Settings"));
}

QWidget *OKUKIPOWidget::buildLiveTab()
{
    auto *tab = new QWidget(m_mainTabs);
    tab->setObjectName(QStringLiteral("liveTab"));
    auto *liveTabs = new QTabWidget(tab);
    liveTabs->setObjectName(QStringLiteral("liveTabs"));
    (new QVBoxLayout(tab))->addWidget(liveTabs);
    m_plots = std::make_unique<LivePlots>(m_metric, liveTabs);
    m_gpsPage = new LiveGpsPage(m_mainWindow->settings(), m_metric, liveTabs);
    liveTabs->addTab(m_gpsPage, tr("GPS"));
    m_orientation = new OrientationWidget(liveTabs);
    m_orientation->setObjectName(QStringLiteral("orientation"));
    liveTabs->addTab(m_orientation, tr("Orientation"));
    return tab;
}

void OKUKIPOWidget::wireWorker()
{
    OKUKIPOInterface *w = m_worker;
    connect(w, &OKUKIPOInterface::accelZEventRead, this, &OKUKIPOWidget::accelZEventRead);
    connect(w, &OKUKIPOInterface::gpsLLSolEventRead, this, &OKUKIPOWidget::gpsLLSolEventRead);
    connect(w, &OKUKIPOInterface::accelXYEventRead, this, &OKUKIPOWidget::accelXYEventRead);
    connect(w, &OKUKIPOInterface::pressureEventRead, this, &OKUKIPOWidget::pressureEventRead);
    connect(w, &OKUKIPOInterface::compBatEventRead, this, &OKUKIPOWidget::compBatEventRead);
    connect(w, &OKUKIPOInterface::ejectBatEventRead, this, &OKUKIPOWidget::ejectBatEventRead);
    connect(w, &OKUKIPOInterface::temperatureEventRead, this, &OKUKIPOWidget::temperatureEventRead);
    connect(w, &OKUKIPOInterface::identEventRead, this, &OKUKIPOWidget::identEventRead);
    connect(w, &OKUKIPOInterface::statusEventRead, this, &OKUKIPOWidget::statusEventRead);
    connect(w, &OKUKIPOInterface::gpsTimeEventRead, this, &OKUKIPOWidget::gpsTimeEventRead);
    connect(w, &OKUKIPOInterface::gyroXYZEventRead, this, &OKUKIPOWidget::gyroXYZEventRead);
    connect(w, &OKUKIPOInterface::magXYZEventRead, this, &OKUKIPOWidget::magXYZEventRead);
    connect(w, &OKUKIPOInterface::inputAEventRead, this, &OKUKIPOWidget::inputAEventRead);
    connect(w, &OKUKIPOInterface::inputBEventRead, this, &OKUKIPOWidget::inputBEventRead);
    connect(w, &OKUKIPOInterface::inputCEventRead, this, &OKUKIPOWidget::inputCEventRead);
    connect(w, &OKUKIPOInterface::inputDEventRead, this, &OKUKIPOWidget::inputDEventRead);
    connect(w, &OKUKIPOInterface::settingsRead, m_settingsTab, &DeviceSettingsTab::settingsRead);
    connect(w, &OKUKIPOInterface::emulationComplete, m_controlPanel, &ControlPanel::emulationComplete);
    connect(w, &OKUKIPOInterface::flightDataCleared, m_downloads, &DownloadsTab::flightDataCleared);
    connect(w, &OKUKIPOInterface::flightDownloadProgress, m_downloads, &DownloadsTab::flightDownloadProgress);
    connect(w, &OKUKIPOInterface::flightDownloaded, this, [this](std::shared_ptr<OKUKIPOFlight> flight) {
        m_downloads->flightDownloaded(std::move(flight));
        appendConsoleNL(QStringLiteral("Adding flight to table"));
    });
    connect(w, &OKUKIPOInterface::firmwareInitialized, this, &OKUKIPOWidget::firmwareInitialized);
    connect(w, &OKUKIPOInterface::firmwareDisconnected, this, &OKUKIPOWidget::firmwareDisconnected);
    // Kept until the next message: the user needs it to fix the device's permissions.
    QStatusBar *statusBar = m_mainWindow->statusBar();
    connect(w, &OKUKIPOInterface::openFailureAdvised, statusBar, [statusBar](const QString &advice) {
        statusBar->showMessage(advice);
    });
    // Settings are read at every connection.
    connect(w, &OKUKIPOInterface::firmwareInitialized, w, &OKUKIPOInterface::readDeviceSettings);
}

void OKUKIPOWidget::closeEvent(QCloseEvent *event)
{
    QString busy;
    if (m_firmwareUpdate->isRunning())
        busy = tr("A firmware update is running. Closing now would stop the flashing program and could leave the "
                  "device with incomplete firmware; please wait until the update has finished.");
    else if (m_controlPanel->isEmulationRunning())
        busy = tr("An emulation is running. Press \"Stop emulation\" and wait for it to end before closing, so "
                  "that its results are kept.");
    if (busy.isEmpty()) {
        event->accept();
        return;
    }
    showMessage(this, QMessageBox::Warning, tr("OKU KIPO"), busy);
    event->ignore();
}

// ---- DeviceWindow ----

void OKUKIPOWidget::attemptConnection()
{
    invokeWorker("attemptConnection");
}

void OKUKIPOWidget::closeRemovedDevice(const QString &path)
{
    m_worker->closeRemovedDevice(path);
}

void OKUKIPOWidget::reportFirmwareState()
{
    m_worker->reportFirmwareState();
}

// ---- Live data ----

void OKUKIPOWidget::accelZEventRead(OKUEvent_AccelZ e)
{
    m_plots->add(e);
    m_mainWindow->form().liveAccelerationLabel->setText(accelerationLabel(e.accelZ));
}

void OKUKIPOWidget::accelXYEventRead(OKUEvent_AccelXY e)
{
    m_plots->add(e);
}

void OKUKIPOWidget::gyroXYZEventRead(OKUEvent_GyroXYZ e)
{
    m_plots->add(e);
}

void OKUKIPOWidget::magXYZEventRead(OKUEvent_MagXYZ e)
{
    m_plots->add(e);
}

void OKUKIPOWidget::pressureEventRead(OKUEvent_Pressure e)
{
    m_plots->add(e);
    const DisplayUnits units(m_metric);
    Ui::OKUStudioClass &form = m_mainWindow->form();
    form.livePressureLabel->setText(units.pressureLabel(e.pressure));
    form.liveMSLAltitudeLabel->setText(units.pressureAltitudeLabel(e.pressure));
}

void OKUKIPOWidget::temperatureEventRead(OKUEvent_Temperature e)
{
    m_plots->add(e);
    m_mainWindow->form().liveTemperatureLabel->setText(DisplayUnits(m_metric).temperatureLabel(e.temperature));
}

void OKUKIPOWidget::compBatEventRead(OKUEvent_ComputerBattery e)
{
    m_plots->add(e);
    m_mainWindow->form().liveCompBatVoltageLabel->setText(voltageLabel(e.voltage));
}

void OKUKIPOWidget::ejectBatEventRead(OKUEvent_EjectionBattery e)
{
    m_plots->add(e);
    m_mainWindow->form().liveEjectBatVoltageLabel->setText(voltageLabel(e.voltage));
}

void OKUKIPOWidget::inputAEventRead(OKUEvent_LineA e)
{
    m_plots->addLine(0, e.time, e.voltage);
}

void OKUKIPOWidget::inputBEventRead(OKUEvent_LineB e)
{
    m_plots->addLine(1, e.time, e.voltage);
}

void OKUKIPOWidget::inputCEventRead(OKUEvent_LineC e)
{
    m_plots->addLine(2, e.time, e.voltage);
}

void OKUKIPOWidget::inputDEventRead(OKUEvent_LineD e)
{
    m_plots->addLine(3, e.time, e.voltage);
}

void OKUKIPOWidget::statusEventRead(OKUEvent_Status e)
{
    Ui::OKUStudioClass &form = m_mainWindow->form();
    QLabel *const indicators[] = {form.liveLineALabel, form.liveLineBLabel, form.liveLineCLabel, form.liveLineDLabel};
    for (int line = 0; line < 4; ++line) {
        // Setting a style sheet re-polishes the label even when it is the
        // same one, and status records arrive many times a second.
        const QString style = lineStyle(e, line);
        if (indicators[line]->styleSheet() != style)
            indicators[line]->setStyleSheet(style);
    }
}

void OKUKIPOWidget::identEventRead(OKUEvent_Ident e)
{
    appendConsoleNL(QStringLiteral("Identity: ") + QString::fromStdString(e.text));
}

void OKUKIPOWidget::gpsTimeEventRead(OKUEvent_GPSTime e)
{
    m_gpsPage->showTime(e);
}

void OKUKIPOWidget::gpsLLSolEventRead(OKUEvent_GPSLLSol e)
{
    m_gpsPage->showPosition(e);
}

void OKUKIPOWidget::refreshOrientation()
{
    const OKUQuaternion q = m_worker->orientation();
    m_orientation->setOrientation(QQuaternion(q.w, q.x, q.y, q.z));
}

// ---- Connection ----

void OKUKIPOWidget::tabChanged(int index)
{
    Q_UNUSED(index)
    // The window's own state: the worker's would wait for a running operation.
    if (m_connected)
        return;
    m_worker->setAutoStart(true);
    invokeWorker("attemptConnection");
}

void OKUKIPOWidget::showConnectionPicture()
{
    const QString picture = m_worker->isFirmwareOpen() ? QStringLiteral(":/OKUStudio/Resources/Connected.png")
                                                       : QStringLiteral(":/OKUStudio/Resources/Disconnected.png");
    m_mainWindow->form().firmConnImg_CtrlPanel->setPixmap(QPixmap(picture));
}

void OKUKIPOWidget::firmwareInitialized()
{
    m_mainWindow->statusBar()->showMessage(tr("OKU KIPO connected"), StatusMessageMs);
    m_plots->clear();
    m_connected = m_worker->firmwareVersionNumber() >= CurrentFirmwareVersion;
    enableControls(m_connected);
    if (!m_connected) {
        MessageBoxRequest box;
        box.icon = QMessageBox::Warning;
        box.title = tr("OKU KIPO");
        box.text = tr("Your firmware is outdated! It is important for device reliability to always have the latest "
                      "firmware.");
        box.informativeText = tr("Would you like to update now? This will clear all flight data from the device, "
                                 "and reset the settings to their defaults.\r\nYou can always update later if you "
                                 "would like to first download your existing flight data.");
        box.buttons = QMessageBox::Yes | QMessageBox::Cancel;
        box.defaultButton = QMessageBox::Yes;
        if (Asker::current().message(this, box) == QMessageBox::Yes)
            updateFirmware();
        m_worker->closeDevices();
    }
    showConnectionPicture();
}

void OKUKIPOWidget::firmwareDisconnected()
{
    m_connected = false;
    enableControls(false);
    showConnectionPicture();
}

void OKUKIPOWidget::enableControls(bool enabled)
{
    // An operation cut short by an unplug ends after the disconnection.
    for (QWidget *control : qAsConst(m_controls))
        control->setEnabled(enabled && m_connected);
}

void OKUKIPOWidget::appendConsoleNL(QString s)
{
    QPlainTextEdit *console = m_mainWindow->form().console;
    QScrollBar *scrollBar = console->verticalScrollBar();
    const bool following = scrollBar->value() == scrollBar->maximum();
    console->appendPlainText(s);
    if (following)
        console->moveCursor(QTextCursor::End);
}

// ---- Downloads ----

void OKUKIPOWidget::downloadFlights()
{
    m_mainWindow->statusBar()->showMessage(tr("Downloading flights..."), StatusMessageMs);
    m_downloads->downloadStarted();
    appendConsoleNL(QStringLiteral("Downloading flights...this may take a few minutes."));
    invokeWorker("downloadFlights");
}

void OKUKIPOWidget::loadSelectedFlight()
{
    if (std::shared_ptr<OKUKIPOFlight> flight = m_downloads->selectedFlight())
        m_mainWindow->addFlight(std::move(flight), QStringLiteral("Untitled"));
}

void OKUKIPOWidget::clearFlightData()
{
    MessageBoxRequest box;
    box.icon = QMessageBox::Warning;
    box.title = tr("OKU KIPO");
    box.text = tr("Are you sure?");
    box.informativeText = tr("This will clear all flight data from the device.");
    box.buttons = QMessageBox::Yes | QMessageBox::Cancel;
    box.defaultButton = QMessageBox::Cancel;
    if (Asker::current().message(this, box) != QMessageBox::Yes)
        return;
    invokeWorker("clearFlightData");
    invokeWorker("storeAlmanacs");
}

// ---- Firmware ----

void OKUKIPOWidget::updateFirmware()
{
    m_firmwareUpdate->updateFirmware();
}

void OKUKIPOWidget::checkForUpdates()
{
    m_updateChecker->checkForUpdates(*m_mainWindow->settings());
}
