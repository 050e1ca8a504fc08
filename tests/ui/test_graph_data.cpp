// Plot data: series bounds, axis scales, ticks and labels, and the thinning
// of curves to pixel columns.
#include "ui/curvethinning.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

std::unique_ptr<Axis> axisIn(double width, double height, double originX, double originY)
{
    auto axis = std::make_unique<Axis>(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
    axis->rectangle = QRectF(0, 0, width, height);
    axis->originX = float(originX);
    axis->originY = float(originY);
    return axis;
}

// Scales are computed in single precision.
bool close(double actual, double expected)
{
    return std::fabs(actual - expected) <= 1e-5 * std::max(1.0, std::fabs(expected));
}

// Extents are widened by the single-precision 0.3.
double widened(double extent)
{
    return extent + extent * double(0.3f);
}

// One data unit per pixel; columns 0..199 are visible.
const PixelColumns view200{1.0, 0.0, 0.0, 199.0};

// Noisy sine or random walk, many samples per column, from left of the view to right of it.
QVector<QPointF> samples(int count, bool walk, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<QPointF> points;
    double y = 50;
    for (int i = 0; i < count; ++i) {
        const double x = -40 + 280.0 * i / count;
        y = walk ? std::clamp(y + random.bounded(6.0) - 3.0, -20.0, 120.0)
                 : 50 + 30 * std::sin(x / 20) + random.bounded(4.0) - 2;
        points.append(QPointF(x, y));
    }
    return points;
}

QVector<QPointF> thinned(const QVector<QPointF> &points, bool sorted, const PixelColumns &columns = view200)
{
    QVector<QPointF> kept;
    thinToPixelColumns(points, sorted, columns, kept);
    return kept;
}

// "x,y x,y ..." so that gap markers (NaN, inf) compare as text.
QString text(const QVector<QPointF> &points)
{
    QStringList parts;
    for (const QPointF &point : points)
        parts << QString::number(point.x()) + QLatin1Char(',') + QString::number(point.y());
    return parts.join(QLatin1Char(' '));
}

QVector<QPointF> parsed(const QString &text)
{
    QVector<QPointF> points;
    for (const QString &pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList xy = pair.split(QLatin1Char(','));
        points.append(QPointF(xy[0].toDouble(), xy[1].toDouble())); // reads "nan" and "inf" too
    }
    return points;
}

bool inked(const QImage &image, int x, int y)
{
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() && qGray(image.pixel(x, y)) < 192;
}

// Rasterisers differ in which of two neighbouring pixels a steep line lights:
// every inked pixel of one picture needs ink of the other within one pixel.
bool inkWithinOnePixel(const QImage &from, const QImage &to)
{
    for (int y = 0; y < from.height(); ++y) {
        for (int x = 0; x < from.width(); ++x) {
            bool near = !inked(from, x, y);
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = inked(to, x + dx, y + dy);
            if (!near)
                return false;
        }
    }
    return true;
}

QImage drawn(const QVector<QPointF> &polyline, bool antialiased)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, antialiased);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawPolyline(polyline.constData(), polyline.size());
    return image;
}

} // namespace

class TestGraphData : public QObject
{
    Q_OBJECT

private slots:
    // Points as x,y pairs; "inf" and "nan" are not finite and never widen the bounds.
    void seriesBoundsContainZeroAndOnlyFiniteValues_data()
    {
        QTest::addColumn<QVector<double>>("xy");
        QTest::addColumn<QRectF>("bounds");
        QTest::addColumn<bool>("sorted");
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("positive") << QVector<double>{2, 5, 3, 1} << QRectF(0, 0, 3, 5) << true;
        QTest::newRow("negative, unsorted") << QVector<double>{2, 5, -1, -4} << QRectF(-1, -4, 3, 9) << false;
        QTest::newRow("equal times stay sorted") << QVector<double>{1, 0, 1, 3} << QRectF(0, 0, 1, 3) << true;
        QTest::newRow("infinite values") << QVector<double>{1, 2, 2, inf, 3, -inf} << QRectF(0, 0, 3, 2) << true;
        QTest::newRow("NaN") << QVector<double>{nan, 1, 2, nan} << QRectF(0, 0, 2, 1) << false;
    }

