#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <array>

class Axis;
class DisplayUnits;
class GraphSeries;
class OKUKIPOFlight;
class QAction;
class QFrame;
class QGraph;
class QTabWidget;
class QWidget;

// The pad's altitude above sea level: that of the flight's first pressure
// reading, the ground of the altitude plot.
float padAltitude(const OKUKIPOFlight &flight);
// The time of the flight's first record; 0 without any.
float firstEventTime(const OKUKIPOFlight &flight);

// The plot tabs of a flight window: every measurement of a flight on its
// chart, the flight's moments marked on the altitude, and the altitude's
// "Data" menu (Kalman filtered, MSL).
class FlightPlots : public QObject
{
    Q_OBJECT

public:
    // Adds the five plot tabs to `tabs`, which owns them and this.
    explicit FlightPlots(QTabWidget *tabs);

    const QList<QGraph *> &graphs() const { return m_graphs; }
    QGraph *graph(const QString &objectName) const;
    QAction *kalmanFilteredAction() const { return m_kalmanFiltered; }
    QAction *mslAction() const { return m_msl; }

    // Replaces every curve and marker with the flight's, in the given units.
    void fill(const OKUKIPOFlight &flight, const DisplayUnits &units);
    // Hides the plots without data and removes the tabs left without any.
    void hideEmpty();

private:
    struct Curves {
        GraphSeries *altitude;
        GraphSeries *verticalVelocity;
        GraphSeries *verticalAcceleration;
        GraphSeries *lateralX;
        GraphSeries *lateralY;
        std::array<GraphSeries *, 3> gyro;
        std::array<GraphSeries *, 3> magneto;
        GraphSeries *tilt;
        GraphSeries *computerBattery;
        GraphSeries *ejectionBattery;
        std::array<GraphSeries *, 4> lines;
        GraphSeries *temperature;
        GraphSeries *rssi;
    };

    QWidget *buildAltitudeTab();
    QWidget *buildLateralTab();
    QWidget *buildGyroTab();
    QWidget *buildInputsTab();
    QWidget *buildTemperatureTab();
    QGraph *createGraph(const QString &objectName, QWidget *parent);
    // A titled group box holding one new graph, appended to the tab's layout.
    void addGroupedGraph(QWidget *tab, const QString &title, const QString &graphName);
    // A titled frame holding one new graph, appended to the tab's layout.
    QFrame *addFramedGraph(QWidget *tab, const QString &frameName, const QString &title, const QString &graphName);
    void buildPlots();
    void setPlotUnits(const DisplayUnits &units);
    void setCurveRanges(const DisplayUnits &units);
    void fillCurves(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units);
    void fillKalmanCurves(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units);
    void placeMarkers(const OKUKIPOFlight &flight, float groundAltitude, const DisplayUnits &units);
    // The altitude the altitude plot shows at time t, in display units.
    double plottedAltitude(const OKUKIPOFlight &flight, float t, float groundAltitude, const DisplayUnits &units) const;

    QTabWidget *m_tabs;
    QList<QGraph *> m_graphs;
    QWidget *m_gyroAndMagTab = nullptr;
    QWidget *m_inputsAndPowerTab = nullptr;
    QFrame *m_gyroFrame = nullptr;
    QFrame *m_magFrame = nullptr;
    QFrame *m_auxFrame = nullptr;
    QFrame *m_batteryFrame = nullptr;
    QFrame *m_rssiFrame = nullptr;
    Curves m_curves{};
    Axis *m_altitudeAxis = nullptr;
    QAction *m_kalmanFiltered = nullptr;
    QAction *m_msl = nullptr;
};
