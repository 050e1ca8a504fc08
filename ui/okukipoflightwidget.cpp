#include "ui/okukipoflightwidget.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "model/flight.h"
#include "model/trace.h"
#include "ui/flightinfopanel.h"
#include "ui/flightinformation.h"
#include "ui/flightmapscripts.h"
#include "ui/flightplots.h"
#include "ui/graphbuilding.h"
#include "ui/qgraph.h"
#include "ui/saveareadialog.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

using okukipo::trace;

namespace {

float lastEventTime(const OKUKIPOFlight &flight)
{
    return flight.events.empty() ? 0.0f : flight.events.back()->time;
}

} // namespace

OKUKIPOFlightWidget::OKUKIPOFlightWidget(std::shared_ptr<OKUKIPOFlight> flight, OKUStudio *owner, QWidget *parent)
    : QWidget(parent), m_flight(std::move(flight)), m_owner(owner)
{
    buildForm();
    const QUrl mapPage = WebServer::url(QStringLiteral("KIPO.html"));
    if (!mapPage.isEmpty())
        m_webView->setUrl(mapPage);

    for (QAction *action : {m_plots->kalmanFilteredAction(), m_plots->mslAction()}) {
        connect(action, &QAction::toggled, this, &OKUKIPOFlightWidget::populateData);
        connect(action, &QAction::toggled, this, &OKUKIPOFlightWidget::updateGraphUI);
    }
    for (QGraph *graph : m_plots->graphs()) {
        graph->view()->setTimelines(m_timelines);
        connect(graph->view(), &QGraphView::timelinesUpdated, this, &OKUKIPOFlightWidget::updateGraphUI);
    }
    connect(m_populateGPSData, &QPushButton::clicked, this, &OKUKIPOFlightWidget::populateGPSData);
    connect(m_populateGPSData, &QPushButton::clicked, this, &OKUKIPOFlightWidget::focusOnTarget);
    connect(m_kalmanFilteredAltitude, &QCheckBox::clicked, this, &OKUKIPOFlightWidget::populateGPSData);
    connect(m_exportKML, &QPushButton::clicked, this, &OKUKIPOFlightWidget::exportKML);
    connect(m_webView, &QWebEngineView::loadFinished, this, &OKUKIPOFlightWidget::browserNavigateComplete);

    trace(QStringLiteral("settings valid: ") + QString::number(int(m_flight->settings.valid)));
    m_settings->setMetric(displayUnits().metric());
    m_settings->setSettings(m_flight->settings);
    populateData();
    // The notes are the flight's from now on: keeping them in step means no
    // later refresh of the form can drop what the user typed.
    connect(m_information->notesEditor(), &QPlainTextEdit::textChanged, this, [this] {
        m_flight->notes = m_information->notesEditor()->toPlainText().toStdString();
        setModified();
    });
    registerMainWindowUIActions();
    QTimer::singleShot(0, this, &OKUKIPOFlightWidget::optimizeAxes);
}

OKUKIPOFlightWidget::~OKUKIPOFlightWidget()
{
    trace(QStringLiteral("Deleting flight widget"));
    trace(QStringLiteral("Deleting slot connections"));
    for (const QMetaObject::Connection &connection : qAsConst(m_actionConnections))
        disconnect(connection);
}

QGraph *OKUKIPOFlightWidget::graph(const QString &objectName) const
{
    return m_plots->graph(objectName);
}

QAction *OKUKIPOFlightWidget::kalmanFilteredAction() const
{
    return m_plots->kalmanFilteredAction();
}

QAction *OKUKIPOFlightWidget::mslAction() const
{
    return m_plots->mslAction();
}

QPlainTextEdit *OKUKIPOFlightWidget::notesEditor() const
{
    return m_information->notesEditor();
}

// ---- Form ----

