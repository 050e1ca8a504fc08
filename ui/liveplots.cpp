#include "ui/liveplots.h"

#include "app/units.h"
#include "ui/formbuilding.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"
#include "ui/qgraph.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// A curve starts again once it holds more points than this, so that
// drawing stays cheap however long the device is connected.
constexpr int LiveCurveLimit = 1000;

} // namespace

LivePlots::LivePlots(bool metric, QTabWidget *liveTabs)
    : m_metric(metric)
{
    const auto addPage = [&](const QString &title, const QString &first, const QString &firstTitle,
                             const QString &second, const QString &secondTitle) {
        auto *page = new QWidget(liveTabs);
        new QVBoxLayout(page);
        m_graphs << addGraphGroup(first, firstTitle, page) << addGraphGroup(second, secondTitle, page);
        liveTabs->addTab(page, title);
    };
    addPage(QObject::tr("Altitude && Acceleration"), QStringLiteral("liveAltitudeGraph"), QObject::tr("MSL Altitude"),
            QStringLiteral("liveAccelerationGraph"), QObject::tr("Acceleration"));
    addPage(QObject::tr("Gyro && Magneto"), QStringLiteral("liveGyroGraph"), QObject::tr("Gyro"),
            QStringLiteral("liveMagGraph"), QObject::tr("Magneto"));
    addPage(QObject::tr("Inputs && Power"), QStringLiteral("liveInputGraph"), QObject::tr("Inputs"),
            QStringLiteral("liveBatteryGraph"), QObject::tr("Battery Voltages"));
    addPage(QObject::tr("Pressure && Temperature"), QStringLiteral("liveTemperatureGraph"), QObject::tr("Temperature"),
            QStringLiteral("livePressureGraph"), QObject::tr("Pressure"));

    const DisplayUnits units(metric);
    const QStringList xyz{QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};
    addCurves(&m_altitude, QStringLiteral("liveAltitudeGraph"), units.lengthUnit(), {});
    addCurves(&m_pressure, QStringLiteral("livePressureGraph"), units.pressureUnit(), {});
    addCurves(m_accel, QStringLiteral("liveAccelerationGraph"), QStringLiteral("g"), xyz);
    addCurves(m_gyro, QStringLiteral("liveGyroGraph"), QStringLiteral("dps"), xyz);
    addCurves(m_mag, QStringLiteral("liveMagGraph"), QStringLiteral("T"), xyz);
    addCurves(m_batteries, QStringLiteral("liveBatteryGraph"), QStringLiteral("V"),
              {QStringLiteral("Computer"), QStringLiteral("Ejection")});
    addCurves(m_lines, QStringLiteral("liveInputGraph"), QStringLiteral("V"),
              {lineNames[0], lineNames[1], lineNames[2], lineNames[3]});
    for (const LiveCurve &line : m_lines)
        line.series->pen.setWidth(2);
    addCurves(&m_temperature, QStringLiteral("liveTemperatureGraph"), units.temperatureUnit(), {});

    // One time axis for every plot: a timeline placed on one shows on all.
    const auto timelines = m_graphs.first()->view()->timelines();
    for (QGraph *graph : qAsConst(m_graphs))
        graph->view()->setTimelines(timelines);
}

void LivePlots::addCurves(LiveCurve *curves, const QString &graphName, const QString &unit, const QStringList &names)
{
    static const QColor colours[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::magenta};
    QGraph *graph = nullptr;
    for (QGraph *candidate : qAsConst(m_graphs)) {
        if (candidate->objectName() == graphName)
            graph = candidate;
    }
    QList<GraphSeries *> series;
    for (int i = 0; i < std::max(int(names.size()), 1); ++i) {
        curves[i].graph = graph;
        curves[i].series = names.isEmpty() ? newCurve(Qt::blue) : newCurve(colours[i], names.at(i));
        series.append(curves[i].series);
    }
    const Legend legend = names.isEmpty() ? Legend::No : Legend::Yes;
    addAxis(graph, Qt::red, series, Tracked::Yes, legend)->yUnit = unit;
}

void LivePlots::append(LiveCurve &curve, float time, double value)
{
    if (curve.series->points().isEmpty())
        curve.origin = time;
    curve.series->addPoint(time - curve.origin, value);
    if (curve.series->points().size() > LiveCurveLimit)
        curve.series->clear();
    // Keeps the newest values in view as they wander.
    curve.graph->view()->optimizeAxis();
}

void LivePlots::clear()
{
    for (LiveCurve *curve : {&m_altitude, &m_pressure, &m_temperature, &m_batteries[0], &m_batteries[1]})
        curve->series->clear();
    for (LiveCurve *group : {m_accel, m_gyro, m_mag}) {
        for (int axis = 0; axis < 3; ++axis)
            group[axis].series->clear();
    }
    for (LiveCurve &line : m_lines)
        line.series->clear();
    for (QGraph *graph : qAsConst(m_graphs))
        graph->view()->update();
}

void LivePlots::add(const OKUEvent_AccelZ &e)
{
    append(m_accel[2], e.time, e.accelZ);
}

void LivePlots::add(const OKUEvent_AccelXY &e)
{
    append(m_accel[0], e.time, e.accelX);
    append(m_accel[1], e.time, e.accelY);
}

void LivePlots::add(const OKUEvent_GyroXYZ &e)
{
    append(m_gyro[0], e.time, e.x);
    append(m_gyro[1], e.time, e.y);
    append(m_gyro[2], e.time, e.z);
}

void LivePlots::add(const OKUEvent_MagXYZ &e)
{
    append(m_mag[0], e.time, e.x);
    append(m_mag[1], e.time, e.y);
    append(m_mag[2], e.time, e.z);
}

void LivePlots::add(const OKUEvent_Pressure &e)
{
    const DisplayUnits units(m_metric);
    append(m_pressure, e.time, units.pressure(e.pressure));
    append(m_altitude, e.time, units.length(pressureAltitude(e.pressure)));
}

void LivePlots::add(const OKUEvent_Temperature &e)
{
    append(m_temperature, e.time, DisplayUnits(m_metric).temperature(e.temperature));
}

void LivePlots::add(const OKUEvent_ComputerBattery &e)
{
    append(m_batteries[0], e.time, e.voltage);
}

void LivePlots::add(const OKUEvent_EjectionBattery &e)
{
    append(m_batteries[1], e.time, e.voltage);
}

void LivePlots::addLine(int line, float time, float voltage)
{
    append(m_lines[line], time, voltage);
}
