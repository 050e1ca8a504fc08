#include "ui/okukipowidget.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "device/okukipointerface.h"
#include "device/workerthread.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/trace.h"
#include "ui/flightmapscripts.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/livegps.h"
#include "ui/orientationwidget.h"
#include "ui/qgraph.h"
#include "ui/saveareadialog.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <cmath>

using okukipo::trace;

namespace {

constexpr int LiveReadIntervalMs = 10;
constexpr int OrientationIntervalMs = 5;
// A live curve starts again once it holds more points than this, so that
// drawing stays cheap however long the device is connected.
constexpr int LiveCurveLimit = 1000;
constexpr quint16 CurrentFirmwareVersion = 0x0220;
constexpr int StatusMessageMs = 2000;

constexpr char axisNames[][2] = {"X", "Y", "Z"};

QPushButton *button(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *pushButton = new QPushButton(text, parent);
    pushButton->setObjectName(objectName);
    parent->layout()->addWidget(pushButton);
    return pushButton;
}

template<class Container>
Container *named(const QString &objectName, const QString &title, QWidget *parent)
{
    auto *container = new Container(parent);
    container->setObjectName(objectName);
    container->setTitle(title);
    return container;
}

QString numberOrNa(std::optional<double> value)
{
    return value ? QString::number(*value, 'g', 6) : QStringLiteral("n/a");
}

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
    , m_kmlFilePath(livegps::kmlFilePath())
{
    buildForm();
    m_webView->setUrl(WebServer::url(QStringLiteral("KIPO.html")));
    m_network = new QNetworkAccessManager(this);
    buildPlots();
    m_controls = {findChild<QWidget *>(QStringLiteral("readSettings")),
                  findChild<QWidget *>(QStringLiteral("writeSettings")),
                  findChild<QWidget *>(QStringLiteral("resetSettings")),
                  findChild<QWidget *>(QStringLiteral("calibrationFrame")),
                  findChild<QWidget *>(QStringLiteral("downloadFlights")),
                  findChild<QWidget *>(QStringLiteral("clearDevice")),
                  findChild<QWidget *>(QStringLiteral("gpsControlFrame")),
                  findChild<QWidget *>(QStringLiteral("lineControlFrame")),
                  findChild<QWidget *>(QStringLiteral("loadSelectedFlight")),
                  findChild<QWidget *>(QStringLiteral("emulateLaunch"))};
    enableControls(false);

    m_workerThread = std::make_unique<OKUKIPOWorkerThread>(this);
    m_worker = m_workerThread->worker();
    wireWorker();
    wireControls();

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
    // A pending update check ends here, not in a half-destroyed window.
    for (QNetworkReply *reply : m_network->findChildren<QNetworkReply *>())
        disconnect(reply, nullptr, this, nullptr);
    m_liveReadTimer.stop();
    m_orientationTimer.stop();
    m_workerThread.reset();
    m_flasher.disconnect(this);
}

void OKUKIPOWidget::invokeWorker(const char *slot)
{
    QMetaObject::invokeMethod(m_worker, slot, Qt::QueuedConnection);
}

// ---- Form ----

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
    m_mainTabs->addTab(buildControlTab(), tr("Control Panel"));
    m_mainTabs->addTab(buildLiveTab(), tr("Live Data"));
    m_mainTabs->addTab(buildDownloadTab(), tr("Download Data"));
    m_mainTabs->addTab(buildSettingsTab(), tr("Settings"));
}