void OKUKIPOFlightWidget::buildForm()
{
    auto *layout = new QVBoxLayout(this);
    m_flightTabs = new QTabWidget(this);
    m_flightTabs->setObjectName(QStringLiteral("flightTabs"));
    layout->addWidget(m_flightTabs);

    m_plots = new FlightPlots(m_flightTabs);
    m_flightTabs->addTab(buildGpsTab(), tr("GPS"));
    auto *settingsTab = tabPage(QStringLiteral("settingsTab"), m_flightTabs);
    m_settings = new SettingsWidget(settingsTab);
    m_settings->setObjectName(QStringLiteral("settings"));
    // The settings the flight was recorded with: nothing here writes them back.
    m_settings->setEnabled(false);
    (new QVBoxLayout(settingsTab))->addWidget(m_settings);
    m_flightTabs->addTab(settingsTab, tr("Device flight settings"));
    m_information = new FlightInfoPanel(m_flightTabs);
    m_flightTabs->addTab(m_information, tr("Flight info"));
}

QWidget *OKUKIPOFlightWidget::buildGpsTab()
{
    auto *tab = tabPage(QStringLiteral("gpsTab"), m_flightTabs);
    auto *layout = new QVBoxLayout(tab);
    auto *buttons = new QHBoxLayout;
    m_populateGPSData = new QPushButton(tr("Populate data"), tab);
    m_populateGPSData->setObjectName(QStringLiteral("populateGPSData"));
    m_exportKML = new QPushButton(tr("Export Google Earth KML"), tab);
    m_exportKML->setObjectName(QStringLiteral("exportKML"));
    m_kalmanFilteredAltitude = new QCheckBox(tr("Kalman filtered altitude"), tab);
    m_kalmanFilteredAltitude->setObjectName(QStringLiteral("kalmanFilteredAltitude"));
    buttons->addWidget(m_populateGPSData);
    buttons->addWidget(m_exportKML);
    buttons->addWidget(m_kalmanFilteredAltitude);
    auto *saveArea = new QPushButton(tr("Save this area for offline use"), tab);
    saveArea->setObjectName(QStringLiteral("saveAreaForOffline"));
    connect(saveArea, &QPushButton::clicked, this, [this] {
        QVector<SaveAreaDialog::Area> areas;
        if (const std::optional<tiles::GeoBox> track = flightmap::trackBox(*m_flight, 1.0))
            areas.append({ tr("Around the flight's track"), *track });
        SaveAreaDialog::open(this, m_webView->page(), areas);
    });
    buttons->addWidget(saveArea);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_webView = new QWebEngineView(tab);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setUrl(QUrl(QStringLiteral("about:blank")));
    layout->addWidget(m_webView);
    return tab;
}

DisplayUnits OKUKIPOFlightWidget::displayUnits() const
{
    return m_owner ? DisplayUnits::fromSettings(*m_owner->settings()) : DisplayUnits(true);
}

// ---- Populating ----

void OKUKIPOFlightWidget::populateData()
{
    const OKUKIPOFlight &flight = *m_flight;
    trace(QStringLiteral("Ground is valid? ") + QString::number(int(flight.isFlight())) + QStringLiteral(" ground: ")
          + QString::number(double(flight.groundLevel())));
    trace(QStringLiteral("Start flight time: ") + QString::number(double(firstEventTime(flight))));
    trace(QStringLiteral("Launch flight time: ") + QString::number(double(flight.launchTime())));
    trace(QStringLiteral("End flight time: ") + QString::number(double(flight.endTime())));
    const DisplayUnits units = displayUnits();
    m_plots->fill(flight, units);
    optimizeAxes();
    m_plots->hideEmpty();

    const FlightInformation info = flightInformation(flight, padAltitude(flight), units);
    trace(QStringLiteral("Max AGL:") + QString::number(double(flight.apogeeTime())) + QStringLiteral(" - ")
          + info.maxAltitudeAGL);
    m_information->display(info, flight.isFlight(), flight.settings.valid, QString::fromStdString(flight.notes));
}

void OKUKIPOFlightWidget::optimizeAxes()
{
    for (QGraph *graph : m_plots->graphs())
        graph->view()->optimizeAxis();
    updateGraphUI();
}

void OKUKIPOFlightWidget::updateGraphUI()
{
    for (QGraph *graph : m_plots->graphs())
        graph->view()->update();
}

// ---- Map page ----

void OKUKIPOFlightWidget::browserNavigateComplete()
{
}

