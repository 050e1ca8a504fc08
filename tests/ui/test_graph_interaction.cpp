#include "plotfixture.h"
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

namespace {

void wheel(QWidget *widget, const QPoint &position, int delta)
{
    QWheelEvent event(QPointF(position), QPointF(widget->mapToGlobal(position)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// QTest's widget mouseMove goes through the window system and carries no
// buttons: it arrives late on a busy display and never reaches a widget that
// has switched mouse tracking off for a drag.  These moves are delivered at once.
void moveHeld(QWidget *widget, const QPoint &position)
{
    QMouseEvent event(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void drag(QWidget *widget, const QPoint &from, const QPoint &to)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    moveHeld(widget, (from + to) / 2);
    moveHeld(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

// True when offsets and origin lie where every gesture must leave them.
bool clamped(const QGraphView *view, int axisCount)
{
    const double w = view->width(), h = view->height(), e = 1e-6;
    const QPointF offset = view->offset();
    const QPointF origin = view->originFraction();
    const double strip = view->axisStrip();
    const double reserved = axisCount * strip;
    return offset.x() <= 0 && offset.y() <= 0 && offset.x() >= w - w * view->horizontalZoom() - e
        && offset.y() >= h - h * view->verticalZoom() - e && origin.x() >= (strip + reserved) / w - e
        && origin.x() <= (w - reserved) / w + e && origin.y() >= reserved / h - e && origin.y() <= (h - reserved) / h + e;
}

} // namespace

class TestGraphInteraction : public QObject
{
    Q_OBJECT

private slots:
    // Slots and wheel zoom each direction within 1 to 20, keeping the view clamped.
    void zoomStaysWithinItsLimits()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        wheel(view, QPoint(100, 100), -120);
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
        p.graph->zoomX();
        QCOMPARE(view->offset().x(), -double(view->width() / 2));
        for (double zoom : {4, 8, 16, 20, 20}) {
            p.graph->zoomX();
            QCOMPARE(view->horizontalZoom(), zoom);
            QVERIFY(clamped(view, 1));
        }
        wheel(view, QPoint(200, 200), -120);
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 16.0));
        QCOMPARE(view->verticalZoom(), 1.0);
        // No sticking once one direction reaches 20 while the other is at 1.
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(view->width() - 5, 5), 120);
            QVERIFY(clamped(view, 1));
        }
        QCOMPARE(view->horizontalZoom(), 20.0);
        QCOMPARE(view->verticalZoom(), 20.0);
        view->fit();
        QCOMPARE(view->verticalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
    }

    void panningMovesTheContentWithinItsBounds()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        const int w = view->width();
        const int h = view->height();
        const QPoint middle(w / 2 + 7, h / 2 + 7);
        drag(view, middle, middle + QPoint(-100, -80));
        QCOMPARE(view->offset(), QPointF(0, 0));

        view->zoomX(4);
        view->zoomY(4);
        const QPointF start = view->offset();
        drag(view, middle, middle + QPoint(100, 50));
        QCOMPARE(view->offset(), start + QPointF(100, 50));
        for (int i = 0; i < 4; ++i)
            drag(view, QPoint(w - 10, h - 10), QPoint(10, 10));
        QCOMPARE(view->offset(), QPointF(w - 4.0 * w, h - 4.0 * h));
    }

    void originHandleMovesTheOriginWithinItsClamp()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        const int w = view->width();
        const int h = view->height();
        QTest::keyClick(view, Qt::Key_Space);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2 + 6, h / 2 - 6));
        moveHeld(view, QPoint(w * 3 / 4, h / 4));
        QVERIFY(std::fabs(view->originFraction().x() - double(w * 3 / 4) / w) < 1e-6);
        QVERIFY(std::fabs(view->originFraction().y() - double(h / 4) / h) < 1e-6);
        // Strip plus one axis on the left, one axis elsewhere.
        moveHeld(view, QPoint(0, h + 40));
        QVERIFY(std::fabs(view->originFraction().x() - 120.0 / w) < 1e-6);
        QVERIFY(std::fabs(view->originFraction().y() - (h - 60.0) / h) < 1e-6);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(0, h - 1));
        // Grabbing the handle does not place a timeline.
        QVERIFY(view->timelines()->empty());
    }

    void aPressInOriginHandleModePlacesOneTimelineAndPans()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        QTest::keyClick(view, Qt::Key_Space);
        const QPoint press(view->width() * 3 / 4, view->height() / 4);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, press);
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(std::fabs(*view->timelines()->front() - p.timeAt(press.x())) < 0.01);
        // The same press also pans: content moves once zoomed.
        view->zoomX(2);
        const QPointF offset = view->offset();
        moveHeld(view, press + QPoint(-40, 0));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, press + QPoint(-40, 0));
        QCOMPARE(view->offset(), offset + QPointF(-40, 0));
        QCOMPARE(view->timelines()->size(), size_t(1));

        // A double click is one gesture: one more timeline, not two.
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(100, 100), view->mapToGlobal(QPoint(100, 100)), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        }
        QCOMPARE(view->timelines()->size(), size_t(2));
    }

    void theLaterOfTwoCloseTimelinesIsPickedAndDragged()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        const double pixelsPerSecond = (view->width() / 2.0) / 13.0;
        // Ten pixels apart; the later one in the vector lies further left.
        auto right = std::make_shared<float>(float(6.5 + 10 / pixelsPerSecond));
        auto left = std::make_shared<float>(6.5f);
        *view->timelines() = {right, left};

        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(p.pixel(6.5 + 5 / pixelsPerSecond, 0).x(), 100));
        QCOMPARE(view->selectedTimeline(), left);
        const QPoint target(p.pixel(2.6, 0).x(), 120);
        moveHeld(view, target);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, target);
        QVERIFY(std::fabs(*left - p.timeAt(target.x())) < 0.01);
        QCOMPARE(*right, float(6.5 + 10 / pixelsPerSecond));
        QCOMPARE(view->offset(), QPointF(0, 0));
        QCOMPARE(updated.count(), 1);
    }

    void deleteRemovesOnlyTheSelectedTimelineAndTellsTheOtherPlots()
    {
        Plot p;
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        Timelines &timelines = *view->timelines();
        for (float time : {2.0f, 5.0f, 8.0f})
            timelines.push_back(std::make_shared<float>(time));
        const Timelines original = timelines;
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(p.pixel(3.5, 0).x(), 50));
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, original);

        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(p.pixel(5.0, 0).x() + 3, 50));
        updated.clear();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
        QCOMPARE(updated.count(), 1);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
    }

    void pressesOnAGraphWithoutAxesOnlyPan()
    {
        Plot p(false);
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        view->timelines()->push_back(std::make_shared<float>(0.0f));
        p.graph->zoomX();
        p.graph->zoomY();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() / 2, 40));
        QVERIFY(!view->selectedTimeline());
        QTest::keyClick(view, Qt::Key_Space);
        const QPointF offset = view->offset();
        drag(view, QPoint(200, 200), QPoint(230, 190));
        QCOMPARE(view->offset(), offset + QPointF(30, -10));
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(clamped(view, 0));
    }

    // Where "Optimize Axis" puts the data origin of a chart with two value axes.
    void optimizedOriginFollowsTheFirstAxis()
    {
        const auto curve = [](QPointF low, QPointF high) {
            GraphSeries *series = newCurve(Qt::red);
            series->addPoint(low), series->addPoint(high);
            return series;
        };
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

QTEST_MAIN(TestGraphInteraction)
#include "test_graph_interaction.moc"