QWidget *OKUKIPOWidget::buildControlTab()
{
    auto *tab = new QWidget(m_mainTabs);
    tab->setObjectName(QStringLiteral("controlTab"));
    auto *tabLayout = new QVBoxLayout(tab);

    auto *diagnostics = named<QGroupBox>(QStringLiteral("groupBox_4"), tr("Control / Diagnostics"), tab);
    auto *diagnosticsLayout = new QHBoxLayout(diagnostics);
    tabLayout->addWidget(diagnostics);

    auto *lines = titledFrame(QStringLiteral("lineControlFrame"), tr("High current output lines"), diagnostics);
    for (int line = 0; line < 4; ++line) {
        const QString letter = QChar('A' + line);
        button(QStringLiteral("fireLine") + letter, tr("Fire Line ") + letter, lines);
    }
    diagnosticsLayout->addWidget(lines);

    auto *gps = titledFrame(QStringLiteral("gpsControlFrame"), tr("GPS"), diagnostics);
    button(QStringLiteral("viewStoredAlmanacs"), tr("View stored almanac space vehicles"), gps);
    button(QStringLiteral("storeAlmanacs"), tr("Store current space vehicle almanacs"), gps);
    button(QStringLiteral("uploadAlmanacs"), tr("Upload stored almanacs to GPS receiver"), gps);
    button(QStringLiteral("clearSVData"), tr("Clear stored space vehicle data"), gps);
    diagnosticsLayout->addWidget(gps);

    auto *calibration = titledFrame(QStringLiteral("calibrationFrame"), tr("Calibration"), diagnostics);
    calibration->layout()->addWidget(new QLabel(tr("Aproximate ground altitude"), calibration));
    m_calibrationAltitude = new QDoubleSpinBox(calibration);
    m_calibrationAltitude->setObjectName(QStringLiteral("calibrationAltitude"));
    m_calibrationAltitude->setSuffix(QStringLiteral(" m"));
    m_calibrationAltitude->setDecimals(1);
    m_calibrationAltitude->setRange(-50.0, 10000.0);
    calibration->layout()->addWidget(m_calibrationAltitude);
    button(QStringLiteral("calibrateAltitudefromGPS"), tr("From GPS"), calibration);
    button(QStringLiteral("calibratePressure"), tr("Calibrate pressure altitude"), calibration);
    diagnosticsLayout->addWidget(calibration);

    auto *emulation = named<QGroupBox>(QStringLiteral("groupBox_3"), tr("Emulation"), tab);
    new QHBoxLayout(emulation);
    button(QStringLiteral("emulateLaunch"), tr("Emulate launch..."), emulation);
    m_stopEmulation = button(QStringLiteral("stopEmulation"), tr("Stop emulation"), emulation);
    m_stopEmulation->setEnabled(false);
    tabLayout->addWidget(emulation);

    auto *firmware = named<QGroupBox>(QStringLiteral("groupBox_5"), tr("Firmware update"), tab);
    new QHBoxLayout(firmware);
    m_updateFirmware = button(QStringLiteral("updateFirmware"), tr("Update firmware"), firmware);
    tabLayout->addWidget(firmware);
    tabLayout->addStretch();
    return tab;
}

QGraph *OKUKIPOWidget::createGraph(const QString &objectName, const QString &title, QWidget *container)
{
    auto *group = named<QGroupBox>(objectName + QStringLiteral("Group"), title, container);
    auto *graph = new QGraph(group);
    graph->setObjectName(objectName);
    (new QVBoxLayout(group))->addWidget(graph);
    container->layout()->addWidget(group);
    m_graphs.append(graph);
    return graph;
}

QWidget *OKUKIPOWidget::buildLiveTab()
{
    auto *tab = new QWidget(m_mainTabs);
    tab->setObjectName(QStringLiteral("liveTab"));
    auto *liveTabs = new QTabWidget(tab);
    liveTabs->setObjectName(QStringLiteral("liveTabs"));
    (new QVBoxLayout(tab))->addWidget(liveTabs);

    const auto addPlotPage = [&](const QString &title, const QString &first, const QString &firstTitle,
                                 const QString &second, const QString &secondTitle) {
        auto *page = new QWidget(liveTabs);
        new QVBoxLayout(page);
        createGraph(first, firstTitle, page);
        createGraph(second, secondTitle, page);
        liveTabs->addTab(page, title);
    };
    addPlotPage(tr("Altitude && Acceleration"), QStringLiteral("liveAltitudeGraph"), tr("MSL Altitude"),
                QStringLiteral("liveAccelerationGraph"), tr("Acceleration"));
    addPlotPage(tr("Gyro && Magneto"), QStringLiteral("liveGyroGraph"), tr("Gyro"), QStringLiteral("liveMagGraph"),
                tr("Magneto"));
    addPlotPage(tr("Inputs && Power"), QStringLiteral("liveInputGraph"), tr("Inputs"),
                QStringLiteral("liveBatteryGraph"), tr("Battery Voltages"));
    addPlotPage(tr("Pressure && Temperature"), QStringLiteral("liveTemperatureGraph"), tr("Temperature"),
                QStringLiteral("livePressureGraph"), tr("Pressure"));
    liveTabs->addTab(buildGpsTab(), tr("GPS"));

    m_orientation = new OrientationWidget(liveTabs);
    m_orientation->setObjectName(QStringLiteral("orientation"));
    liveTabs->addTab(m_orientation, tr("Orientation"));
    return tab;
}

