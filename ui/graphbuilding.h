#pragma once

#include <QColor>
#include <QList>
#include <QString>

class Axis;
class GraphSeries;
class QGraph;

// How the flight and device windows put their curves on plots, so that
// both draw alike.

GraphSeries *newCurve(const QColor &colour, const QString &name = QString());

enum class Tracked { No, Yes };
enum class Legend { No, Yes };

// An axis with the time unit "s" holding the curves, appended to the graph
// (which owns both).  A tracked axis lets the view follow its first curve.
Axis *addAxis(QGraph *graph, const QColor &axisColour, const QList<GraphSeries *> &curves, Tracked tracked,
              Legend legend);
