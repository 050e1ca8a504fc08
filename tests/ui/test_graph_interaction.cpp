#include "ui/qgraph.h"

#include <QApplication>
#include <QCursor>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// A plot whose time axis spans 0 to 10 s of data, so the widened maximum is
// 13 s.  With the origin in the middle of an unzoomed view, the right edge is
// 13 s and the time under pixel x is 13 * (x - w/2) / (w/2).
std::unique_ptr<QGraph> plot(bool withAxis = true)
{
    auto graph = std::make_unique<QGraph>();
    if (withAxis) {
        auto *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
        axis->xUnit = QStringLiteral("s");
        auto *series = new GraphSeries(QPen(Qt::red), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        for (int i = 0; i <= 20; ++i)
            series->addPoint(i * 0.5, 40);
        series->rangeMinY = -40;
        axis->series << series;
        *graph << axis;
    }
    graph->resize(700, 500);
    graph->show();
    if (!QTest::qWaitForWindowExposed(graph.get()))
        return nullptr;
    // Keep the X server's own pointer off the plot: its moves, delivered
    // while QTest presses and releases, would start gestures of their own.
    QCursor::setPos(graph->mapToGlobal(QPoint(graph->width() + 200, graph->height() + 200)));
    QCoreApplication::processEvents();
    graph->view()->setOriginFraction(QPointF(0.5, 0.5));
    return graph;
}

double timeAtPixel(const QGraphView *view, double x)
{
    const double half = view->width() / 2.0;
    return 13.0 * (x - half) / half;
}

int pixelOfTime(const QGraphView *view, double time)
{
    const double half = view->width() / 2.0;
    return int(std::lround(half + time * half / 13.0));
}

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
    void zoomSlotsStopAtTheLimitsAndKeepTheCentre()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        graph->zoomX();
        QCOMPARE(view->offset().x(), -double(view->width() / 2));
        for (double zoom : {4, 8, 16, 20, 20}) {
            graph->zoomX();
            QCOMPARE(view->horizontalZoom(), zoom);
            QVERIFY(clamped(view, 1));
        }
        QCOMPARE(view->verticalZoom(), 1.0);
        // Zooming out never goes below the whole picture.
        view->zoomY(0.25f);
        QCOMPARE(view->verticalZoom(), 1.0);
        view->fit();
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
    }

    void wheelStaysBetweenOneAndTwenty()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        wheel(view, QPoint(100, 100), -120);
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
        wheel(view, QPoint(100, 100), 120);
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 1.25) && qFuzzyCompare(view->verticalZoom(), 1.25));
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(view->width() - 5, 5), 120);
            QVERIFY(clamped(view, 1));
        }
        QCOMPARE(view->horizontalZoom(), 20.0);
        QCOMPARE(view->verticalZoom(), 20.0);
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(5, view->height() - 5), -360);
            QVERIFY(clamped(view, 1));
        }
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->verticalZoom(), 1.0);
    }

    void wheelLeavesAZoomOfTwentyByOne()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        for (int i = 0; i < 5; ++i)
            graph->zoomX();
        wheel(view, QPoint(200, 200), -120);
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 16.0));
        QCOMPARE(view->verticalZoom(), 1.0);
        for (int i = 0; i < 2; ++i)
            wheel(view, QPoint(200, 200), 120);
        QCOMPARE(view->horizontalZoom(), 20.0);
        QVERIFY(qFuzzyCompare(view->verticalZoom(), 1.25 * 1.25));
        QVERIFY(clamped(view, 1));
    }

    void panningMovesTheContentWithinItsBounds()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
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
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
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
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        QTest::keyClick(view, Qt::Key_Space);
        const QPoint press(view->width() * 3 / 4, view->height() / 4);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, press);
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(std::fabs(*view->timelines()->front() - timeAtPixel(view, press.x())) < 0.01);
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
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        const double pixelsPerSecond = (view->width() / 2.0) / 13.0;
        // Ten pixels apart; the later one in the vector lies further left.
        auto right = std::make_shared<float>(float(6.5 + 10 / pixelsPerSecond));
        auto left = std::make_shared<float>(6.5f);
        *view->timelines() = {right, left};

        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(view, 6.5 + 5 / pixelsPerSecond), 100));
        QCOMPARE(view->selectedTimeline(), left);
        const QPoint target(pixelOfTime(view, 2.6), 120);
        moveHeld(view, target);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, target);
        QVERIFY(std::fabs(*left - timeAtPixel(view, target.x())) < 0.01);
        QCOMPARE(*right, float(6.5 + 10 / pixelsPerSecond));
        QCOMPARE(view->offset(), QPointF(0, 0));
        QCOMPARE(updated.count(), 1);
    }

    void deleteRemovesOnlyTheSelectedTimelineAndTellsTheOtherPlots()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        Timelines &timelines = *view->timelines();
        for (float time : {2.0f, 5.0f, 8.0f})
            timelines.push_back(std::make_shared<float>(time));
        const Timelines original = timelines;
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(view, 3.5), 50));
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, original);

        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(view, 5.0) + 3, 50));
        updated.clear();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
        QCOMPARE(updated.count(), 1);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
    }

    void pressesOnAGraphWithoutAxesOnlyPan()
    {
        auto graph = plot(false);
        QVERIFY(graph);
        QGraphView *view = graph->view();
        view->timelines()->push_back(std::make_shared<float>(0.0f));
        graph->zoomX();
        graph->zoomY();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() / 2, 40));
        QVERIFY(!view->selectedTimeline());
        QTest::keyClick(view, Qt::Key_Space);
        const QPointF offset = view->offset();
        drag(view, QPoint(200, 200), QPoint(230, 190));
        QCOMPARE(view->offset(), offset + QPointF(30, -10));
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(clamped(view, 0));
    }
};

QTEST_MAIN(TestGraphInteraction)
#include "test_graph_interaction.moc"