QWidget *OKUKIPOWidget::buildGpsTab()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *fix = named<QGroupBox>(QStringLiteral("gpsFixGroup"), tr("GPS fix solution"), page);
    auto *grid = new QGridLayout(fix);
    const auto addRow = [&](const QString &caption, const QString &objectName, const QString &initial) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(caption, fix), row, 0);
        auto *value = new QLabel(initial, fix);
        value->setObjectName(objectName);
        grid->addWidget(value, row, 1);
        return value;
    };
    const QString zero = QStringLiteral("0");
    m_gpsTime = addRow(tr("GPS time:"), QStringLiteral("liveGPSTimeLabel"), zero);
    m_latitude = addRow(tr("Lat:"), QStringLiteral("liveLatLabel"), zero);
    m_longitude = addRow(tr("Long:"), QStringLiteral("liveLongLabel"), zero);
    m_gpsAltitude = addRow(tr("MSL Altitude:"), QStringLiteral("liveGPSMSLLabel"), zero);
    m_satellitesUsed = addRow(tr("Satellites used in solution:"), QStringLiteral("satUsedLabel"), zero);
    m_fix = addRow(tr("GPS fix:"), QStringLiteral("gpsFixLabel"), tr("None"));
    layout->addWidget(fix);

    auto *focus = new QPushButton(tr("Focus on target"), page);
    focus->setObjectName(QStringLiteral("focusOnTarget"));
    connect(focus, &QPushButton::clicked, this, &OKUKIPOWidget::focusOnTarget);
    layout->addWidget(focus);
    auto *saveArea = new QPushButton(tr("Save this area for offline use"), page);
    saveArea->setObjectName(QStringLiteral("saveAreaForOffline"));
    connect(saveArea, &QPushButton::clicked, this, [this] {
        SaveAreaDialog::open(this, m_webView->page(),
                             m_lastPosition.isNull() ? QVector<SaveAreaDialog::Area>()
                                                     : SaveAreaDialog::areasAround(m_lastPosition.x(), m_lastPosition.y()));
    });
    layout->addWidget(saveArea);

    m_webView = new QWebEngineView(page);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setUrl(QUrl(QStringLiteral("about:blank")));
    connect(m_webView, &QWebEngineView::urlChanged, this,
            [this](const QUrl &url) { browserNavigateComplete(url.toString()); });
    layout->addWidget(m_webView, 1);

    m_connectedSats = new QProgressBar(page);
    m_connectedSats->setObjectName(QStringLiteral("connectedSatsWidget"));
    m_connectedSats->setRange(0, 32);
    m_connectedSats->setValue(0);
    layout->addWidget(m_connectedSats);
    return page;
}

QWidget *OKUKIPOWidget::buildDownloadTab()
{
    auto *tab = new QWidget(m_mainTabs);
    tab->setObjectName(QStringLiteral("downloadTab"));
    auto *layout = new QVBoxLayout(tab);

    auto *flights = named<QGroupBox>(QStringLiteral("flightsGroup"), tr("Flights"), tab);
    new QVBoxLayout(flights);
    m_flightsTable = new QTableWidget(0, 5, flights);
    m_flightsTable->setObjectName(QStringLiteral("flightsTable"));
    m_flightsTable->setHorizontalHeaderLabels({tr("Date [local]"), tr("Latitude [deg]"), tr("Longitude [deg]"),
                                              tr("Flight duration [s]"), tr("Total data time [s]")});
    m_flightsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_flightsTable->setAlternatingRowColors(true);
    m_flightsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_flightsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_flightsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    flights->layout()->addWidget(m_flightsTable);
    m_downloadProgress = new QProgressBar(flights);
    m_downloadProgress->setObjectName(QStringLiteral("downloadProgress"));
    m_downloadProgress->setValue(0);
    flights->layout()->addWidget(m_downloadProgress);
    button(QStringLiteral("downloadFlights"), tr("Download Flights"), flights);
    button(QStringLiteral("clearDevice"), tr("Clear Device"), flights);
    layout->addWidget(flights);

    auto *preview = new QWidget(tab);
    new QVBoxLayout(preview);
    m_previewGraph = createGraph(QStringLiteral("altitudePreviewGraph"), tr("Altitude Preview"), preview);
    button(QStringLiteral("loadSelectedFlight"), tr("Load selected flight"), preview);
    layout->addWidget(preview);
    return tab;
}

