#include "ui/qgraph.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenuBar>
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
    // while QTest presses and releases, would change the cursor under test.
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
void moveWith(QWidget *widget, const QPoint &position, Qt::MouseButtons buttons)
{
    QMouseEvent event(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void moveHeld(QWidget *widget, const QPoint &position)
{
    moveWith(widget, position, Qt::LeftButton);
}

void hover(QWidget *widget, const QPoint &position)
{
    moveWith(widget, position, Qt::NoButton);
}

void drag(QWidget *widget, const QPoint &from, const QPoint &to)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    moveHeld(widget, (from + to) / 2);
    moveHeld(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

// Empty when offsets and origin lie where every gesture must leave them.
QString clampViolation(const QGraphView *view, int axisCount)
{
    const double w = view->width();
    const double h = view->height();
    const QPointF offset = view->offset();
    const double tolerance = 1e-6;
    if (offset.x() > 0 || offset.y() > 0)
        return QStringLiteral("positive offset %1,%2").arg(offset.x()).arg(offset.y());
    if (offset.x() < w - w * view->horizontalZoom() - tolerance || offset.y() < h - h * view->verticalZoom() - tolerance)
        return QStringLiteral("offset %1,%2 beyond the content").arg(offset.x()).arg(offset.y());
    const QPointF origin = view->originFraction();
    const double strip = view->axisStrip();
    const double reserved = axisCount * strip;
    if (origin.x() < (strip + reserved) / w - tolerance || origin.x() > (w - reserved) / w + tolerance
        || origin.y() < reserved / h - tolerance || origin.y() > (h - reserved) / h + tolerance)
        return QStringLiteral("origin fraction %1,%2 outside the clamp").arg(origin.x()).arg(origin.y());
    return QString();
}

#define VERIFY_CLAMPED(view, axes)                                   \
    do {                                                             \
        const QString violation = clampViolation(view, axes);        \
        QVERIFY2(violation.isEmpty(), qPrintable(violation));        \
    } while (false)

QAction *optionsAction(QGraph *graph, const QString &text)
{
    const QList<QAction *> menus = graph->menuBar()->actions();
    for (QAction *menu : menus) {
        if (menu->text() != QLatin1String("Options"))
            continue;
        const QList<QAction *> actions = menu->menu()->actions();
        for (QAction *action : actions)
            if (action->text() == text)
                return action;
    }
    return nullptr;
}

} // namespace

class TestGraphInteraction : public QObject
{
    Q_OBJECT

private slots:
    void optionsMenuHoldsTheActionsInOrder()
    {
        auto graph = plot();
        QVERIFY(graph);
        const QList<QAction *> menus = graph->menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus.first()->text(), QStringLiteral("Options"));
        QStringList texts;
        const QList<QAction *> actions = menus.first()->menu()->actions();
        for (const QAction *action : actions)
            texts << action->text();
        QCOMPARE(texts, QStringList({"Show Overview", "Track input", "Zoom X", "Zoom Y", "Fit", "Optimize Axis"}));
        QVERIFY(optionsAction(graph.get(), "Show Overview")->isChecked());
        QVERIFY(!optionsAction(graph.get(), "Track input")->isChecked());

        optionsAction(graph.get(), "Show Overview")->trigger();
        QVERIFY(!graph->view()->isShowingOverview());
        optionsAction(graph.get(), "Track input")->trigger();
        QVERIFY(graph->view()->isTracking());
    }

    void zoomSlotsStopAtTheMaximum()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        const double expected[] = {2, 4, 8, 16, 20, 20};
        for (double zoom : expected) {
            graph->zoomX();
            QCOMPARE(view->horizontalZoom(), zoom);
            QCOMPARE(view->verticalZoom(), 1.0);
            VERIFY_CLAMPED(view, 1);
        }
        optionsAction(graph.get(), "Zoom Y")->trigger();
        QCOMPARE(view->verticalZoom(), 2.0);
        VERIFY_CLAMPED(view, 1);
        // Zooming out never goes below the whole picture.
        view->zoomY(0.25f);
        QCOMPARE(view->verticalZoom(), 1.0);
        VERIFY_CLAMPED(view, 1);

        optionsAction(graph.get(), "Fit")->trigger();
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
    }

    void zoomSlotKeepsTheCentre()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        graph->zoomX();
        QCOMPARE(view->offset().x(), -double(view->width() / 2));
        graph->zoomY();
        QCOMPARE(view->offset().y(), -double(view->height() / 2));
    }

    void wheelStaysBetweenOneAndTwenty()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        const QPoint middle(view->width() / 3, view->height() / 3);

        wheel(view, middle, -120);
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));

        wheel(view, middle, 120);
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 1.25));
        QVERIFY(qFuzzyCompare(view->verticalZoom(), 1.25));
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(view->width() - 5, 5), 120);
            QVERIFY(view->horizontalZoom() <= 20.0 && view->verticalZoom() <= 20.0);
            VERIFY_CLAMPED(view, 1);
        }
        QCOMPARE(view->horizontalZoom(), 20.0);
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(5, view->height() - 5), -360);
            QVERIFY(view->horizontalZoom() >= 1.0 && view->verticalZoom() >= 1.0);
            VERIFY_CLAMPED(view, 1);
        }
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->verticalZoom(), 1.0);
    }

    void wheelLimitsBothDirectionsWithOneFactor()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        view->zoomY(18);
        wheel(view, QPoint(50, 50), 120);
        // 18 * 1.25 would pass 20 on the vertical axis, so both grow by 20/18.
        QVERIFY(qFuzzyCompare(view->verticalZoom(), 20.0));
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 20.0 / 18.0));
        VERIFY_CLAMPED(view, 1);
    }

    void wheelKeepsThePointUnderTheMouse()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        const double w = view->width();
        const double h = view->height();
        const struct {
            QPoint mouse;
            int delta;
        } steps[] = {{QPoint(int(0.6 * w), int(0.4 * h)), 120},
                     {QPoint(int(0.3 * w), int(0.7 * h)), 120},
                     {QPoint(int(0.5 * w), int(0.5 * h)), -120}};
        for (const auto &step : steps) {
            // Unzoomed content position under the mouse before and after.
            const QPointF before = (QPointF(step.mouse) - view->offset()) / view->horizontalZoom();
            wheel(view, step.mouse, step.delta);
            const QPointF after = (QPointF(step.mouse) - view->offset()) / view->horizontalZoom();
            QVERIFY2(std::fabs(before.x() - after.x()) < 1e-6 && std::fabs(before.y() - after.y()) < 1e-6,
                     qPrintable(QStringLiteral("%1,%2 moved to %3,%4").arg(before.x()).arg(before.y())
                                    .arg(after.x()).arg(after.y())));
            VERIFY_CLAMPED(view, 1);
        }
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
        VERIFY_CLAMPED(view, 1);

        drag(view, QPoint(10, 10), QPoint(w - 10, h - 10));
        drag(view, QPoint(10, 10), QPoint(w - 10, h - 10));
        QCOMPARE(view->offset(), QPointF(0, 0));
        for (int i = 0; i < 4; ++i)
            drag(view, QPoint(w - 10, h - 10), QPoint(10, 10));
        QCOMPARE(view->offset(), QPointF(w - 4.0 * w, h - 4.0 * h));
        VERIFY_CLAMPED(view, 1);
    }

    void originHandleMovesTheOriginWithinItsClamp()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        const int w = view->width();
        const int h = view->height();
        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(view->isOriginHandleMode());

        const QPoint handle(w / 2, h / 2);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, handle + QPoint(6, -6));
        QCOMPARE(view->cursor().shape(), Qt::SizeAllCursor);
        moveHeld(view, QPoint(w * 3 / 4, h / 4));
        QVERIFY(std::fabs(view->originFraction().x() - double(w * 3 / 4) / w) < 1e-6);
        QVERIFY(std::fabs(view->originFraction().y() - double(h / 4) / h) < 1e-6);
        moveHeld(view, QPoint(0, 0));
        QVERIFY(std::fabs(view->originFraction().x() - 120.0 / w) < 1e-6);
        QVERIFY(std::fabs(view->originFraction().y() - 60.0 / h) < 1e-6);
        moveHeld(view, QPoint(w + 40, h + 40));
        QVERIFY(std::fabs(view->originFraction().x() - (w - 60.0) / w) < 1e-6);
        QVERIFY(std::fabs(view->originFraction().y() - (h - 60.0) / h) < 1e-6);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(w - 1, h - 1));
        // Grabbing the handle does not place a timeline.
        QVERIFY(view->timelines()->empty());
        VERIFY_CLAMPED(view, 1);

        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(!view->isOriginHandleMode());
    }

    void pressInOriginHandleModeAddsATimelineAndPans()
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
        QCOMPARE(view->offset(), offset + QPointF(-40, 0));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, press + QPoint(-40, 0));
        QCOMPARE(view->timelines()->size(), size_t(1));
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
        view->timelines()->push_back(right);
        view->timelines()->push_back(left);

        const int between = pixelOfTime(view, 6.5 + 5 / pixelsPerSecond);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(between, 100));
        QCOMPARE(view->selectedTimeline(), left);
        const QPoint target(pixelOfTime(view, 2.6), 120);
        moveHeld(view, target);
        QVERIFY(std::fabs(*left - timeAtPixel(view, target.x())) < 0.01);
        QCOMPARE(*right, float(6.5 + 10 / pixelsPerSecond));
        QCOMPARE(view->offset(), QPointF(0, 0));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, target);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(view->timelines()->size(), size_t(2));
    }

    void deleteRemovesOnlyTheSelectedTimeline()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        Timelines &timelines = *view->timelines();
        for (float time : {2.0f, 5.0f, 8.0f})
            timelines.push_back(std::make_shared<float>(time));
        const Timelines original = timelines;

        // Nothing selected: Delete changes nothing.
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, original);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(view, 3.5), 50));
        QVERIFY(!view->selectedTimeline());
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, original);

        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(view, 5.0) + 3, 50));
        QCOMPARE(view->selectedTimeline(), original.at(1));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(timelines, Timelines({original.at(0), original.at(2)}));
    }

    void timelinesAreSharedBetweenViews()
    {
        auto first = plot();
        auto second = plot();
        QVERIFY(first && second);
        auto shared = std::make_shared<Timelines>();
        first->view()->setTimelines(shared);
        second->view()->setTimelines(shared);

        QTest::keyClick(first->view(), Qt::Key_Space);
        QTest::mouseClick(first->view(), Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(first->view(), 4.0), 30));
        QCOMPARE(second->view()->timelines(), shared);
        QCOMPARE(shared->size(), size_t(1));

        // The second view picks it up and deletes it for both.
        QTest::mouseClick(second->view(), Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(second->view(), 4.0), 30));
        QCOMPARE(second->view()->selectedTimeline(), shared->front());
        QTest::keyClick(second->view(), Qt::Key_Delete);
        QVERIFY(first->view()->timelines()->empty());

        // Handing over a new vector forgets the old selection.
        QTest::mouseClick(second->view(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        shared->push_back(std::make_shared<float>(1.0f));
        QTest::mouseClick(second->view(), Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(second->view(), 1.0), 30));
        QVERIFY(second->view()->selectedTimeline());
        second->view()->setTimelines(std::make_shared<Timelines>());
        QVERIFY(!second->view()->selectedTimeline());

        // Without a vector the view keeps an empty one of its own.
        second->view()->setTimelines(nullptr);
        QVERIFY(second->view()->timelines());
        QTest::keyClick(second->view(), Qt::Key_Space);
        QTest::mouseClick(second->view(), Qt::LeftButton, Qt::NoModifier, QPoint(pixelOfTime(second->view(), 2.0), 30));
        QCOMPARE(second->view()->timelines()->size(), size_t(1));
    }

    void pressesOnAGraphWithoutAxesOnlyPan()
    {
        auto graph = plot(false);
        QVERIFY(graph);
        QGraphView *view = graph->view();
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        view->timelines()->push_back(std::make_shared<float>(0.0f));
        graph->zoomX();
        graph->zoomY();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() / 2, 40));
        QVERIFY(!view->selectedTimeline());
        QTest::keyClick(view, Qt::Key_Space);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() / 3, 40));
        QCOMPARE(view->timelines()->size(), size_t(1));
        const QPointF offset = view->offset();
        drag(view, QPoint(200, 200), QPoint(230, 190));
        QCOMPARE(view->offset(), offset + QPointF(30, -10));
        QCOMPARE(updated.count(), 3);
        VERIFY_CLAMPED(view, 0);
        view->optimizeAxis();
        view->fit();
        VERIFY_CLAMPED(view, 0);
    }

    void cursorsShowWhatADragWillDo()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        view->timelines()->push_back(std::make_shared<float>(5.0f));
        const int timeline = pixelOfTime(view, 5.0);

        hover(view, QPoint(timeline + 4, 60));
        QCOMPARE(view->cursor().shape(), Qt::SizeAllCursor);
        hover(view, QPoint(timeline + 40, 60));
        QCOMPARE(view->cursor().shape(), Qt::OpenHandCursor);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(timeline + 40, 60));
        moveHeld(view, QPoint(timeline + 30, 60));
        QCOMPARE(view->cursor().shape(), Qt::ClosedHandCursor);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(timeline + 30, 60));
        QCOMPARE(view->cursor().shape(), Qt::OpenHandCursor);

        QTest::keyClick(view, Qt::Key_Space);
        hover(view, QPoint(view->width() / 2 + 5, view->height() / 2 + 5));
        QCOMPARE(view->cursor().shape(), Qt::SizeAllCursor);
        QTest::keyClick(view, Qt::Key_Space);

        view->setTracking(true);
        QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);
        hover(view, QPoint(timeline + 40, 70));
        QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);
        view->setTracking(false);
        QCOMPARE(view->cursor().shape(), Qt::OpenHandCursor);
    }

    void resizeKeepsOffsetsAndOriginClamped()
    {
        auto graph = plot();
        QVERIFY(graph);
        QGraphView *view = graph->view();
        view->zoomX(4);
        view->zoomY(4);
        view->setOffset(QPointF(-1e9, -1e9));
        VERIFY_CLAMPED(view, 1);
        view->setOriginFraction(QPointF(0.99, 0.99));
        graph->resize(900, 650);
        QTRY_COMPARE(view->width(), 900);
        VERIFY_CLAMPED(view, 1);
        view->optimizeAxis();
        VERIFY_CLAMPED(view, 1);
    }
};

QTEST_MAIN(TestGraphInteraction)
#include "test_graph_interaction.moc"
