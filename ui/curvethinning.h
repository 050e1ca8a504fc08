#pragma once

#include <QPointF>
#include <QVector>

// How data x maps to device pixel columns: column = floor(x * scale + offset).
// Columns outside [first, last] are not visible.
struct PixelColumns
{
    double scale;
    double offset;
    double first;
    double last;
};

// Reduces a polyline to the points that still give the same picture: within
// one visible pixel column only the first, lowest, highest and last points
// matter (the line between them covers the same pixels), and of a run of
// points outside the visible columns only its two ends, which carry the lines
// into view.  A point whose value is not a finite number breaks the line: it
// is kept once, between the points either side, as a gap marker, and never
// starts or ends `kept`.  For points sorted by x the visible stretch is found by binary
// search, so a zoomed-in paint does not touch the rest.  `kept` is cleared and
// filled in the original order; passing the same buffer each paint avoids
// reallocating it.
void thinToPixelColumns(const QVector<QPointF> &points, bool sortedByX, const PixelColumns &columns,
                        QVector<QPointF> &kept);

// The points that carry a value label: the first one and every point at least
// `spacing` pixels right of the last labelled one.
QVector<int> labelledPointIndices(const QVector<QPointF> &points, bool sortedByX, double pixelsPerUnit,
                                  double spacing);