QWidget *OKUKIPOWidget::buildSettingsTab()
{
    auto *tab = new QWidget(m_mainTabs);
    tab->setObjectName(QStringLiteral("settingsTab"));
    auto *group = named<QGroupBox>(QStringLiteral("deviceSettingsGroup"), tr("Device Settings"), tab);
    (new QVBoxLayout(tab))->addWidget(group);
    auto *layout = new QVBoxLayout(group);
    m_settings = new SettingsWidget(group);
    m_settings->setObjectName(QStringLiteral("settings"));
    m_settings->setMetric(m_metric);
    layout->addWidget(m_settings, 1);
    auto *buttons = new QWidget(group);
    new QHBoxLayout(buttons);
    button(QStringLiteral("readSettings"), tr("Read Settings"), buttons);
    button(QStringLiteral("writeSettings"), tr("Write Settings"), buttons);
    button(QStringLiteral("resetSettings"), tr("Reset Settings"), buttons);
    layout->addWidget(buttons);
    return tab;
}

QGraph *OKUKIPOWidget::graph(const QString &objectName) const
{
    for (QGraph *graph : m_graphs) {
        if (graph->objectName() == objectName)
            return graph;
    }
    return nullptr;
}

void OKUKIPOWidget::buildPlots()
{
    const DisplayUnits units(m_metric);
    const auto single = [&](LiveCurve &curve, const QString &graphName, const QString &unit) {
        curve.graph = graph(graphName);
        curve.series = newCurve(Qt::blue);
        addAxis(curve.graph, Qt::red, {curve.series}, Tracked::Yes, Legend::No)->yUnit = unit;
    };
    const auto several = [&](LiveCurve *curves, int count, const QString &graphName, const QString &unit,
                             const QStringList &names) {
        static const QColor colours[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::magenta};
        QList<GraphSeries *> series;
        for (int i = 0; i < count; ++i) {
            curves[i].graph = graph(graphName);
            curves[i].series = newCurve(colours[i], names.at(i));
            series.append(curves[i].series);
        }
        addAxis(graph(graphName), Qt::red, series, Tracked::Yes, Legend::Yes)->yUnit = unit;
    };
    const QStringList xyz{axisNames[0], axisNames[1], axisNames[2]};

    single(m_altitude, QStringLiteral("liveAltitudeGraph"), units.lengthUnit());
    single(m_pressure, QStringLiteral("livePressureGraph"), units.pressureUnit());
    several(m_accel, 3, QStringLiteral("liveAccelerationGraph"), QStringLiteral("g"), xyz);
    several(m_gyro, 3, QStringLiteral("liveGyroGraph"), QStringLiteral("dps"), xyz);
    several(m_mag, 3, QStringLiteral("liveMagGraph"), QStringLiteral("T"), xyz);
    LiveCurve batteries[2];
    several(batteries, 2, QStringLiteral("liveBatteryGraph"), QStringLiteral("V"),
            {QStringLiteral("Computer"), QStringLiteral("Ejection")});
    m_computerBattery = batteries[0];
    m_ejectionBattery = batteries[1];
    several(m_lines, 4, QStringLiteral("liveInputGraph"), QStringLiteral("V"),
            {lineNames[0], lineNames[1], lineNames[2], lineNames[3]});
    for (const LiveCurve &line : m_lines)
        line.series->pen.setWidth(2);
    single(m_temperature, QStringLiteral("liveTemperatureGraph"), units.temperatureUnit());

    m_preview = newCurve(Qt::blue);
    addAxis(m_previewGraph, Qt::red, {m_preview}, Tracked::No, Legend::No)->yUnit = units.lengthUnit();

    // One time axis for every live plot: a timeline placed on one shows on all.
    const auto timelines = graph(QStringLiteral("liveAltitudeGraph"))->view()->timelines();
    for (QGraph *plot : qAsConst(m_graphs)) {
        if (plot != m_previewGraph)
            plot->view()->setTimelines(timelines);
    }
}

