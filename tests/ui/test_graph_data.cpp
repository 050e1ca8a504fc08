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
    void seriesBoundsAlwaysContainZero()
    {
        GraphSeries series(QPen(), QPen(), QBrush(), 1.0f);
        series.addPoint(2, 5);
        series.addPoint(3, 1);
        QCOMPARE(series.minX(), 0.0);
        QCOMPARE(series.minY(), 0.0);
        QCOMPARE(series.maxX(), 3.0);
        QCOMPARE(series.maxY(), 5.0);
        series.addPoint(-1, -4);
        QCOMPARE(series.minX(), -1.0);
        QCOMPARE(series.minY(), -4.0);
        QCOMPARE(series.points().size(), 3);
        QCOMPARE(series.points().at(1), QPointF(3, 1));
    }

    void clearResetsPointsBoundsAndRanges()
    {
        GraphSeries series(QPen(), QPen(), QBrush(), 1.0f);
        series.rangeMaxX = 10;
        series.rangeMaxY = 1000;
        series.rangeMinY = -5;
        series.addPoint(-2, 7);
        series.addPoint(-3, 7);
        QVERIFY(!series.isSortedByX());
        series.clear();
        QVERIFY(series.points().isEmpty());
        QCOMPARE(series.minX(), 0.0);
        QCOMPARE(series.maxY(), 0.0);
        QCOMPARE(series.rangeMaxX, 0.0);
        QCOMPARE(series.rangeMaxY, 0.0);
        QCOMPARE(series.rangeMinY, 0.0);
        QVERIFY(series.isSortedByX());
    }

    void sortednessFollowsTheTimes()
    {
        GraphSeries series(QPen(), QPen(), QBrush(), 1.0f);
        series.addPoint(1, 0);
        series.addPoint(1, 3);
        series.addPoint(2, 0);
        QVERIFY(series.isSortedByX());
        series.addPoint(1.5, 0);
        QVERIFY(!series.isSortedByX());

        GraphSeries withNaN(QPen(), QPen(), QBrush(), 1.0f);
        withNaN.addPoint(std::numeric_limits<double>::quiet_NaN(), 0);
        QVERIFY(!withNaN.isSortedByX());
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
        QTest::newRow("two stays") << 2.5 << 2.0;
        QTest::newRow("three to two") << 0.3 << 0.2;
        QTest::newRow("four to five") << 0.45 << 0.5;
        QTest::newRow("seven to five") << 7.0 << 5.0;
        QTest::newRow("eight to ten") << 8.5 << 10.0;
        QTest::newRow("nine to ten") << 0.0009 << 0.001;
        QTest::newRow("tens") << 35.0 << 20.0;
        QTest::newRow("thousands") << 4300.0 << 5000.0;
    }

    void tickStepsAreNice()
    {
        QFETCH(double, wanted);
        QFETCH(double, step);
        QVERIFY2(qFuzzyCompare(niceStep(wanted), step), qPrintable(QString::number(niceStep(wanted))));
    }

    void tickStepFollowsTheScale()
    {
        Axis *axis = axisIn(400, 300, 100, 150);
        GraphSeries *series = curve();
        series->addPoint(10, 100);
        axis->series << series;
        // 100 px at 300/13 px per second is 4.33 s, which reads as 5 s.
        QVERIFY(qFuzzyCompare(axis->tickStepX(), 5.0));
        // 50 px at 150/130 px per unit is 43.3, which reads as 50.
        QVERIFY(qFuzzyCompare(axis->tickStepY(), 50.0));
        delete axis;
    }

    void degenerateTickStepsAreZero()
    {
        QCOMPARE(niceStep(0), 0.0);
        QCOMPARE(niceStep(-3), 0.0);
        QCOMPARE(niceStep(std::numeric_limits<double>::infinity()), 0.0);
        QCOMPARE(niceStep(std::numeric_limits<double>::quiet_NaN()), 0.0);
    }

    void valueLabelsUseTheKiloPrefix_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::newRow("below a thousand") << 999.0 << "m" << "999 m";
        QTest::newRow("a thousand") << 1000.0 << "m" << "1 km";
        QTest::newRow("negative") << -2500.0 << "m" << "-2.5 km";
        QTest::newRow("one and a half") << 1500.0 << "m" << "1.5 km";
        QTest::newRow("zero") << 0.0 << "s" << "0 s";
        QTest::newRow("fraction") << 0.25 << "g" << "0.25 g";
        QTest::newRow("four digits") << 123.456 << "dps" << "123.5 dps";
        QTest::newRow("no unit") << 20.0 << "" << "20 ";
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
