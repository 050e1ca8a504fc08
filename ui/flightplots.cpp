#include "ui/flightplots.h"

#include "app/units.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/qgraph.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

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

// The altitude of a pressure reading as the altitude plot shows it.
double pressurePlotValue(float pascals, float groundAltitude, bool aboveSeaLevel, const DisplayUnits &units)
{
    const float altitude = pressureAltitude(pascals) - (aboveSeaLevel ? 0.0f : groundAltitude);
    return units.length(altitude);
}

float tiltDegrees(const OKUEvent_Orientation &q)
{
    // The angle between the board's Z axis and the vertical.
    // Quantised components of an upright board give a sum just above 1.
    const float cosine = std::clamp(q.w * q.w + q.z * q.z - q.y * q.y - q.x * q.x, -1.0f, 1.0f);
    return std::acos(cosine) * 57.29577951308232f;
}

} // namespace

float firstEventTime(const OKUKIPOFlight &flight)
{
    return flight.events.empty() ? 0.0f : flight.events.front()->time;
}

float padAltitude(const OKUKIPOFlight &flight)
{
    for (const OKUEvent *event : flight.events) {
        if (const auto *pressure = eventAs<OKUEvent_Pressure>(event))
            return pressureAltitude(pressure->pressure);
    }
    return 0.0f;
}

FlightPlots::FlightPlots(QTabWidget *tabs) : QObject(tabs), m_tabs(tabs)
{
    m_tabs->addTab(buildAltitudeTab(), QObject::tr("Altitude && Vertical Acceleration"));
    m_tabs->addTab(buildLateralTab(), QObject::tr("Lateral Acceleration && Vertical Velocity"));
    m_tabs->addTab(buildGyroTab(), QObject::tr("Gyro && Magneto"));
    m_tabs->addTab(buildInputsTab(), QObject::tr("Inputs && Power"));
    m_tabs->addTab(buildTemperatureTab(), QObject::tr("Temperature && RSSI"));
    buildPlots();
}

QGraph *FlightPlots::graph(const QString &objectName) const
{
    for (QGraph *graph : m_graphs) {
        if (graph->objectName() == objectName)
            return graph;
    }
    return nullptr;
}

void FlightPlots::fill(const OKUKIPOFlight &flight, const DisplayUnits &units)
{
    for (QGraph *graph : qAsConst(m_graphs)) {
        for (Axis *axis : qAsConst(*graph)) {
            for (GraphSeries *curve : qAsConst(axis->series))
                curve->clear();
        }
    }
    m_altitudeAxis->markers.clear();
    setPlotUnits(units);
    setCurveRanges(units);
    const float groundAltitude = padAltitude(flight);
    fillCurves(flight, groundAltitude, units);
    placeMarkers(flight, groundAltitude, units);
    fillKalmanCurves(flight, groundAltitude, units);
}

QGraph *FlightPlots::createGraph(const QString &objectName, QWidget *parent)
{
    auto *graph = new QGraph(parent);
    graph->setObjectName(objectName);
    parent->layout()->addWidget(graph);
    m_graphs.append(graph);
    return graph;
}