// ---- Wiring ----

void OKUKIPOWidget::wireWorker()
{
    OKUKIPOInterface *w = m_worker;
    connect(w, &OKUKIPOInterface::accelZEventRead, this, &OKUKIPOWidget::accelZEventRead);
    connect(w, &OKUKIPOInterface::textEventRead, this, &OKUKIPOWidget::textEventRead);
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
    connect(w, &OKUKIPOInterface::settingsRead, this, &OKUKIPOWidget::settingsRead);
    connect(w, &OKUKIPOInterface::emulationComplete, this, &OKUKIPOWidget::emulationComplete);
    connect(w, &OKUKIPOInterface::flightDataCleared, this, &OKUKIPOWidget::flightDataCleared);
    connect(w, &OKUKIPOInterface::flightDownloadProgress, this, &OKUKIPOWidget::flightDownloadProgress);
    connect(w, &OKUKIPOInterface::firmwareInitialized, this, &OKUKIPOWidget::firmwareInitialized);
    connect(w, &OKUKIPOInterface::firmwareDisconnected, this, &OKUKIPOWidget::firmwareDisconnected);
    connect(w, &OKUKIPOInterface::flightDownloaded, this,
            [this](std::shared_ptr<OKUKIPOFlight> flight) { flightDownloaded(std::move(flight)); });
    // Settings are read at every connection.
    connect(w, &OKUKIPOInterface::firmwareInitialized, w, &OKUKIPOInterface::readDeviceSettings);
}

