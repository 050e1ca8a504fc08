#include "ui/graphaxis.h"
#include "ui/graphseries.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

GraphSeries *curve()
{
    return new GraphSeries(QPen(Qt::red), QPen(Qt::black), QBrush(Qt::black), 2.0f);
}

Axis *axisIn(double width, double height, double originX, double originY)
{
    auto *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
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

    void extentsIncludeRangesAndAreWidened()
    {
        Axis *axis = axisIn(400, 300, 100, 150);
        QCOMPARE(axis->minimum(), QPointF(0, 0));
        QCOMPARE(axis->maximum(), QPointF(0, 0));
        QCOMPARE(axis->scale(), QPointF(1, 1));

        GraphSeries *altitude = curve();
        altitude->rangeMaxX = 10;
        altitude->rangeMaxY = 1000;
        axis->series << altitude;
        QCOMPARE(axis->maximum(), QPointF(widened(10), widened(1000)));
        QCOMPARE(axis->minimum(), QPointF(0, 0));

        GraphSeries *acceleration = curve();
        acceleration->addPoint(12, -50);
        axis->series << acceleration;
        QCOMPARE(axis->maximum(), QPointF(widened(12), widened(1000)));
        QCOMPARE(axis->minimum(), QPointF(0, widened(-50)));
        delete axis;
    }

    void scaleFitsBothSidesOfTheOrigin()
    {
        Axis *axis = axisIn(400, 300, 100, 150);
        GraphSeries *series = curve();
        series->addPoint(10, 100);
        series->addPoint(5, -50);
        axis->series << series;
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

        axis->margin = 10;
        QCOMPARE(axis->lowEdge(), QPointF(-90, -140));
        QCOMPARE(axis->highEdge(), QPointF(290, 140));
        delete axis;
    }

    void axisWithoutExtentHasAFiniteScale()
    {
        Axis *axis = axisIn(400, 300, 100, 150);
        GraphSeries *series = curve();
        series->addPoint(0, 0);
        axis->series << series;
        QCOMPARE(axis->scale(), QPointF(1, 1));
        const QPointF data = axis->pixelToData(QPointF(250, 20));
        QVERIFY(std::isfinite(data.x()) && std::isfinite(data.y()));
        QVERIFY(axis->tickStepX() > 0);

        // The origin on the very edge of the data side must not give a zero scale.
        axis->originX = 0;
        series->addPoint(-5, 0);
        QVERIFY(axis->scale().x() > 0);
        delete axis;
    }

    void tickStepsAreNice_data()
    {
        QTest::addColumn<double>("wanted");
        QTest::addColumn<double>("step");
        QTest::newRow("one") << 1.0 << 1.0;
        QTest::newRow("three to two") << 0.3 << 0.2;
        QTest::newRow("seven to five") << 7.0 << 5.0;
        QTest::newRow("eight to ten") << 8.5 << 10.0;
        QTest::newRow("thousands") << 4300.0 << 5000.0;
    }

    void tickStepsAreNice()
    {
        QFETCH(double, wanted);
        QFETCH(double, step);
        QVERIFY2(qFuzzyCompare(niceStep(wanted), step), qPrintable(QString::number(niceStep(wanted))));
    }

    void valueLabelsUseTheKiloPrefix_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::newRow("below a thousand") << 999.0 << "m" << "999 m";
        QTest::newRow("a thousand") << 1000.0 << "m" << "1 km";
        QTest::newRow("negative") << -2500.0 << "m" << "-2.5 km";
        QTest::newRow("four digits") << 123.456 << "dps" << "123.5 dps";
        QTest::newRow("sum of steps") << 3 * 0.1 << "s" << "0.3 s";
    }

    void valueLabelsUseTheKiloPrefix()
    {
        QFETCH(double, value);
        QFETCH(QString, unit);
        QFETCH(QString, text);
        QCOMPARE(valueLabel(value, unit), text);
    }
};

QTEST_APPLESS_MAIN(TestGraphData)
#include "test_graph_data.moc"
