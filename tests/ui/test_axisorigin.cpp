#include "ui/graphbuilding.h"
#include "ui/graphseries.h"
#include "ui/qgraph.h"

#include <QtTest>

// Where "Optimize Axis" puts the data origin of a chart with two value axes.
class TestAxisOrigin : public QObject
{
    Q_OBJECT

    static GraphSeries *curve(QPointF low, QPointF high)
    {
        GraphSeries *series = newCurve(Qt::red);
        series->addPoint(low), series->addPoint(high);
        return series;
    }

private slots:
    void originFollowsTheFirstAxis()
    {
        QGraph graph;
        graph.resize(600, 400);
        // x from -10 to 30 and y from -20 to 60: the origin a quarter of the
        // way from the left and from the bottom.  The second axis has no say.
        addAxis(&graph, Qt::red, {curve({-10, -20}, {30, 60})}, Tracked::No, Legend::No);
        addAxis(&graph, Qt::blue, {curve({0, -100}, {100, 10})}, Tracked::No, Legend::No);
        QGraphView *view = graph.view();
        view->optimizeAxis();
        QCOMPARE(view->originFraction(), QPointF(0.25, 0.75));
        // Shown, the origin keeps a strip for each axis's scale and one more
        // on the left: 3 * 60 px from the left edge, 2 * 60 px from the others.
        graph.show();
        QVERIFY(QTest::qWaitForWindowExposed(&graph));
        view->optimizeAxis();
        QCOMPARE(view->originFraction(), QPointF(std::max(0.25, double(float(3 * 60) / view->width())),
                                                 std::min(0.75, double(float(view->height() - 2 * 60) / view->height()))));
        // An axis whose data sit on zero leaves the origin where it is.
        QGraph flat;
        addAxis(&flat, Qt::red, {curve({0, 0}, {0, 0})}, Tracked::No, Legend::No);
        flat.view()->setOriginFraction(QPointF(0.375, 0.625));
        flat.view()->optimizeAxis();
        QCOMPARE(flat.view()->originFraction(), QPointF(0.375, 0.625));
    }
};

QTEST_MAIN(TestAxisOrigin)
#include "test_axisorigin.moc"