    void seriesBoundsContainZeroAndOnlyFiniteValues()
    {
        QFETCH(QVector<double>, xy);
        QFETCH(QRectF, bounds);
        QFETCH(bool, sorted);
        GraphSeries series(QPen(), QPen(), QBrush(), 1.0f);
        series.rangeMaxY = 1000;
        for (int i = 0; i < xy.size(); i += 2)
            series.addPoint(xy[i], xy[i + 1]);
        QCOMPARE(QRectF(QPointF(series.minX(), series.minY()), QPointF(series.maxX(), series.maxY())), bounds);
        QCOMPARE(series.isSortedByX(), sorted);
        series.clear();
        QCOMPARE(series.maxX() + series.maxY() + series.rangeMaxY, 0.0);
        QVERIFY(series.points().isEmpty() && series.isSortedByX());
    }

    // Each side of the origin scales to the data on it, widened by 0.3;
    // extents take in the curves' ranges and points; an axis without extent
    // keeps a finite scale.
    void scaleFitsBothSidesOfTheOrigin()
    {
        const auto axis = axisIn(400, 300, 100, 150);
        QCOMPARE(axis->maximum(), QPointF(0, 0));
        QCOMPARE(axis->scale(), QPointF(1, 1));
        GraphSeries *series = newCurve(Qt::red);
        series->addPoint(0, 0);
        axis->series << series;
        QCOMPARE(axis->scale(), QPointF(1, 1));
        const QPointF data = axis->pixelToData(QPointF(250, 20));
        QVERIFY(std::isfinite(data.x()) && std::isfinite(data.y()));
        QVERIFY(axis->tickStepX() > 0);

        series->addPoint(5, -50);
        GraphSeries *climb = newCurve(Qt::blue);
        climb->addPoint(10, 100);
        axis->series << climb;
        // Left of the origin there is no data, so the right side alone decides.
        QCOMPARE(axis->lowEdge(), QPointF(-100, -150));
        QCOMPARE(axis->highEdge(), QPointF(300, 150));
        const double sx = 300 / widened(10);
        const double sy = std::min(150 / widened(50), 150 / widened(100));
        QVERIFY(close(axis->scale().x(), sx));
        QVERIFY(close(axis->scale().y(), sy));
        const QPointF pixel = axis->dataToPixel(QPointF(10, 100));
        QVERIFY(close(pixel.x(), 100 + 10 * sx));
        QVERIFY(close(pixel.y(), 150 - 100 * sy));
        const QPointF back = axis->pixelToData(pixel);
        QVERIFY(close(back.x(), 10.0));
        QVERIFY(close(back.y(), 100.0));

        // The first curve's range and the second's point.
        series->rangeMaxX = 8;
        series->rangeMaxY = 1000;
        QCOMPARE(axis->maximum(), QPointF(widened(10), widened(1000)));
        QCOMPARE(axis->minimum(), QPointF(0, widened(-50)));
        axis->margin = 10;
        QCOMPARE(axis->lowEdge(), QPointF(-90, -140));
        QCOMPARE(axis->highEdge(), QPointF(290, 140));
        // The origin on the very edge of the data side must not give a zero scale.
        axis->originX = 0;
        series->addPoint(-5, 0);
        QVERIFY(axis->scale().x() > 0);
    }

    void tickStepsAreNice()
    {
        const std::pair<double, double> wantedAndStep[] = {{1, 1}, {0.3, 0.2}, {7, 5}, {8.5, 10}, {4300, 5000}};
        for (const auto &[wanted, step] : wantedAndStep)
            QVERIFY2(qFuzzyCompare(niceStep(wanted), step), qPrintable(QString::number(wanted)));
    }

    void valueLabelsUseTheKiloPrefix()
    {
        const std::tuple<double, const char *, const char *> valueUnitText[] = {
            {999, "m", "999 m"}, {1000, "m", "1 km"}, {-2500, "m", "-2.5 km"},
            {123.456, "dps", "123.5 dps"}, {3 * 0.1, "s", "0.3 s"}};
        for (const auto &[value, unit, text] : valueUnitText)
            QCOMPARE(valueLabel(value, unit), QString(text));
    }

    void keptPoints_data()
    {
        QTest::addColumn<QString>("points");
        QTest::addColumn<QString>("kept");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("sparse points all stay") << "0.5,1 3.5,9 10.5,-2 11.5,4" << "0.5,1 3.5,9 10.5,-2 11.5,4";
        // Column 5: the highest comes before the lowest, the order is the data's.
        QTest::newRow("first, lowest, highest, last of a column")
            << "5,3 5.1,8 5.2,6 5.3,9 5.4,2 5.5,1 5.6,4 5.9,5" << "5,3 5.3,9 5.5,1 5.9,5";
        QTest::newRow("no point twice") << "7,1 7.2,4 7.4,3 7.8,6" << "7,1 7.8,6";
        QTest::newRow("spike after a NaN") << "5,nan 5.1,100 5.2,1" << "5.1,100 5.2,1";
        QTest::newRow("NaN breaks the line once") << "1,1 2,nan 2.5,nan 3,3 4,nan" << "1,1 2,nan 3,3";
        QTest::newRow("inf breaks the line") << "1,1 1.5,2 1.7,inf 1.8,0" << "1,1 1.5,2 1.7,inf 1.8,0";
    }