QWidget *FlightPlots::buildAltitudeTab()
{
    auto *tab = tabPage(QStringLiteral("altitudeAndVerticalAccelerationTab"), m_tabs);
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

QWidget *FlightPlots::buildLateralTab()
{
    auto *tab = tabPage(QStringLiteral("lateralAccelerationAndVelocityTab"), m_tabs);
    new QVBoxLayout(tab);
    addGroupedGraph(tab, tr("Lateral Acceleration (X/Y axis)"), QStringLiteral("latteralAccelerationGraph"));
    addGroupedGraph(tab, tr("Vertical Velocity (Kalman)"), QStringLiteral("verticalVelocityGraph"));
    return tab;
}

void FlightPlots::addGroupedGraph(QWidget *tab, const QString &title, const QString &graphName)
{
    auto *group = new QGroupBox(title, tab);
    new QVBoxLayout(group);
    createGraph(graphName, group);
    tab->layout()->addWidget(group);
}

QFrame *FlightPlots::addFramedGraph(QWidget *tab, const QString &frameName, const QString &title,
                                    const QString &graphName)
{
    QFrame *frame = titledFrame(frameName, title, tab);
    createGraph(graphName, frame);
    tab->layout()->addWidget(frame);
    return frame;
}

QWidget *FlightPlots::buildGyroTab()
{
    m_gyroAndMagTab = tabPage(QStringLiteral("gyroAndMagTab"), m_tabs);
    new QVBoxLayout(m_gyroAndMagTab);
    m_gyroFrame = addFramedGraph(m_gyroAndMagTab, QStringLiteral("gyroFrame"), tr("Gyro"), QStringLiteral("liveGyroGraph"));
    m_magFrame = addFramedGraph(m_gyroAndMagTab, QStringLiteral("magFrame"), tr("Magneto"), QStringLiteral("liveMagGraph"));
    addFramedGraph(m_gyroAndMagTab, QStringLiteral("tiltFrame"), tr("Tilt angle"), QStringLiteral("liveTiltGraph"));
    return m_gyroAndMagTab;
}

QWidget *FlightPlots::buildInputsTab()
{
    m_inputsAndPowerTab = tabPage(QStringLiteral("inputsAndPowerTab"), m_tabs);
    new QVBoxLayout(m_inputsAndPowerTab);
    m_auxFrame = addFramedGraph(m_inputsAndPowerTab, QStringLiteral("auxFrame"), tr("Inputs"),
                                QStringLiteral("liveInputGraph"));
    m_batteryFrame = addFramedGraph(m_inputsAndPowerTab, QStringLiteral("batteryFrame"), tr("Power"),
                                    QStringLiteral("liveBatteryGraph"));
    return m_inputsAndPowerTab;
}

QWidget *FlightPlots::buildTemperatureTab()
{
    auto *tab = tabPage(QStringLiteral("tempAndRSSITab"), m_tabs);
    new QVBoxLayout(tab);
    addGroupedGraph(tab, tr("Temperature"), QStringLiteral("liveTemperatureGraph"));
    m_rssiFrame = addFramedGraph(tab, QStringLiteral("RSSIFrame"), tr("RSSI"), QStringLiteral("RSSIGraph"));
    return tab;
}

void FlightPlots::buildPlots()
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
    m_kalmanFiltered->setCheckable(true);
    m_msl->setCheckable(true);
}

void FlightPlots::setPlotUnits(const DisplayUnits &units)
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

void FlightPlots::setCurveRanges(const DisplayUnits &units)
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

void FlightPlots::fillCurves(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units)
{
    const Curves &c = m_curves;
    const bool kalman = m_kalmanFiltered->isChecked();
    const bool aboveSeaLevel = m_msl->isChecked();
    for (const OKUEvent *event : flight.events) {
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

double FlightPlots::plottedAltitude(const OKUKIPOFlight &flight, float t, float groundAltitude, const DisplayUnits &units) const
{
    const Series &altitude = m_kalmanFiltered->isChecked() ? flight.kalmanAltitude : flight.pressureAltitude;
    const float ground = m_msl->isChecked() ? 0.0f : groundAltitude;
    return units.length(double(OKUKIPOFlight::sampleSeries(altitude, t).value) - double(ground));
}

void FlightPlots::placeMarkers(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units)
{
    bool launchMarked = false;
    bool apogeeMarked = false;
    std::array<bool, 4> lineMarked{};
    const auto mark = [&](float t, const QString &text) {
        m_altitudeAxis->markers.append({QPointF(t, plottedAltitude(flight, t, groundAltitude, units)), text});
    };
    for (const OKUEvent *event : flight.events) {
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

void FlightPlots::fillKalmanCurves(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units)
{
    if (flight.events.empty())
        return;
    const bool kalman = m_kalmanFiltered->isChecked();
    const double start = firstEventTime(flight);
    const float end = flight.endTime();
    // Counted in steps rather than summed so that long flights do not drift.
    for (long step = 0;; ++step) {
        const float t = float(start + double(step) * 0.05);
        if (t > end)
            break;
        m_curves.verticalVelocity->addPoint(t, units.speed(OKUKIPOFlight::sampleSeries(flight.kalmanVelocity, t).value));
        if (kalman)
            m_curves.altitude->addPoint(t, plottedAltitude(flight, t, groundAltitude, units));
    }
}

void FlightPlots::hideEmpty()
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
        m_tabs->removeTab(m_tabs->indexOf(m_gyroAndMagTab));
    if (linesEmpty && batteryEmpty)
        m_tabs->removeTab(m_tabs->indexOf(m_inputsAndPowerTab));
}

