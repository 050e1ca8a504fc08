#pragma once

#include <QColor>
#include <QList>
#include <QString>

class Axis;
class GraphSeries;
class QFrame;
class QGraph;
class QWidget;

// How the flight and device windows put their curves on plots, so that
// both draw alike.

// The names of the output lines' curves and markers.
inline constexpr char lineNames[][7] = {"Line A", "Line B", "Line C", "Line D"};

GraphSeries *newCurve(const QColor &colour, const QString &name = QString());

enum class Tracked { No, Yes };
enum class Legend { No, Yes };

// An axis with the time unit "s" holding the curves, appended to the graph
// (which owns both).  A tracked axis lets the view follow its first curve.
Axis *addAxis(QGraph *graph, const QColor &axisColour, const QList<GraphSeries *> &curves, Tracked tracked,
              Legend legend);

// A framed box headed by its title, with a vertical layout for what goes in it.
QFrame *titledFrame(const QString &objectName, const QString &title, QWidget *parent);

// An empty page named for a tab widget.
QWidget *tabPage(const QString &objectName, QWidget *parent);