void OKUKIPOWidget::wireControls()
{
    OKUKIPOInterface *w = m_worker;
    const auto clicked = [this](const char *objectName) {
        return findChild<QPushButton *>(QLatin1String(objectName));
    };
    connect(clicked("readSettings"), &QPushButton::clicked, w, &OKUKIPOInterface::readDeviceSettings);
    connect(clicked("resetSettings"), &QPushButton::clicked, w, &OKUKIPOInterface::resetDeviceSettings);
    connect(clicked("writeSettings"), &QPushButton::clicked, this, &OKUKIPOWidget::writeDeviceSettings);
    connect(clicked("viewStoredAlmanacs"), &QPushButton::clicked, w, &OKUKIPOInterface::viewStoredAlmanacs);
    connect(clicked("storeAlmanacs"), &QPushButton::clicked, w, &OKUKIPOInterface::storeAlmanacs);
    connect(clicked("uploadAlmanacs"), &QPushButton::clicked, w, &OKUKIPOInterface::uploadAlmanacs);
    connect(clicked("clearSVData"), &QPushButton::clicked, w, &OKUKIPOInterface::clearSVData);
    for (int line = 0; line < 4; ++line) {
        const QString name = QStringLiteral("fireLine") + QChar('A' + line);
        connect(findChild<QPushButton *>(name), &QPushButton::clicked, w, [w, line] { w->fireLine(line); });
    }
    connect(clicked("calibrateAltitudefromGPS"), &QPushButton::clicked, this, &OKUKIPOWidget::calibrateAltitudefromGPS);
    connect(clicked("calibratePressure"), &QPushButton::clicked, this, &OKUKIPOWidget::calibratePressure);
    connect(clicked("emulateLaunch"), &QPushButton::clicked, this, &OKUKIPOWidget::emulateLaunch);
    connect(m_stopEmulation, &QPushButton::clicked, this, &OKUKIPOWidget::stopEmulation);
    connect(clicked("downloadFlights"), &QPushButton::clicked, this, &OKUKIPOWidget::downloadFlights);
    connect(clicked("loadSelectedFlight"), &QPushButton::clicked, this, &OKUKIPOWidget::loadSelectedFlight);
    connect(m_updateFirmware, &QPushButton::clicked, this, &OKUKIPOWidget::updateFirmware);
    connect(clicked("clearDevice"), &QPushButton::clicked, this, &OKUKIPOWidget::clearFlightData);
    connect(m_flightsTable, &QTableWidget::itemSelectionChanged, this, &OKUKIPOWidget::flightSelectionChanged);
    connect(m_mainTabs, &QTabWidget::currentChanged, this, &OKUKIPOWidget::tabChanged);

    connect(&m_flasher, &QProcess::readyReadStandardOutput, this, &OKUKIPOWidget::firmwareUpdateOutputAvailable);
    connect(&m_flasher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &OKUKIPOWidget::firmwareUpdateComplete);
    connect(&m_flasher, &QProcess::errorOccurred, this, qOverload<QProcess::ProcessError>(&OKUKIPOWidget::updateError));
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

void OKUKIPOWidget::appendLive(LiveCurve &curve, float time, double value)
{
    if (curve.series->points().isEmpty())
        curve.origin = time;
    curve.series->addPoint(time - curve.origin, value);
    if (curve.series->points().size() > LiveCurveLimit)
        curve.series->clear();
    // Keeps the newest values in view as they wander.
    curve.graph->view()->optimizeAxis();
}

void OKUKIPOWidget::clearLiveCurves()
{
    for (LiveCurve *curve : {&m_altitude, &m_pressure, &m_temperature, &m_computerBattery, &m_ejectionBattery})
        curve->series->clear();
    for (LiveCurve *group : {m_accel, m_gyro, m_mag}) {
        for (int axis = 0; axis < 3; ++axis)
            group[axis].series->clear();
    }
    for (LiveCurve &line : m_lines)
        line.series->clear();
    for (QGraph *plot : qAsConst(m_graphs))
        plot->view()->update();
}

void OKUKIPOWidget::accelZEventRead(OKUEvent_AccelZ e)
{
    appendLive(m_accel[2], e.time, e.accelZ);
    m_mainWindow->form().liveAccelerationLabel->setText(accelerationLabel(e.accelZ));
}

void OKUKIPOWidget::textEventRead(OKUEvent_Text e)
{
    Q_UNUSED(e)
}

void OKUKIPOWidget::accelXYEventRead(OKUEvent_AccelXY e)
{
    appendLive(m_accel[0], e.time, e.accelX);
    appendLive(m_accel[1], e.time, e.accelY);
}

void OKUKIPOWidget::gyroXYZEventRead(OKUEvent_GyroXYZ e)
{
    appendLive(m_gyro[0], e.time, e.x);
    appendLive(m_gyro[1], e.time, e.y);
    appendLive(m_gyro[2], e.time, e.z);
}

void OKUKIPOWidget::magXYZEventRead(OKUEvent_MagXYZ e)
{
    appendLive(m_mag[0], e.time, e.x);
    appendLive(m_mag[1], e.time, e.y);
    appendLive(m_mag[2], e.time, e.z);
}

void OKUKIPOWidget::pressureEventRead(OKUEvent_Pressure e)
{
    const DisplayUnits units(m_metric);
    appendLive(m_pressure, e.time, units.pressure(e.pressure));
    appendLive(m_altitude, e.time, units.length(pressureAltitude(e.pressure)));
    Ui::OKUStudioClass &form = m_mainWindow->form();
    form.livePressureLabel->setText(units.pressureLabel(e.pressure));
    form.liveMSLAltitudeLabel->setText(units.pressureAltitudeLabel(e.pressure));
}

void OKUKIPOWidget::temperatureEventRead(OKUEvent_Temperature e)
{
    const DisplayUnits units(m_metric);
    appendLive(m_temperature, e.time, units.temperature(e.temperature));
    m_mainWindow->form().liveTemperatureLabel->setText(units.temperatureLabel(e.temperature));
}

void OKUKIPOWidget::compBatEventRead(OKUEvent_ComputerBattery e)
{
    appendLive(m_computerBattery, e.time, e.voltage);
    m_mainWindow->form().liveCompBatVoltageLabel->setText(voltageLabel(e.voltage));
}

void OKUKIPOWidget::ejectBatEventRead(OKUEvent_EjectionBattery e)
{
    appendLive(m_ejectionBattery, e.time, e.voltage);
    m_mainWindow->form().liveEjectBatVoltageLabel->setText(voltageLabel(e.voltage));
}

void OKUKIPOWidget::inputAEventRead(OKUEvent_LineA e)
{
    appendLive(m_lines[0], e.time, e.voltage);
}

void OKUKIPOWidget::inputBEventRead(OKUEvent_LineB e)
{
    appendLive(m_lines[1], e.time, e.voltage);
}

void OKUKIPOWidget::inputCEventRead(OKUEvent_LineC e)
{
    appendLive(m_lines[2], e.time, e.voltage);
}

void OKUKIPOWidget::inputDEventRead(OKUEvent_LineD e)
{
    appendLive(m_lines[3], e.time, e.voltage);
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
    m_gpsTime->setText(livegps::gpsTimeText(e));
}

void OKUKIPOWidget::gpsLLSolEventRead(OKUEvent_GPSLLSol e)
{
    const QSettings &settings = *m_mainWindow->settings();
    m_latitude->setText(formatCoordinate(e.latitude, settings));
    m_longitude->setText(formatCoordinate(e.longitude, settings));
    m_gpsAltitude->setText(DisplayUnits(m_metric).gpsAltitudeLabel(e.altitude));
    m_fix->setText(e.solution3D ? tr("3D solution") : tr("None"));
    m_connectedSats->setValue(qBound(0, int(e.satellites), m_connectedSats->maximum()));
    m_satellitesUsed->setText(QString::number(e.satellites));
    if (!livegps::writeKmlFile(m_kmlFilePath, e.latitude, e.longitude))
        trace(QStringLiteral("Could not write ") + m_kmlFilePath);
    m_lastPosition = QPointF(e.latitude, e.longitude);
    runMapScript(livegps::placemarkCall(e.latitude, e.longitude));
}

void OKUKIPOWidget::refreshOrientation()
{
    const OKUQuaternion q = m_worker->orientation();
    m_orientation->setOrientation(QQuaternion(q.w, q.x, q.y, q.z));
}

// ---- Map ----

void OKUKIPOWidget::runMapScript(const QString &script)
{
    const QString guarded = flightmap::guarded(script);
    emit mapScriptRun(guarded);
    m_webView->page()->runJavaScript(guarded);
}

void OKUKIPOWidget::focusOnTarget()
{
    // The latest fix, not the null island, is what the user wants to see.
    runMapScript(livegps::placemarkCall(m_lastPosition.x(), m_lastPosition.y()));
    runMapScript(QStringLiteral("flyTo()"));
}

void OKUKIPOWidget::browserNavigateComplete(QString url)
{
    Q_UNUSED(url)
}

void OKUKIPOWidget::exception(int code, QString source, QString description, QString help)
{
    Q_UNUSED(code)
    Q_UNUSED(source)
    Q_UNUSED(description)
    Q_UNUSED(help)
    trace(QStringLiteral("exception"));
}

// ---- Connection ----

void OKUKIPOWidget::tabChanged(int index)
{
    Q_UNUSED(index)
    if (m_worker->isFirmwareOpen())
        return;
    m_worker->setAutoStart(true);
    m_worker->attemptConnection();
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
    clearLiveCurves();
    if (m_worker->firmwareVersionNumber() < CurrentFirmwareVersion) {
        enableControls(false);
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
        enableControls(false);
        showConnectionPicture();
        return;
    }
    enableControls(true);
    showConnectionPicture();
}

void OKUKIPOWidget::firmwareDisconnected()
{
    enableControls(false);
    showConnectionPicture();
}

void OKUKIPOWidget::enableControls(bool enabled)
{
    for (QWidget *control : qAsConst(m_controls))
        control->setEnabled(enabled);
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

// ---- Settings ----

void OKUKIPOWidget::writeDeviceSettings()
{
    const QString problem = m_settings->inputProblem();
    if (!problem.isEmpty()) {
        showMessage(this, QMessageBox::Warning, tr("Write Settings"), problem);
        return;
    }
    const OKUKIPOSettings settings = m_settings->getSettings();
    OKUKIPOInterface *w = m_worker;
    QMetaObject::invokeMethod(w, [w, settings] { w->writeDeviceSettings(settings); }, Qt::QueuedConnection);
}

void OKUKIPOWidget::settingsRead(OKUKIPOSettings settings)
{
    m_settings->setSettings(settings);
}

void OKUKIPOWidget::calibratePressure()
{
    OKUKIPOInterface *w = m_worker;
    const double altitude = m_calibrationAltitude->value();
    QMetaObject::invokeMethod(w, [w, altitude] { w->calibratePressure(altitude); }, Qt::QueuedConnection);
}

void OKUKIPOWidget::calibrateAltitudefromGPS()
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

// ---- Almanacs ----

void OKUKIPOWidget::viewStoredAlmanacs()
{
}

void OKUKIPOWidget::storeAlmanacs()
{
    trace(QStringLiteral("Storing almanacs..."));
    enableControls(false);
    m_worker->storeAlmanacs();
    enableControls(true);
}

void OKUKIPOWidget::uploadAlmanacs()
{
    trace(QStringLiteral("Uploading almanacs..."));
    enableControls(false);
    m_worker->uploadAlmanacs();
    enableControls(true);
}

void OKUKIPOWidget::clearSVData()
{
    m_worker->clearSVData();
}

// ---- Emulation ----

void OKUKIPOWidget::emulateLaunch()
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
    OKUKIPOInterface *w = m_worker;
    const bool realTime = answer == QMessageBox::Yes;
    QMetaObject::invokeMethod(w, [w, source, target, realTime] { w->emulateLaunch(source, target, realTime); },
                              Qt::QueuedConnection);
}

void OKUKIPOWidget::stopEmulation()
{
    m_worker->stopEmulation();
    m_stopEmulation->setEnabled(false);
}

void OKUKIPOWidget::emulationComplete()
{
    m_stopEmulation->setEnabled(false);
}

// ---- Downloads ----

void OKUKIPOWidget::downloadFlights()
{
    m_mainWindow->statusBar()->showMessage(tr("Downloading flights..."), StatusMessageMs);
    clearFlights();
    appendConsoleNL(QStringLiteral("Downloading flights...this may take a few minutes."));
    invokeWorker("downloadFlights");
}

void OKUKIPOWidget::flightDownloadProgress(int max, int current)
{
    m_downloadProgress->setMaximum(max);
    m_downloadProgress->setValue(qMin(current, max));
}

void OKUKIPOWidget::flightDownloaded(std::shared_ptr<OKUKIPOFlight> flight)
{
    // The parser only cuts the image; launch, landing and ground level come
    // from the analysis.
    flight->processFlight();
    const OKUKIPOFlight &f = *flight;
    QString date = QStringLiteral("n/a");
    if (const OKUEvent_GPSTime *time = f.flightDateEvent())
        date = livegps::gpsTimeText(*time);
    const OKUEvent_GPSLLSol *position = f.firstValidGPS();
    std::optional<double> latitude, longitude, duration;
    if (position) {
        latitude = position->latitude;
        longitude = position->longitude;
    }
    if (f.isFlight())
        duration = std::max(f.landingTime() - f.launchTime(), 0.0f);
    const double dataTime = f.events.empty() ? 0.0 : double(f.events.back()->time - f.events.front()->time);

    m_flights.push_back(std::move(flight));
    const int row = m_flightsTable->rowCount();
    m_flightsTable->insertRow(row);
    const QStringList cells{date, numberOrNa(latitude), numberOrNa(longitude), numberOrNa(duration),
                            QString::number(dataTime, 'g', 6)};
    for (int column = 0; column < cells.size(); ++column)
        m_flightsTable->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    appendConsoleNL(QStringLiteral("Adding flight to table"));
    if (row == 0)
        m_flightsTable->selectRow(0);
}

void OKUKIPOWidget::flightSelectionChanged()
{
    m_preview->clear();
    const int row = m_flightsTable->currentRow();
    if (row >= 0 && row < int(m_flights.size())) {
        const OKUKIPOFlight &flight = *m_flights[row];
        const DisplayUnits units(m_metric);
        const float ground = flight.groundLevel();
        for (const OKUEvent *event : flight.events) {
            if (const auto *pressure = eventAs<OKUEvent_Pressure>(event))
                m_preview->addPoint(pressure->time, units.length(pressureAltitude(pressure->pressure) - ground));
        }
    }
    m_previewGraph->view()->optimizeAxis();
    m_previewGraph->view()->update();
}

void OKUKIPOWidget::loadSelectedFlight()
{
    const int row = m_flightsTable->currentRow();
    if (row < 0 || row >= int(m_flights.size()))
        return;
    m_mainWindow->addFlight(m_flights[row], QStringLiteral("Untitled"));
}

void OKUKIPOWidget::clearFlights()
{
    m_flights.clear();
    m_flightsTable->setRowCount(0);
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

void OKUKIPOWidget::flightDataCleared()
{
    clearFlights();
    m_preview->clear();
    m_previewGraph->view()->update();
}
