#include "ui/curvethinning.h"

#include <algorithm>
#include <cmath>

namespace {

// Consecutive points that fall into one column (or into one run outside the view).
class ColumnRun
{
public:
    ColumnRun(int index, double y) : first(index), last(index), lowest(index), highest(index), low(y), high(y) {}

    void add(int index, double y)
    {
        last = index;
        if (y < low) {
            low = y;
            lowest = index;
        }
        if (y > high) {
            high = y;
            highest = index;
        }
    }

    void emitTo(const QVector<QPointF> &points, bool visible, QVector<QPointF> &kept) const
    {
        int indices[4] = {first, lowest, highest, last};
        int count = 4;
        if (!visible) {
            indices[1] = last;
            count = 2;
        }
        std::sort(indices, indices + count);
        const int *end = std::unique(indices, indices + count);
        for (const int *index = indices; index != end; ++index)
            kept.append(points.at(*index));
    }

private:
    int first;
    int last;
    int lowest;
    int highest;
    double low;
    double high;
};

} // namespace

void thinToPixelColumns(const QVector<QPointF> &points, bool sortedByX, const PixelColumns &columns,
                        QVector<QPointF> &kept)
{
    kept.clear();
    const auto columnOf = [&columns](const QPointF &point) {
        return std::floor(point.x() * columns.scale + columns.offset);
    };
    // Runs left and right of the view each collapse into one pseudo-column.
    const auto keyOf = [&](const QPointF &point) {
        const double column = columnOf(point);
        if (column < columns.first)
            return columns.first - 1;
        if (column > columns.last)
            return columns.last + 1;
        return column;
    };

    int begin = 0;
    int end = points.size();
    if (sortedByX && columns.scale > 0) {
        const auto firstVisible = std::lower_bound(points.cbegin(), points.cend(), columns.first,
            [&](const QPointF &point, double column) { return columnOf(point) < column; });
        const auto pastVisible = std::upper_bound(firstVisible, points.cend(), columns.last,
            [&](double column, const QPointF &point) { return column < columnOf(point); });
        // One point either side carries the line to the edge of the view.
        begin = std::max(0, int(firstVisible - points.cbegin()) - 1);
        end = std::min(int(points.size()), int(pastVisible - points.cbegin()) + 1);
    }
    if (begin >= end)
        return;

    const auto isVisible = [&columns](double key) { return key >= columns.first && key <= columns.last; };
    // Sorted points of one column are consecutive, so a run ends at the first
    // point past the column's right edge: one comparison per point.
    const bool byColumnEdge = sortedByX && columns.scale > 0;
    const QPointF *data = points.constData();
    for (int i = begin; i < end;) {
        if (!std::isfinite(data[i].y())) {
            // One gap marker however many such points follow each other.
            if (!kept.isEmpty() && std::isfinite(kept.constLast().y()))
                kept.append(data[i]);
            ++i;
            continue;
        }
        const double key = keyOf(data[i]);
        ColumnRun run(i, data[i].y());
        int next = i + 1;
        if (byColumnEdge) {
            const double rightEdge = (columnOf(data[i]) + 1 - columns.offset) / columns.scale;
            for (; next < end && data[next].x() < rightEdge && std::isfinite(data[next].y()); ++next)
                run.add(next, data[next].y());
        } else {
            for (; next < end && keyOf(data[next]) == key && std::isfinite(data[next].y()); ++next)
                run.add(next, data[next].y());
        }
        run.emitTo(points, isVisible(key), kept);
        i = next;
    }
    if (!kept.isEmpty() && !std::isfinite(kept.constLast().y()))
        kept.removeLast();
}

QVector<int> labelledPointIndices(const QVector<QPointF> &points, bool sortedByX, double pixelsPerUnit,
                                  double spacing)
{
    QVector<int> labelled;
    if (points.isEmpty())
        return labelled;
    labelled.append(0);
    double lastPixel = points.first().x() * pixelsPerUnit;
    const auto farEnough = [&](const QPointF &point) { return point.x() * pixelsPerUnit - lastPixel >= spacing; };

    if (sortedByX && pixelsPerUnit > 0) {
        auto from = points.cbegin() + 1;
        for (;;) {
            from = std::partition_point(from, points.cend(), [&](const QPointF &point) { return !farEnough(point); });
            if (from == points.cend())
                break;
            labelled.append(int(from - points.cbegin()));
            lastPixel = from->x() * pixelsPerUnit;
            ++from;
        }
        return labelled;
    }
    for (int i = 1; i < points.size(); ++i) {
        if (farEnough(points.at(i))) {
            labelled.append(i);
            lastPixel = points.at(i).x() * pixelsPerUnit;
        }
    }
    return labelled;
}
