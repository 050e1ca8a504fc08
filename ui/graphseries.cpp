#include "ui/graphseries.h"

#include <algorithm>
#include <cmath>

GraphSeries::GraphSeries(const QPen &pen, const QPen &markerPen, const QBrush &markerBrush, float markerRadius)
    : pen(pen), markerPen(markerPen), markerBrush(markerBrush), markerRadius(markerRadius)
{
}

void GraphSeries::addPoint(const QPointF &point)
{
    // Binary search cannot cope with a NaN time either.
    if (std::isnan(point.x()) || (!m_points.isEmpty() && point.x() < m_points.constLast().x()))
        m_sortedByX = false;
    m_points.append(point);
    // A value that is not a finite number is not drawn, so it must not
    // stretch the scale either: one infinite sample would flatten the curve.
    if (std::isfinite(point.x())) {
        m_minX = std::min(m_minX, point.x());
        m_maxX = std::max(m_maxX, point.x());
    }
    if (std::isfinite(point.y())) {
        m_minY = std::min(m_minY, point.y());
        m_maxY = std::max(m_maxY, point.y());
    }
}

void GraphSeries::clear()
{
    m_points.clear();
    m_minX = m_minY = m_maxX = m_maxY = 0;
    rangeMaxX = rangeMaxY = rangeMinX = rangeMinY = 0;
    m_sortedByX = true;
}