    void keptPoints()
    {
        QFETCH(QString, points);
        QFETCH(QString, kept);
        QCOMPARE(text(thinned(parsed(points), true)), kept);
        QCOMPARE(text(thinned(parsed(points), false)), kept);
    }

    void runsOutsideTheViewKeepOnlyTheirEnds()
    {
        // Unsorted: the runs left and right collapse to their ends.  Sorted:
        // the view is found by search, starting one point before it.
        const QVector<QPointF> unsorted = parsed("-30,1 -20,90 -10,-40 -5,7 50,5 300,3 400,80 250,2");
        QCOMPARE(text(thinned(unsorted, false)), QStringLiteral("-30,1 -5,7 50,5 300,3 250,2"));
        const QVector<QPointF> sorted = parsed("-30,1 -20,90 -10,-40 -5,7 50,5 250,3 300,80");
        QCOMPARE(text(thinned(sorted, true)), QStringLiteral("-5,7 50,5 250,3"));
    }

    void zoomedInThinningKeepsOnlyTheVisibleStretch()
    {
        // 1000 s at 1 ms seen at 100 px per second from 500 s: 2 s in view.
        QVector<QPointF> points;
        for (int i = 0; i < 1000000; ++i)
            points.append(QPointF(i * 0.001, std::sin(i * 0.37)));
        const QVector<QPointF> kept = thinned(points, true, PixelColumns{100.0, -50000.0, 0.0, 199.0});
        QVERIFY(kept.size() > 200 && kept.size() <= 4 * 200 + 2);
        QVERIFY(kept.first().x() < 500.0 && kept.first().x() > 499.998);
        QVERIFY(kept.last().x() > 501.99 && kept.last().x() < 502.002);
    }

    void picturesAreTheSameAsDrawingEveryPoint_data()
    {
        QTest::addColumn<bool>("sorted");
        QTest::addColumn<bool>("antialiased");
        QTest::addColumn<bool>("walk");
        QTest::newRow("sorted, aliased") << true << false << false;
        QTest::newRow("unsorted, antialiased") << false << true << false;
        QTest::newRow("random walk filling whole columns") << true << true << true;
    }

    void picturesAreTheSameAsDrawingEveryPoint()
    {
        QFETCH(bool, sorted);
        QFETCH(bool, antialiased);
        QFETCH(bool, walk);
        const QVector<QPointF> points = samples(200000, walk, 7);
        const QVector<QPointF> kept = thinned(points, sorted, PixelColumns{1.0, 0.0, -2.0, 201.0});
        QVERIFY(kept.size() <= 4 * 204 + 4);
        QVERIFY(inkWithinOnePixel(drawn(points, antialiased), drawn(kept, antialiased)));
        QVERIFY(inkWithinOnePixel(drawn(kept, antialiased), drawn(points, antialiased)));
        // The labels' binary search over sorted points agrees with the linear one.
        QCOMPARE(labelledPointIndices(points, true, 0.7, 100), labelledPointIndices(points, false, 0.7, 100));
    }

    void labelsAreAtLeastTheSpacingApart()
    {
        const QVector<QPointF> every30 = parsed("0,0 30,0 60,0 90,0 120,0 150,0 180,0 210,0 240,0 270,0");
        for (bool sorted : {true, false}) {
            QCOMPARE(labelledPointIndices(every30, sorted, 1.0, 100), (QVector<int>{0, 4, 8}));
            QCOMPARE(labelledPointIndices(every30, sorted, 2.0, 100), (QVector<int>{0, 2, 4, 6, 8}));
            QVERIFY(labelledPointIndices({}, sorted, 1.0, 100).isEmpty());
        }
        // Unsorted points are labelled in their own order.
        QCOMPARE(labelledPointIndices(parsed("0,0 150,0 50,0 260,0 200,0"), false, 1.0, 100), (QVector<int>{0, 1, 3}));
    }
};

QTEST_MAIN(TestGraphData)
#include "test_graph_data.moc"
