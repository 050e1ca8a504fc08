#pragma once

#include "ui/graphseries.h"

#include <QList>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

// An annotation at a data position, such as "Apogee detected".
struct AxisMarker
{
    QPointF position;
    QString text;
};

// One coordinate system of a plot: its curves, annotations, units and pens.
// Several axes of one plot share the time axis and the data origin but each
// scales its own values.  The view sets the rectangle and the origin before it
// draws; everything else here is derived from the data.
class Axis
{
public:
    // The third pen is kept for callers that pass it but is not drawn with.
    Axis(const QPen &axisPen, const QPen &tickPen, const QPen &thirdPen, const QPen &labelPen);
    ~Axis();
    Axis(const Axis &) = delete;
    Axis &operator=(const Axis &) = delete;

    // Data extents over all curves, range values included, widened by 30 %
    // so the curves never touch the edge.
    QPointF minimum() const;
    QPointF maximum() const;
    // Edges of the usable area in local pixels (origin at the data origin, y up).
    QPointF lowEdge() const;
    QPointF highEdge() const;
    // Pixels per data unit, the largest that keeps the extents inside the edges.
    QPointF scale() const;
    QPointF dataToPixel(const QPointF &data) const;
    QPointF pixelToData(const QPointF &pixel) const;
    double tickStepX() const;
    double tickStepY() const;

    QList<GraphSeries *> series; // owned
    float originX = 0;
    float originY = 0;
    int tickSpacingX = 100;
    int tickSpacingY = 50;
    int margin = 0;
    QRectF rectangle;
    QPen axisPen;
    QPen tickPen;
    QPen thirdPen;
    QPen labelPen;
    QString xUnit;
    QString yUnit;
    QList<AxisMarker> markers;
};

// A tick step near the wanted one that reads well: 1, 2 or 5 times a power of ten.
double niceStep(double wanted);
// "1.5 km" for 1500 with unit "m": values of a thousand and more get the "k" prefix.
QString valueLabel(double value, const QString &unit);