void OKUKIPOFlightWidget::runMapScript(const QString &script)
{
    emit mapScriptRun(script);
    m_webView->page()->runJavaScript(script);
}

void OKUKIPOFlightWidget::populateGPSData()
{
    runMapScript(flightmap::guarded(flightmap::plotKmlCall(*m_flight, m_kalmanFilteredAltitude->isChecked())));
    runMapScript(flightmap::guarded(flightmap::groundTrackCall(*m_flight)));
    const QString placemark = flightmap::placemarkCall(*m_flight);
    if (!placemark.isEmpty())
        runMapScript(flightmap::guarded(placemark));
}

void OKUKIPOFlightWidget::focusOnTarget()
{
    runMapScript(flightmap::flyToCall());
}

// ---- Editing the time axis ----

void OKUKIPOFlightWidget::setModified()
{
    setWindowModified(true);
    if (m_owner)
        m_owner->updateMenus();
}

void OKUKIPOFlightWidget::flightEdited()
{
    populateData();
    populateGPSData();
    setModified();
}

void OKUKIPOFlightWidget::autoTrimAll()
{
    if (!m_flight->isFlight()) {
        showMessage(this, QMessageBox::Critical, tr("Auto trim"),
                    tr("Can't perform auto trim. The flight data is either not sufficient or this is not an actual flight"));
        return;
    }
    m_flight->zeroTime(m_flight->launchTime());
    const float landing = m_flight->landingTime();
    trace(QStringLiteral("TIME OF LANDING") + QString::number(double(landing)));
    m_flight->trim(-100.0f, landing + 10.0f);
    populateData();
    populateGPSData();
    focusOnTarget();
    setModified();
}

void OKUKIPOFlightWidget::trimTime()
{
    Asker &asker = Asker::current();
    const auto start = asker.number(this, tr("Start time"), tr("Enter start time to trim to"),
                                    firstEventTime(*m_flight), -100000, 100000, 3);
    if (!start)
        return;
    const auto end = asker.number(this, tr("End time"), tr("Enter end time to trim to"), lastEventTime(*m_flight),
                                  -100000, 100000, 3);
    if (!end)
        return;
    m_flight->trim(float(*start), float(*end));
    flightEdited();
}

void OKUKIPOFlightWidget::zeroTime()
{
    const auto start = Asker::current().number(this, tr("Start time"), tr("Enter start time to zero to"),
                                               firstEventTime(*m_flight), -100000, 100000, 3);
    if (!start)
        return;
    m_flight->zeroTime(float(*start));
    flightEdited();
}

// ---- Files ----

QString OKUKIPOFlightWidget::askFileName(const QString &caption, const QString &filter)
{
    return Asker::current().saveFileName(this, caption, QString(), filter);
}

void OKUKIPOFlightWidget::save()
{
    if (windowFilePath().isEmpty())
        saveAs();
    else
        saveTo(windowFilePath());
}

void OKUKIPOFlightWidget::saveAs()
{
    const QString path = askFileName(tr("Save OKU KIPO flight"), tr("OKU KIPO flights (*.kipo)"));
    if (!path.isEmpty())
        saveTo(path);
}

bool OKUKIPOFlightWidget::saveTo(const QString &path)
{
    m_flight->notes = m_information->notesEditor()->toPlainText().toStdString();
    if (!m_flight->save(path)) {
        showMessage(this, QMessageBox::Critical, QString(), tr("Could not save flight"));
        return false;
    }
    showMessage(this, QMessageBox::Information, QString(), tr("Flight saved!"));
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral("[*]"));
    setWindowFilePath(path);
    setWindowModified(false);
    if (m_owner)
        m_owner->updateMenus();
    return true;
}

void OKUKIPOFlightWidget::reportExport(bool exported, const QString &failure, const QString &success)
{
    if (exported)
        showMessage(this, QMessageBox::Information, QString(), success);
    else
        showMessage(this, QMessageBox::Critical, QString(), failure);
}

void OKUKIPOFlightWidget::exportKML()
{
    const QString path = askFileName(tr("Export flight to KML"), tr("KML files (*.kml)"));
    if (!path.isEmpty())
        reportExport(m_flight->exportKML(path), tr("Could not export flight data"), tr("Flight data exported!"));
}

