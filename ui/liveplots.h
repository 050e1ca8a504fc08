#pragma once

#include "model/events.h"

#include <QList>

class GraphSeries;
class QGraph;
class QTabWidget;

// The device window's live plots: one curve per measurement on four pages
// of plots that share one time axis.  Every curve starts at time 0 however
// long the device has been running.
class LivePlots
{
public:
    // Adds the plot pages to the live data tabs; the units follow the
    // metric flag.
    LivePlots(bool metric, QTabWidget *liveTabs);

    void add(const OKUEvent_AccelZ &e);
    void add(const OKUEvent_AccelXY &e);
    void add(const OKUEvent_GyroXYZ &e);
    void add(const OKUEvent_MagXYZ &e);
    // Pressure and the altitude computed from it.
    void add(const OKUEvent_Pressure &e);
    void add(const OKUEvent_Temperature &e);
    void add(const OKUEvent_ComputerBattery &e);
    void add(const OKUEvent_EjectionBattery &e);
    // Output line 0-3 (A-D).
    void addLine(int line, float time, float voltage);

    // Empties every curve, for a device just connected.
    void clear();

private:
    // One curve and the time of its first point.
    struct LiveCurve {
        GraphSeries *series = nullptr;
        QGraph *graph = nullptr;
        float origin = 0;
    };

    void append(LiveCurve &curve, float time, double value);
    // Curves on one graph, one per name (a single unnamed one when none).
    void addCurves(LiveCurve *curves, const QString &graphName, const QString &unit, const QStringList &names);

    bool m_metric;
    QList<QGraph *> m_graphs;
    LiveCurve m_altitude, m_pressure, m_temperature;
    LiveCurve m_accel[3], m_gyro[3], m_mag[3];
    LiveCurve m_batteries[2];
    LiveCurve m_lines[4];
};
