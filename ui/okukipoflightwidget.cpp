#include "ui/okukipoflightwidget.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/trace.h"
#include "ui/flightinformation.h"
#include "ui/flightmapscripts.h"
#include "ui/graphbuilding.h"
#include "ui/qgraph.h"
#include "ui/saveareadialog.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <algorithm>
#include <cmath>

using okukipo::trace;

namespace {

void setRange(GraphSeries *curve, double maxX, double maxY)
{
    curve->rangeMaxX = maxX;
    curve->rangeMaxY = maxY;
}

template<std::size_t N>
bool allEmpty(const std::array<GraphSeries *, N> &curves)
{
    return std::all_of(curves.begin(), curves.end(), [](const GraphSeries *curve) { return curve->points().isEmpty(); });
}

QGroupBox *titledGroup(const QString &title, QWidget *parent)
{
    auto *group = new QGroupBox(title, parent);
    new QVBoxLayout(group);
    return group;
}

QWidget *tabPage(const QString &objectName, QWidget *parent)
{
    auto *page = new QWidget(parent);
    page->setObjectName(objectName);
    return page;
}

// The altitude of a pressure reading as the altitude plot shows it.
double pressurePlotValue(float pascals, float groundAltitude, bool aboveSeaLevel, const DisplayUnits &units)
{
    const float altitude = pressureAltitude(pascals) - (aboveSeaLevel ? 0.0f : groundAltitude);
    return units.length(altitude);
}

// The pad's altitude: the first pressure reading of the flight.
float firstPressureAltitude(const OKUKIPOFlight &flight)
{
    for (const OKUEvent *event : flight.events) {
        if (const auto *pressure = eventAs<OKUEvent_Pressure>(event))
            return pressureAltitude(pressure->pressure);
    }
    return 0.0f;
}

float tiltDegrees(const OKUEvent_Orientation &q)
{
    // The angle between the board's Z axis and the vertical.
    const float cosine = q.w * q.w + q.z * q.z - q.y * q.y - q.x * q.x;
    return std::acos(cosine) * 57.29577951308232f;
}

float firstEventTime(const OKUKIPOFlight &flight)
{
    return flight.events.empty() ? 0.0f : flight.events.front()->time;
}

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
    buildPlots();

