#pragma once

#include <QBrush>
#include <QPen>
#include <QPointF>
#include <QString>
#include <QVector>

// One curve of a plot: its points (x = time in seconds, y = value in display
// units) and how it is drawn.  The points and their running bounds are kept
// together so the bounds can never disagree with the data.
class GraphSeries
{
public:
    GraphSeries(const QPen &pen, const QPen &markerPen, const QBrush &markerBrush, float markerRadius);

    void addPoint(const QPointF &point);
    void addPoint(double x, double y) { addPoint(QPointF(x, y)); }
    void reserve(int count) { m_points.reserve(count); }
    // Empties the points and resets the bounds and the range values.
    void clear();

    const QVector<QPointF> &points() const { return m_points; }
    // Running bounds; they always contain 0.
    double minX() const { return m_minX; }
    double minY() const { return m_minY; }
    double maxX() const { return m_maxX; }
    double maxY() const { return m_maxY; }
    // True while every point lies at or right of the one before it, which lets
    // drawing find the visible stretch by binary search.
    bool isSortedByX() const { return m_sortedByX; }

    QPen pen;
    QPen markerPen;
    QBrush markerBrush;
    float markerRadius;
    QString name;
    bool showMarkers = true;
    // Value labels along the curve; a plot of many overlaid curves turns them off.
    bool showLabels = true;
    // A range the axis always includes whatever the data, so that an empty
    // chart still has a sensible extent.
    double rangeMaxX = 0;
    double rangeMaxY = 0;
    double rangeMinX = 0;
    double rangeMinY = 0;

private:
    QVector<QPointF> m_points;
    double m_minX = 0;
    double m_minY = 0;
    double m_maxX = 0;
    double m_maxY = 0;
    bool m_sortedByX = true;
};
