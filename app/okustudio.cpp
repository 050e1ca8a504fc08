#include "app/okustudio.h"

#include "app/applicationsettingswidget.h"
#include "app/asker.h"
#include "app/studiowindows.h"
#include "device/hidtransport.h"
#include "model/flight.h"
#include "webserver/tilecache.h"
#include "webserver/tileservice.h"
#include "webserver/webserver.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char AboutText[] = "OKU KIPO Studio project\n\n"
                         "OKU KIPO software version 2.20\n\n"
                         "https://okukipo.example.org";

// "settings.ini" lives in the working directory when the program runs in
// its own directory; an installed program, started from elsewhere, keeps it
// in the user's configuration folder instead of wherever it was started.
QString applicationSettingsPath()
{
    const QString bareName = QStringLiteral("settings.ini");
    if (QDir::current() == QDir(QCoreApplication::applicationDirPath()))
        return bareName;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(bareName);
}

} // namespace

// Outside any namespace, as Q_INIT_RESOURCE requires.  The resources live in
// a static library, whose initialiser the linker would otherwise drop.
static void initialiseResources()
{
    Q_INIT_RESOURCE(okustudio);
}

OKUStudio::OKUStudio(StudioWindowFactory &windows, const QString &fileName, QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , m_windows(windows)
    , m_settings(applicationSettingsPath(), QSettings::IniFormat)
{
    initialiseResources();
    ui.setupUi(this);
    if (WebServer *server = WebServer::instance())
        server->tiles().configure(tiles::settingsFrom(m_settings));
    connect(ui.actionExit, &QAction::triggered, this, &OKUStudio::close);
    connect(ui.actionOpen, &QAction::triggered, this, qOverload<>(&OKUStudio::loadFlight));
    connect(ui.actionCompare_flights, &QAction::triggered, this, &OKUStudio::compareFlights);
    connect(ui.actionCompare_with, &QAction::triggered, this, &OKUStudio::compareWithFlight);
    connect(ui.actionOKU_KIPO_Interface, &QAction::triggered, this, &OKUStudio::openOKUKIPOInterface);
    connect(ui.actionAbout, &QAction::triggered, this, &OKUStudio::showAbout);
    connect(ui.actionSettings, &QAction::triggered, this, &OKUStudio::showSettings);
    connect(ui.mdiArea, &QMdiArea::subWindowActivated, this, &OKUStudio::tabChanged);
    updateMenus();

    // USB devices are announced by the hidapi transport's udev monitor, the
    // virtual flight computer announces its own plugging; either may do so
    // from a worker thread, so the reactions are queued to this one.
    const HIDTransport *transport = HIDTransport::current();
    connect(transport, &HIDTransport::deviceArrived, this, &OKUStudio::deviceArrived);
    connect(transport, &HIDTransport::deviceRemoved, this, &OKUStudio::deviceRemoved);

    showMaximized();
    if (!fileName.isEmpty())
        loadFlight(fileName);
    else
        openOKUKIPOInterface();
}

OKUStudio::~OKUStudio()
{
    // The windows go first: they may still use the settings, and the device
    // console's sub-window clears m_deviceWindow as it goes.
    qDeleteAll(ui.mdiArea->subWindowList());
}

void OKUStudio::closeEvent(QCloseEvent *event)
{
    // An unsaved flight may be the only copy, and a firmware update must not
    // be cut off: each window decides for itself, the first refusal ends it.
    const QList<QMdiSubWindow *> windows = ui.mdiArea->subWindowList();
    for (QMdiSubWindow *window : windows) {
        if (!window->close()) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

void OKUStudio::deviceArrived(const QString &path)
{
    Q_UNUSED(path)
    if (!m_deviceWindow)
        return;
    m_deviceWindow->attemptConnection();
    m_deviceWindow->reportFirmwareState();
}

void OKUStudio::deviceRemoved(const QString &path)
{
    if (!m_deviceWindow)
        return;
    m_deviceWindow->closeRemovedDevice(path);
    m_deviceWindow->reportFirmwareState();
}

void OKUStudio::tabChanged(QMdiSubWindow *window)
{
    Q_UNUSED(window)
    updateMenus();
}

void OKUStudio::saveFlight()
{
    if (FlightWindow *window = activeFlightWindow())
        window->save();
}

void OKUStudio::saveFlightAs()
{
    if (FlightWindow *window = activeFlightWindow())
        window->saveAs();
}

void OKUStudio::loadFlight()
{
    const QString fileName = Asker::current().openFileName(this, tr("Open OKU KIPO flight"), QString(),
                                                           tr("OKU KIPO flights (*.kipo)"));
    if (fileName.isEmpty())
        return;
    const QList<QMdiSubWindow *> windows = ui.mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *window : windows) {
        if (window->widget() && window->widget()->windowFilePath() == fileName) {
            ui.mdiArea->setActiveSubWindow(window);
            return;
        }
    }
    loadFlight(fileName);
}

void OKUStudio::loadFlight(QString fileName)
{
    auto flight = std::make_shared<OKUKIPOFlight>();
    if (!flight->load(fileName)) {
        showMessage(this, QMessageBox::Critical, tr("Could not open flight"), fileName);
        return;
    }
    statusBar()->showMessage(tr("Loading flight: ") + fileName);
    showFlight(std::move(flight), QFileInfo(fileName).fileName(), fileName);
}

void OKUStudio::addFlight(std::shared_ptr<OKUKIPOFlight> flight, QString title)
{
    flight->processFlight();
    statusBar()->showMessage(tr("Loading flight: ") + title);
    // A flight that exists only in memory starts out unsaved.
    showFlight(std::move(flight), title, QString());
}

void OKUStudio::showFlight(std::shared_ptr<OKUKIPOFlight> flight, const QString &title, const QString &filePath)
{
    FlightWindow *flightWindow = m_windows.createFlightWindow(std::move(flight), this);
    QWidget *widget = widgetOf(flightWindow);
    widget->setWindowTitle(title + QStringLiteral("[*]"));
    widget->setWindowFilePath(filePath);
    widget->setWindowModified(filePath.isEmpty());

    QMdiSubWindow *subWindow = m_windows.createFlightSubWindow(flightWindow);
    subWindow->setWidget(widget);
    subWindow->setAttribute(Qt::WA_DeleteOnClose);
    ui.mdiArea->addSubWindow(subWindow);
    subWindow->show();
    statusBar()->showMessage(tr("Flight loaded"), 2000);
    widget->setFocus();
}

void OKUStudio::openOKUKIPOInterface()
{
    if (m_deviceWindow)
        return;
    statusBar()->showMessage(tr("Loading OKU KIPO interface..."));
    m_deviceWindow = m_windows.createDeviceWindow(this);
    QWidget *widget = widgetOf(m_deviceWindow);

    auto *subWindow = new OKUKIPOSubWindow(&m_deviceWindow);
    subWindow->setWidget(widget);
    subWindow->setAttribute(Qt::WA_DeleteOnClose);
    ui.mdiArea->addSubWindow(subWindow);
    ui.mdiArea->setActiveSubWindow(subWindow);
    subWindow->showMaximized();
    widget->setFocus();
    statusBar()->showMessage(tr("Interface loaded."), 2000);
}

void OKUStudio::compareFlights()
{
    const QStringList paths = Asker::current().openFileNames(this, tr("Compare flights"), QString(),
                                                             tr("Flights and simulations (*.kipo *.csv)"));
    if (!paths.isEmpty())
        openComparison(nullptr, paths);
}

void OKUStudio::compareWithFlight()
{
    FlightWindow *flightWindow = activeFlightWindow();
    if (!flightWindow)
        return;
    const QStringList paths = Asker::current().openFileNames(this, tr("Compare with"), QString(),
                                                             tr("Flights and simulations (*.kipo *.csv)"));
    if (!paths.isEmpty())
        openComparison(flightWindow, paths);
}

void OKUStudio::openComparison(FlightWindow *flightWindow, const QStringList &paths)
{
    ComparisonWindow *comparison = m_windows.createComparisonWindow(this, flightWindow);
    QWidget *widget = widgetOf(comparison);
    // A file that cannot be read opens nothing; the window said why.
    if (!widget || !comparison->addFiles(paths)) {
        delete widget;
        return;
    }
    QMdiSubWindow *subWindow = ui.mdiArea->addSubWindow(widget);
    subWindow->setAttribute(Qt::WA_DeleteOnClose);
    subWindow->show();
}

void OKUStudio::showAbout()
{
    Asker::current().about(this, tr("About"), QString::fromLatin1(AboutText));
}

void OKUStudio::showSettings()
{
    ApplicationSettingsWidget dialog(this, &m_settings);
    Asker::current().exec(dialog);
}

void OKUStudio::updateMenus()
{
    const FlightWindow *flightWindow = activeFlightWindow();
    const bool hasFlight = flightWindow != nullptr;
    ui.menuFlight->setEnabled(hasFlight);
    ui.actionSave->setEnabled(hasFlight && ui.mdiArea->currentSubWindow()->widget()->isWindowModified());
    ui.actionSave_As->setEnabled(hasFlight);
    ui.actionExport_to_Excel->setEnabled(hasFlight);
    ui.actionExport_emulation_data->setEnabled(hasFlight);
    ui.actionExport_thrust_data->setEnabled(hasFlight);
}

FlightWindow *OKUStudio::activeFlightWindow() const
{
    const QMdiSubWindow *current = ui.mdiArea->currentSubWindow();
    return current ? dynamic_cast<FlightWindow *>(current->widget()) : nullptr;
}

OKUKIPOSubWindow::OKUKIPOSubWindow(DeviceWindow **deviceWindow)
    : m_deviceWindow(deviceWindow)
{
}

OKUKIPOSubWindow::~OKUKIPOSubWindow()
{
    *m_deviceWindow = nullptr;
}