    for (QGraph *graph : qAsConst(m_graphs)) {
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
    connect(m_flightNotes, &QPlainTextEdit::textChanged, this, [this] {
        m_flight->notes = m_flightNotes->toPlainText().toStdString();
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
    for (QGraph *graph : m_graphs) {
        if (graph->objectName() == objectName)
            return graph;
    }
    return nullptr;
}

// ---- Form ----

void OKUKIPOFlightWidget::buildForm()
{
    auto *layout = new QVBoxLayout(this);
    m_flightTabs = new QTabWidget(this);
    m_flightTabs->setObjectName(QStringLiteral("flightTabs"));
    layout->addWidget(m_flightTabs);

    m_flightTabs->addTab(buildAltitudeTab(), tr("Altitude && Vertical Acceleration"));
    m_flightTabs->addTab(buildLateralTab(), tr("Lateral Acceleration && Vertical Velocity"));
    m_flightTabs->addTab(buildGyroTab(), tr("Gyro && Magneto"));
    m_flightTabs->addTab(buildInputsTab(), tr("Inputs && Power"));
    m_flightTabs->addTab(buildTemperatureTab(), tr("Temperature && RSSI"));
    m_flightTabs->addTab(buildGpsTab(), tr("GPS"));
    auto *settingsTab = tabPage(QStringLiteral("settingsTab"), m_flightTabs);
    m_settings = new SettingsWidget(settingsTab);
    m_settings->setObjectName(QStringLiteral("settings"));
    (new QVBoxLayout(settingsTab))->addWidget(m_settings);
    m_flightTabs->addTab(settingsTab, tr("Device flight settings"));
    m_flightTabs->addTab(buildNotesTab(), tr("Flight info"));
}

QGraph *OKUKIPOFlightWidget::createGraph(const QString &objectName, QWidget *parent)
{
    auto *graph = new QGraph(parent);
    graph->setObjectName(objectName);
    parent->layout()->addWidget(graph);
    m_graphs.append(graph);
    return graph;
}

QWidget *OKUKIPOFlightWidget::buildAltitudeTab()
{
    auto *tab = tabPage(QStringLiteral("altitudeAndVerticalAccelerationTab"), m_flightTabs);
    auto *splitter = new QSplitter(Qt::Vertical, tab);
    (new QVBoxLayout(tab))->addWidget(splitter);
    auto *altitudeFrame = titledFrame(QStringLiteral("altitudeFrame"), tr("AGL Altitude"), splitter);
    createGraph(QStringLiteral("livePressureGraph"), altitudeFrame);
    auto *accelerationFrame = titledFrame(QStringLiteral("verticalAccelerationFrame"),
                                          tr("Vertical Acceleration (Z Axis)"), splitter);
    createGraph(QStringLiteral("liveAccelerationGraph"), accelerationFrame);
    splitter->addWidget(altitudeFrame);
    splitter->addWidget(accelerationFrame);
    return tab;
}

QWidget *OKUKIPOFlightWidget::buildLateralTab()
{
    auto *tab = tabPage(QStringLiteral("lateralAccelerationAndVelocityTab"), m_flightTabs);
    auto *layout = new QVBoxLayout(tab);
    auto *lateral = titledGroup(tr("Lateral Acceleration (X/Y axis)"), tab);
    createGraph(QStringLiteral("latteralAccelerationGraph"), lateral);
    auto *velocity = titledGroup(tr("Vertical Velocity (Kalman)"), tab);
    createGraph(QStringLiteral("verticalVelocityGraph"), velocity);
    layout->addWidget(lateral);
    layout->addWidget(velocity);
    return tab;
}

QWidget *OKUKIPOFlightWidget::buildGyroTab()
{
    m_gyroAndMagTab = tabPage(QStringLiteral("gyroAndMagTab"), m_flightTabs);
    auto *layout = new QVBoxLayout(m_gyroAndMagTab);
    m_gyroFrame = titledFrame(QStringLiteral("gyroFrame"), tr("Gyro"), m_gyroAndMagTab);
    createGraph(QStringLiteral("liveGyroGraph"), m_gyroFrame);
    m_magFrame = titledFrame(QStringLiteral("magFrame"), tr("Magneto"), m_gyroAndMagTab);
    createGraph(QStringLiteral("liveMagGraph"), m_magFrame);
    auto *tiltFrame = titledFrame(QStringLiteral("tiltFrame"), tr("Tilt angle"), m_gyroAndMagTab);
    createGraph(QStringLiteral("liveTiltGraph"), tiltFrame);
    layout->addWidget(m_gyroFrame);
    layout->addWidget(m_magFrame);
    layout->addWidget(tiltFrame);
    return m_gyroAndMagTab;
}

QWidget *OKUKIPOFlightWidget::buildInputsTab()
{
    m_inputsAndPowerTab = tabPage(QStringLiteral("inputsAndPowerTab"), m_flightTabs);
    auto *layout = new QVBoxLayout(m_inputsAndPowerTab);
    m_auxFrame = titledFrame(QStringLiteral("auxFrame"), tr("Inputs"), m_inputsAndPowerTab);
    createGraph(QStringLiteral("liveInputGraph"), m_auxFrame);
    m_batteryFrame = titledFrame(QStringLiteral("batteryFrame"), tr("Power"), m_inputsAndPowerTab);
    createGraph(QStringLiteral("liveBatteryGraph"), m_batteryFrame);
    layout->addWidget(m_auxFrame);
    layout->addWidget(m_batteryFrame);
    return m_inputsAndPowerTab;
}

QWidget *OKUKIPOFlightWidget::buildTemperatureTab()
{
    auto *tab = tabPage(QStringLiteral("tempAndRSSITab"), m_flightTabs);
    auto *layout = new QVBoxLayout(tab);
    auto *temperature = titledGroup(tr("Temperature"), tab);
    createGraph(QStringLiteral("liveTemperatureGraph"), temperature);
    m_rssiFrame = titledFrame(QStringLiteral("RSSIFrame"), tr("RSSI"), tab);
    createGraph(QStringLiteral("RSSIGraph"), m_rssiFrame);
    layout->addWidget(temperature);
    layout->addWidget(m_rssiFrame);
    return tab;
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

QLabel *OKUKIPOFlightWidget::addInformationRow(QWidget *container, const QString &caption, const QString &objectName,
                                               const QString &text)
{
    auto *value = new QLabel(text, container);
    value->setObjectName(objectName);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    static_cast<QFormLayout *>(container->layout())->addRow(caption, value);
    return value;
}

QWidget *OKUKIPOFlightWidget::buildNotesTab()
{
    auto *tab = tabPage(QStringLiteral("notesTab"), m_flightTabs);
    auto *layout = new QHBoxLayout(tab);
    auto *infoFrame = new QFrame(tab);
    infoFrame->setObjectName(QStringLiteral("flightInfoFrame"));
    auto *infoLayout = new QVBoxLayout(infoFrame);

    auto *general = new QWidget(infoFrame);
    new QFormLayout(general);
    addInformationRow(general, tr("Date"), QStringLiteral("dateLabel"));
    addInformationRow(general, tr("Latitude"), QStringLiteral("latLabel"));
    addInformationRow(general, tr("Longitude"), QStringLiteral("longLabel"));

    m_validFlightSpecific = new QWidget(infoFrame);
    m_validFlightSpecific->setObjectName(QStringLiteral("validFlightSpecific"));
    new QFormLayout(m_validFlightSpecific);
    addInformationRow(m_validFlightSpecific, tr("Boost time"), QStringLiteral("boostTimeLabel"));
    addInformationRow(m_validFlightSpecific, tr("Coast time"), QStringLiteral("coastTimeLabel"));
    addInformationRow(m_validFlightSpecific, tr("Total flight time"), QStringLiteral("totalFlightTimeLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max altitude AGL"), QStringLiteral("maxAltitudeAGLLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max velocity"), QStringLiteral("maxVelocityLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max lateral acceleration"), QStringLiteral("maxLatteralAccelerationLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max vertical acceleration"), QStringLiteral("maxVerticalAccelerationLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max x roll"), QStringLiteral("maxXRollLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max y roll"), QStringLiteral("maxYRollLabel"));
    addInformationRow(m_validFlightSpecific, tr("Max z roll"), QStringLiteral("maxZRollLabel"));

    m_validKIPOSpecific = new QWidget(infoFrame);
    m_validKIPOSpecific->setObjectName(QStringLiteral("validKIPOSpecific"));
    new QFormLayout(m_validKIPOSpecific);
    addInformationRow(m_validKIPOSpecific, tr("Pad orientation"), QStringLiteral("orientationLabel"),
                      tr("RF antenna down"));
    addInformationRow(m_validKIPOSpecific, tr("OKU KIPO firmware version"), QStringLiteral("firmwareVersionLabel"));

    infoLayout->addWidget(general);
    infoLayout->addWidget(m_validFlightSpecific);
    infoLayout->addWidget(m_validKIPOSpecific);
    infoLayout->addStretch();

    auto *notes = titledGroup(tr("Notes"), tab);
    m_flightNotes = new QPlainTextEdit(notes);
    m_flightNotes->setObjectName(QStringLiteral("flightNotes"));
    notes->layout()->addWidget(m_flightNotes);
    layout->addWidget(infoFrame);
    layout->addWidget(notes, 1);
    return tab;
}

// ---- Plots ----

void OKUKIPOFlightWidget::buildPlots()
{
    Curves &c = m_curves;
    c.altitude = newCurve(Qt::blue);
    c.verticalVelocity = newCurve(Qt::blue);
    c.verticalAcceleration = newCurve(Qt::red);
    c.lateralX = newCurve(Qt::red, QStringLiteral("X"));
    c.lateralY = newCurve(Qt::green, QStringLiteral("Y"));
    c.gyro = {newCurve(Qt::green, QStringLiteral("X")), newCurve(Qt::blue, QStringLiteral("Y")),
              newCurve(Qt::black, QStringLiteral("Z"))};
    c.magneto = {newCurve(Qt::green, QStringLiteral("X")), newCurve(Qt::blue, QStringLiteral("Y")),
                 newCurve(Qt::black, QStringLiteral("Z"))};
    c.tilt = newCurve(Qt::red);
    c.computerBattery = newCurve(Qt::red, QStringLiteral("Computer"));
    c.ejectionBattery = newCurve(Qt::green, QStringLiteral("Ejection"));
    c.lines = {newCurve(Qt::red, QString::fromLatin1(lineNames[0])), newCurve(Qt::green, QString::fromLatin1(lineNames[1])),
               newCurve(Qt::blue, QString::fromLatin1(lineNames[2])), newCurve(Qt::black, QString::fromLatin1(lineNames[3]))};
    c.temperature = newCurve(Qt::darkMagenta);
    c.rssi = newCurve(Qt::darkMagenta);

    const auto list = [](const auto &curves) { return QList<GraphSeries *>(curves.begin(), curves.end()); };
    m_altitudeAxis = addAxis(graph(QStringLiteral("livePressureGraph")), Qt::blue, {c.altitude}, Tracked::No, Legend::No);
    addAxis(graph(QStringLiteral("verticalVelocityGraph")), Qt::blue, {c.verticalVelocity}, Tracked::No, Legend::No);
    addAxis(graph(QStringLiteral("liveAccelerationGraph")), Qt::red, {c.verticalAcceleration}, Tracked::No, Legend::No);
    addAxis(graph(QStringLiteral("latteralAccelerationGraph")), Qt::red, {c.lateralX, c.lateralY}, Tracked::Yes, Legend::Yes);
    addAxis(graph(QStringLiteral("liveGyroGraph")), Qt::red, list(c.gyro), Tracked::Yes, Legend::Yes);
    addAxis(graph(QStringLiteral("liveMagGraph")), Qt::red, list(c.magneto), Tracked::Yes, Legend::Yes);
    addAxis(graph(QStringLiteral("liveTiltGraph")), Qt::red, {c.tilt}, Tracked::No, Legend::No);
    addAxis(graph(QStringLiteral("liveBatteryGraph")), Qt::red, {c.computerBattery, c.ejectionBattery}, Tracked::Yes, Legend::Yes);
    addAxis(graph(QStringLiteral("liveInputGraph")), Qt::red, list(c.lines), Tracked::Yes, Legend::Yes);
    addAxis(graph(QStringLiteral("liveTemperatureGraph")), Qt::red, {c.temperature}, Tracked::Yes, Legend::No);
    addAxis(graph(QStringLiteral("RSSIGraph")), Qt::red, {c.rssi}, Tracked::Yes, Legend::No);

    QMenu *data = graph(QStringLiteral("livePressureGraph"))->menuBar()->addMenu(tr("Data"));
    m_kalmanFiltered = data->addAction(tr("Kalman filtered"));
    m_msl = data->addAction(tr("MSL"));
    for (QAction *action : {m_kalmanFiltered, m_msl}) {
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, &OKUKIPOFlightWidget::populateData);
        connect(action, &QAction::toggled, this, &OKUKIPOFlightWidget::updateGraphUI);
    }
}

void OKUKIPOFlightWidget::setPlotUnits(const DisplayUnits &units)
{
    const auto setUnit = [this](const char *graphName, const QString &unit) {
        graph(QLatin1String(graphName))->first()->yUnit = unit;
    };
    setUnit("livePressureGraph", units.lengthUnit());
    setUnit("verticalVelocityGraph", units.speedUnit());
    setUnit("liveAccelerationGraph", QStringLiteral("g"));
    setUnit("latteralAccelerationGraph", QStringLiteral("g"));
    setUnit("liveGyroGraph", QStringLiteral("dps"));
    setUnit("liveMagGraph", QStringLiteral("T"));
    setUnit("liveTiltGraph", QStringLiteral("deg."));
    setUnit("liveBatteryGraph", QStringLiteral("V"));
    setUnit("liveInputGraph", QStringLiteral("V"));
    setUnit("liveTemperatureGraph", QStringLiteral("\u00b0") + units.temperatureUnit());
    setUnit("RSSIGraph", QStringLiteral("dBm"));
}

void OKUKIPOFlightWidget::setCurveRanges(const DisplayUnits &units)
{
    // The extents an empty or quiet plot still shows: a kilometre of
    // altitude, 50 m/s, 1 g, 10 V and room temperature.
    setRange(m_curves.altitude, 10, units.length(1000));
    setRange(m_curves.verticalVelocity, 10, units.speed(50));
    for (GraphSeries *curve : {m_curves.verticalAcceleration, m_curves.lateralX, m_curves.lateralY})
        setRange(curve, 10, 1);
    for (GraphSeries *curve : {m_curves.computerBattery, m_curves.ejectionBattery})
        setRange(curve, 10, 10);
    setRange(m_curves.temperature, 10, units.metric() ? 50 : 82);
}

DisplayUnits OKUKIPOFlightWidget::displayUnits() const
{
    return m_owner ? DisplayUnits::fromSettings(*m_owner->settings()) : DisplayUnits(true);
}

// ---- Populating ----

void OKUKIPOFlightWidget::populateData()
{
    for (QGraph *graph : qAsConst(m_graphs)) {
        for (Axis *axis : qAsConst(*graph)) {
            for (GraphSeries *curve : qAsConst(axis->series))
                curve->clear();
        }
    }
    m_altitudeAxis->markers.clear();
    const DisplayUnits units = displayUnits();
    setPlotUnits(units);
    setCurveRanges(units);

    const OKUKIPOFlight &flight = *m_flight;
    trace(QStringLiteral("Ground is valid? ") + QString::number(int(flight.isFlight())) + QStringLiteral(" ground: ")
          + QString::number(double(flight.groundLevel())));
    trace(QStringLiteral("Start flight time: ") + QString::number(double(firstEventTime(flight))));
    trace(QStringLiteral("Launch flight time: ") + QString::number(double(flight.launchTime())));
    trace(QStringLiteral("End flight time: ") + QString::number(double(flight.endTime())));

    const float groundAltitude = firstPressureAltitude(flight);
    fillCurves(groundAltitude, units);
    placeMarkers(groundAltitude, units);
    trace(QStringLiteral("Populating velocity"));
    fillKalmanCurves(groundAltitude, units);

    optimizeAxes();
    hideEmptyPlots();
    showInformation(groundAltitude, units);
}

void OKUKIPOFlightWidget::fillCurves(float groundAltitude, const DisplayUnits &units)
{
    const Curves &c = m_curves;
    const bool kalman = m_kalmanFiltered->isChecked();
    const bool aboveSeaLevel = m_msl->isChecked();
    for (const OKUEvent *event : m_flight->events) {
        const double t = event->time;
        if (const auto *e = eventAs<OKUEvent_AccelZ>(event)) {
            c.verticalAcceleration->addPoint(t, e->accelZ);
        } else if (const auto *e = eventAs<OKUEvent_AccelXY>(event)) {
            c.lateralX->addPoint(t, e->accelX);
            c.lateralY->addPoint(t, e->accelY);
        } else if (const auto *e = eventAs<OKUEvent_GyroXYZ>(event)) {
            c.gyro[0]->addPoint(t, e->x);
            c.gyro[1]->addPoint(t, e->y);
            c.gyro[2]->addPoint(t, e->z);
        } else if (const auto *e = eventAs<OKUEvent_Orientation>(event)) {
            c.tilt->addPoint(t, tiltDegrees(*e));
        } else if (const auto *e = eventAs<OKUEvent_MagXYZ>(event)) {
            c.magneto[0]->addPoint(t, e->x);
            c.magneto[1]->addPoint(t, e->y);
            c.magneto[2]->addPoint(t, e->z);
        } else if (const auto *e = eventAs<OKUEvent_Pressure>(event)) {
            if (!kalman)
                c.altitude->addPoint(t, pressurePlotValue(e->pressure, groundAltitude, aboveSeaLevel, units));
        } else if (const auto *e = eventAs<OKUEvent_Temperature>(event)) {
            c.temperature->addPoint(t, units.temperature(e->temperature));
        } else if (const auto *e = eventAs<OKUEvent_ComputerBattery>(event)) {
            c.computerBattery->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_EjectionBattery>(event)) {
            c.ejectionBattery->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_LineA>(event)) {
            c.lines[0]->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_LineB>(event)) {
            c.lines[1]->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_LineC>(event)) {
            c.lines[2]->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_LineD>(event)) {
            c.lines[3]->addPoint(t, e->voltage);
        } else if (const auto *e = eventAs<OKUEvent_RSSI>(event)) {
            c.rssi->addPoint(t, e->rssi);
        }
    }
}

double OKUKIPOFlightWidget::plottedAltitude(float t, float groundAltitude, const DisplayUnits &units) const
{
    const Series &altitude = m_kalmanFiltered->isChecked() ? m_flight->kalmanAltitude : m_flight->pressureAltitude;
    const float ground = m_msl->isChecked() ? 0.0f : groundAltitude;
    return units.length(double(OKUKIPOFlight::sampleSeries(altitude, t).value) - double(ground));
}

void OKUKIPOFlightWidget::placeMarkers(float groundAltitude, const DisplayUnits &units)
{
    bool launchMarked = false;
    bool apogeeMarked = false;
    std::array<bool, 4> lineMarked{};
    const auto mark = [&](float t, const QString &text) {
        m_altitudeAxis->markers.append({QPointF(t, plottedAltitude(t, groundAltitude, units)), text});
    };
    for (const OKUEvent *event : m_flight->events) {
        const auto *status = eventAs<OKUEvent_Status>(event);
        if (!status)
            continue;
        if (!launchMarked && status->state > 0) {
            launchMarked = true;
            mark(status->time, QStringLiteral("Launch detected"));
        }
        if (!apogeeMarked && status->state >= 3) {
            apogeeMarked = true;
            mark(status->time, QStringLiteral("Apogee detected"));
        }
        for (std::size_t line = 0; line < lineMarked.size(); ++line) {
            if (!lineMarked[line] && status->lineAlert[line]) {
                lineMarked[line] = true;
                mark(status->time, QString::fromLatin1(lineNames[line]) + QStringLiteral(" triggered"));
            }
        }
    }
}

void OKUKIPOFlightWidget::fillKalmanCurves(float groundAltitude, const DisplayUnits &units)
{
    if (m_flight->events.empty())
        return;
    const bool kalman = m_kalmanFiltered->isChecked();
    const double start = firstEventTime(*m_flight);
    const float end = m_flight->endTime();
    // Counted in steps rather than summed so that long flights do not drift.
    for (long step = 0;; ++step) {
        const float t = float(start + double(step) * 0.05);
        if (t > end)
            break;
        m_curves.verticalVelocity->addPoint(t, units.speed(OKUKIPOFlight::sampleSeries(m_flight->kalmanVelocity, t).value));
        if (kalman)
            m_curves.altitude->addPoint(t, plottedAltitude(t, groundAltitude, units));
    }
}

void OKUKIPOFlightWidget::hideEmptyPlots()
{
    const bool gyroEmpty = allEmpty(m_curves.gyro);
    const bool magnetoEmpty = allEmpty(m_curves.magneto);
    const bool linesEmpty = allEmpty(m_curves.lines);
    const bool batteryEmpty = allEmpty(std::array<GraphSeries *, 2>{m_curves.computerBattery, m_curves.ejectionBattery});
    m_rssiFrame->setHidden(m_curves.rssi->points().isEmpty());
    m_gyroFrame->setHidden(gyroEmpty);
    m_magFrame->setHidden(magnetoEmpty);
    m_auxFrame->setHidden(linesEmpty);
    m_batteryFrame->setHidden(batteryEmpty);
    if (gyroEmpty && magnetoEmpty)
        m_flightTabs->removeTab(m_flightTabs->indexOf(m_gyroAndMagTab));
    if (linesEmpty && batteryEmpty)
        m_flightTabs->removeTab(m_flightTabs->indexOf(m_inputsAndPowerTab));
}

void OKUKIPOFlightWidget::showInformation(float groundAltitude, const DisplayUnits &units)
{
    const FlightInformation info = flightInformation(*m_flight, groundAltitude, units);
    const auto show = [this](const char *labelName, const QString &text) {
        findChild<QLabel *>(QLatin1String(labelName))->setText(text);
    };
    show("dateLabel", info.date);
    show("latLabel", info.latitude);
    show("longLabel", info.longitude);
    show("boostTimeLabel", info.boostTime);
    show("coastTimeLabel", info.coastTime);
    show("totalFlightTimeLabel", info.totalFlightTime);
    show("maxAltitudeAGLLabel", info.maxAltitudeAGL);
    show("maxVelocityLabel", info.maxVelocity);
    show("maxLatteralAccelerationLabel", info.maxLateralAcceleration);
    show("maxVerticalAccelerationLabel", info.maxVerticalAcceleration);
    show("maxXRollLabel", info.maxXRoll);
    show("maxYRollLabel", info.maxYRoll);
    show("maxZRollLabel", info.maxZRoll);
    show("orientationLabel", info.padInverted ? tr("RF antenna up (inverted)") : tr("RF antenna down"));
    show("firmwareVersionLabel", info.firmwareVersion);
    trace(QStringLiteral("Max AGL:") + QString::number(double(m_flight->apogeeTime())) + QStringLiteral(" - ")
          + info.maxAltitudeAGL);

    const QString notes = QString::fromStdString(m_flight->notes);
    if (m_flightNotes->toPlainText() != notes)
        m_flightNotes->setPlainText(notes);
    m_validFlightSpecific->setEnabled(m_flight->isFlight());
    m_validKIPOSpecific->setEnabled(m_flight->settings.valid);
}

void OKUKIPOFlightWidget::optimizeAxes()
{
    for (QGraph *graph : qAsConst(m_graphs))
        graph->view()->optimizeAxis();
    updateGraphUI();
}

void OKUKIPOFlightWidget::updateGraphUI()
{
    for (QGraph *graph : qAsConst(m_graphs))
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
    m_flight->notes = m_flightNotes->toPlainText().toStdString();
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
        flightWindow->saveAs();
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
