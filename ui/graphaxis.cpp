#include "ui/graphaxis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Widening factor of the extents; the single-precision 0.3 keeps the extents
// of existing charts where they were.
constexpr double extentWidening = double(0.3f);

double widened(double extent)
{
    return extent + extent * extentWidening;
}

// Pixels per unit that fit `extent` into `edge` pixels; an empty side leaves
// the decision to the other one.
double sideScale(float edge, float extent)
{
    if (extent == 0.0f)
        return std::numeric_limits<double>::infinity();
    return std::fabs(double(edge / extent));
}

// Both sides empty (no data away from zero) would give an unbounded scale and a
// degenerate origin could give zero; either way fall back to one pixel per unit.
double boundedScale(double low, double high)
{
    const double scale = std::min(low, high);
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

} // namespace

Axis::Axis(const QPen &axisPen, const QPen &tickPen, const QPen &thirdPen, const QPen &labelPen)
    : axisPen(axisPen), tickPen(tickPen), thirdPen(thirdPen), labelPen(labelPen)
{
}

Axis::~Axis()
{
    qDeleteAll(series);
}

QPointF Axis::minimum() const
{
    double x = 0;
    double y = 0;
    for (const GraphSeries *curve : series) {
        x = std::min(x, std::min(curve->minX(), curve->rangeMinX));
        y = std::min(y, std::min(curve->minY(), curve->rangeMinY));
    }
    return QPointF(widened(x), widened(y));
}

QPointF Axis::maximum() const
{
    double x = 0;
    double y = 0;
    for (const GraphSeries *curve : series) {
        x = std::max(x, std::max(curve->maxX(), curve->rangeMaxX));
        y = std::max(y, std::max(curve->maxY(), curve->rangeMaxY));
    }
    return QPointF(widened(x), widened(y));
}

QPointF Axis::lowEdge() const
{
    return QPointF(margin - originX, originY - rectangle.height() + margin);
}

QPointF Axis::highEdge() const
{
    return QPointF(rectangle.width() - originX - margin, originY - margin);
}

QPointF Axis::scale() const
{
    if (series.isEmpty())
        return QPointF(1, 1);
    const QPointF low = lowEdge();
    const QPointF high = highEdge();
    const QPointF least = minimum();
    const QPointF most = maximum();
    return QPointF(boundedScale(sideScale(low.x(), least.x()), sideScale(high.x(), most.x())),
                   boundedScale(sideScale(low.y(), least.y()), sideScale(high.y(), most.y())));
}

QPointF Axis::dataToPixel(const QPointF &data) const
{
    const QPointF s = scale();
    return QPointF(originX + data.x() * s.x(), originY - data.y() * s.y());
}

QPointF Axis::pixelToData(const QPointF &pixel) const
{
    const QPointF s = scale();
    return QPointF((pixel.x() - originX) / s.x(), -(pixel.y() - originY) / s.y());
}

double Axis::tickStepX() const
{
    return niceStep(tickSpacingX / scale().x());
}

double Axis::tickStepY() const
{
    return niceStep(tickSpacingY / scale().y());
}

double niceStep(double wanted)
{
    if (!(wanted > 0) || !std::isfinite(wanted))
        return 0;
    const double scaled = wanted * 1e10;
    const double power = std::pow(10.0, std::floor(std::log10(scaled)));
    // Rounding can put the leading digit just outside 1..9.
    const int digit = std::clamp(int(std::floor(scaled / power)), 1, 9);
    static const int niceDigit[10] = {0, 1, 2, 2, 5, 5, 5, 5, 10, 10};
    return power * niceDigit[digit] * 1e-10;
}

QString valueLabel(double value, const QString &unit)
{
    QString prefix;
    if (std::log10(std::fabs(value)) >= 3) {
        prefix = QStringLiteral("k");
        value *= 0.001;
    }
    return QString::number(value, 'g', 4) + QLatin1Char(' ') + prefix + unit;
}