void OKUKIPOFlightWidget::exportCSV()
{
    const QString path = askFileName(tr("Export flight to Excel"), tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        reportExport(m_flight->exportCSV(path), tr("Could not export flight data"), tr("Flight data exported!"));
}

void OKUKIPOFlightWidget::exportEmulationData()
{
    const QString path = askFileName(tr("Export emulation data"), tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        reportExport(m_flight->exportEmulationData(path), tr("Could not export data"), tr("Data exported!"));
}

void OKUKIPOFlightWidget::exportThrustData()
{
    Asker &asker = Asker::current();
    const QString totalTitle = tr("Total rocket mass (including propellent) [kg]");
    const auto totalMass = asker.number(this, totalTitle, totalTitle, 10.0, 0.001, 100000, 3);
    if (!totalMass)
        return;
    const QString propellantTitle = tr("Total propellent mass [kg]");
    const auto propellantMass = asker.number(this, propellantTitle, propellantTitle, 1.0, 0.001, 100000, 3);
    if (!propellantMass)
        return;
    // The rocket must weigh something once the propellant is burnt, or the
    // thrust computed from its acceleration means nothing.
    if (!(*propellantMass < *totalMass)) {
        showMessage(this, QMessageBox::Critical, tr("Export thrust data"),
                    tr("The propellent mass must be less than the total rocket mass"));
        return;
    }
    const QString path = askFileName(tr("Export thrust data"), tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        reportExport(m_flight->exportThrustData(path, *totalMass, *propellantMass), tr("Could not export data"),
                     tr("Data exported!"));
}

// ---- Main window ----

bool OKUKIPOFlightWidget::isCurrentSubWindow() const
{
    const QMdiSubWindow *current = m_owner ? m_owner->form().mdiArea->currentSubWindow() : nullptr;
    return current && current->widget() == this;
}

void OKUKIPOFlightWidget::registerMainWindowUIActions()
{
    if (!m_owner)
        return;
    const Ui::OKUStudioClass &form = m_owner->form();
    const std::pair<QAction *, void (OKUKIPOFlightWidget::*)()> handlers[] = {
        {form.actionSave, &OKUKIPOFlightWidget::save},
        {form.actionSave_As, &OKUKIPOFlightWidget::saveAs},
        {form.actionExport_to_Excel, &OKUKIPOFlightWidget::exportCSV},
        {form.actionTrimTime, &OKUKIPOFlightWidget::trimTime},
        {form.actionZeroTime, &OKUKIPOFlightWidget::zeroTime},
        {form.actionAutoTrimAll, &OKUKIPOFlightWidget::autoTrimAll},
        {form.actionExport_emulation_data, &OKUKIPOFlightWidget::exportEmulationData},
        {form.actionExport_thrust_data, &OKUKIPOFlightWidget::exportThrustData},
    };
    // Every flight window listens to the same actions; only the one in
    // front acts.
    for (const auto &[action, handler] : handlers) {
        m_actionConnections.append(connect(action, &QAction::triggered, this, [this, handler = handler] {
            if (isCurrentSubWindow())
                (this->*handler)();
        }));
    }
}

// ---- Sub-window ----

OKUKIPOFlightSubWindow::OKUKIPOFlightSubWindow(QWidget *parent) : QMdiSubWindow(parent)
{
}

void OKUKIPOFlightSubWindow::closeEvent(QCloseEvent *event)
{
    auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(widget());
    if (!flightWindow || !flightWindow->isWindowModified()) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    MessageBoxRequest request;
    request.icon = QMessageBox::Warning;
    request.text = tr("Flight not saved");
    request.informativeText = tr("Would you like to save this flight?");
    request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    request.defaultButton = QMessageBox::Yes;
    switch (Asker::current().message(this, request)) {
    case QMessageBox::Yes:
        flightWindow->save();
        // A cancelled or failed save must not throw the flight away.
        if (flightWindow->isWindowModified()) {
            event->ignore();
            return;
        }
        break;
    case QMessageBox::No:
        break;
    default:
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}
