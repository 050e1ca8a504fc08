// The plot view: curves drawn where their points land, gestures (zoom, pan,
// origin handle, timelines) and where "Optimize Axis" puts the origin.
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"
#include "ui/qgraph.h"

#include <QApplication>
#include <QCursor>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// A plot with the data origin in the middle of a 700 x 500 view.  The time
// axis holds 0..10 s, widened to 13 s at the right edge; values span
// -40..40, widened to -52..52.  So data (t, v) lands at
// (w/2 + t * (w/2)/13, h/2 - v * (h/2)/52) while unzoomed.
struct Plot {
    std::unique_ptr<QGraph> graph = std::make_unique<QGraph>();
    Axis *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
    // Red at 40 from 0 to 10 s; blue from (0, 0) down to (10, -40).
    GraphSeries *level = new GraphSeries(QPen(Qt::red, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
    GraphSeries *slope = new GraphSeries(QPen(Qt::blue, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);

    Plot()
    {
        axis->xUnit = QStringLiteral("s");
        for (int i = 0; i <= 20; ++i) {
            level->addPoint(i * 0.5, 40);
            slope->addPoint(i * 0.5, -i * 2.0);
        }
        axis->series << level << slope;
        *graph << axis;
        graph->resize(700, 500);
        graph->show();
        if (!QTest::qWaitForWindowExposed(graph.get())) {
            graph.reset();
            return;
        }
        // Keep the X server's own pointer off the plot: its moves, delivered
        // while QTest presses and releases, would start gestures of their own.
        QCursor::setPos(graph->mapToGlobal(QPoint(graph->width() + 200, graph->height() + 200)));
        QCoreApplication::processEvents();
        view()->setOriginFraction(QPointF(0.5, 0.5));
    }

    QGraphView *view() const { return graph->view(); }
    QPoint pixel(double t, double v) const
    {
        const double w = view()->width() / 2.0;
        const double h = view()->height() / 2.0;
        return QPoint(int(std::lround(w + t * w / 13)), int(std::lround(h - v * h / 52)));
    }
    double timeAt(double x) const { return 13.0 * (x - view()->width() / 2.0) / (view()->width() / 2.0); }
};

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

// True when the zoomed content covers the whole view, as every gesture must leave it.
bool clamped(const QGraphView *view)
{
    const double w = view->width(), h = view->height(), e = 1e-6;
    const QPointF offset = view->offset();
    return offset.x() <= 0 && offset.y() <= 0 && offset.x() >= w - w * view->horizontalZoom() - e
        && offset.y() >= h - h * view->verticalZoom() - e;
}

using ColourTest = std::function<bool(const QColor &)>;

bool isRed(const QColor &c) { return c.red() > 200 && c.green() < 110 && c.blue() < 110; }
bool isBlue(const QColor &c) { return c.blue() > 200 && c.red() < 200 && c.green() < 200; }
bool isMagenta(const QColor &c) { return c.red() > 150 && c.blue() > 100 && c.green() < 160; }
// The visible-window rectangle of the overview: orange at half alpha over white.
bool isOverviewWindow(const QColor &c) { return c.red() > 230 && c.green() > 160 && c.green() < 220 && c.blue() < 160; }

int count(const QImage &image, const QRect &area, const ColourTest &test)
{
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            found += image.rect().contains(x, y) && test(image.pixelColor(x, y));
    return found;
}

// True if some pixel within one pixel of `at` passes the test; antialiasing
// may put a line's strongest pixel next to where it mathematically lies.
bool near(const QImage &image, const QPoint &at, const ColourTest &test)
{
    return count(image, QRect(at - QPoint(1, 1), QSize(3, 3)), test) > 0;
}

QImage shot(QGraphView *view)
{
    view->repaint();
    return view->grabFrameBuffer();
}

} // namespace

class TestGraphView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Plot> p;
    QGraphView *view = nullptr;

private slots:
    void init()
    {
        p = std::make_unique<Plot>();
        QVERIFY(p->graph);
        view = p->view();
    }
    void cleanup() { p.reset(); }

    // Curves pass through their points; a value that is not a number leaves a gap.
    void curvesPassThroughTheirPoints()
    {
        p->slope->clear();
        for (int i = 0; i <= 20; ++i)
            p->slope->addPoint(i * 0.5, i == 11 ? std::nan("") : -i * 2.0);
        const QImage image = shot(view);
        // Away from the labelled points at 0, 4 and 8 s, which carry markers.
        for (double t : {1.5, 2.5, 6.0, 9.0}) {
            QVERIFY2(near(image, p->pixel(t, 40), isRed), qPrintable(QString::number(t)));
            QVERIFY2(near(image, p->pixel(t, -t * 4), isBlue), qPrintable(QString::number(t)));
            QVERIFY(!near(image, p->pixel(t, 40) + QPoint(0, 12), isRed));
        }
        QVERIFY(!near(image, p->pixel(5.5, -22), isBlue));
        // Nothing right of the data's end.
        QVERIFY(!near(image, p->pixel(11, 40), isRed));
    }

    // One "apogee" sample among 20000 flat ones must be drawn however many
    // samples share its pixel column: in the plot, zoomed in and panned to
    // it, and in the overview box.
    void aOneSampleSpikeIsAlwaysDrawn()
    {
        auto *spiky = new GraphSeries(QPen(Qt::magenta, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        spiky->showMarkers = false;
        const double spikeTime = 5.0005;
        for (int i = 0; i <= 20000; ++i)
            spiky->addPoint(i * 0.0005, i == 10001 ? 40 : 0);
        p->axis->series << spiky;
        const int w = view->width();
        // Spike pixels: the column between 10 and 30 high, whatever x.
        const auto spikeIn = [&](const QImage &image, int x) {
            const QRect column(x - 2, p->pixel(0, 30).y(), 5, p->pixel(0, 10).y() - p->pixel(0, 30).y());
            return count(image, column, isMagenta);
        };
        QVERIFY(spikeIn(shot(view), p->pixel(spikeTime, 0).x()) > 10);

        view->zoomX(20);
        const double zoomedWidth = 20.0 * w;
        const QPointF centred(w / 2.0 - (zoomedWidth / 2 + spikeTime * zoomedWidth / 26), 0);
        view->setOffset(centred);
        QCOMPARE(view->offset(), centred);
        QVERIFY(spikeIn(shot(view), w / 2) > 10);

        // The overview squeezes everything into 100 x 100 pixels at the top
        // right; panned away, the visible-window box there is far from the spike.
        const QRect inOverview(w - 100 + int(50 + spikeTime * 100 / 26) - 2, int(50 - 35 * 50.0 / 52), 5, 20);
        view->setOffset(QPointF(0, 0));
        const QImage overview = shot(view);
        QVERIFY(count(overview, inOverview, isMagenta) > 0);
        QVERIFY(near(overview, QPoint(w - 98, 50), isOverviewWindow) && !near(overview, QPoint(w - 50, 50), isOverviewWindow));
        spiky->clear();
        QCOMPARE(count(shot(view), inOverview, isMagenta), 0);
    }

    void trackingKeepsTheNewestPointInTheMiddle()
    {
        auto *tracked = new GraphSeries(QPen(Qt::darkGreen, 5), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        tracked->showMarkers = false;
        for (int i = 0; i <= 10; ++i)
            tracked->addPoint(i, 0);
        p->axis->series << tracked;
        view->setOriginFraction(QPointF(0.2, 0.5));
        view->zoomX(4);
        view->zoomY(4);
        view->setTracker(tracked);
        view->setTracking(true);
        const QPoint middle(view->width() / 2, view->height() / 2);
        const auto trackedColour = [](const QColor &c) { return c.green() > 80 && c.red() < 60 && c.blue() < 60; };

        QVERIFY(near(shot(view), middle, trackedColour));
        tracked->addPoint(11, 20);
        QVERIFY(near(shot(view), middle, trackedColour));
        const QPointF offset = view->offset();
        view->removeTracker();
        tracked->addPoint(12, -30);
        shot(view);
        QCOMPARE(view->offset(), offset);
    }

    // Slots and wheel zoom each direction within 1 to 20, keeping the view clamped.
    void zoomStaysWithinItsLimits()
    {
        wheel(view, QPoint(100, 100), -120);
        QCOMPARE(view->horizontalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
        p->graph->zoomX();
        QCOMPARE(view->offset().x(), -double(view->width() / 2));
        for (double zoom : {4, 8, 16, 20, 20}) {
            p->graph->zoomX();
            QCOMPARE(view->horizontalZoom(), zoom);
            QVERIFY(clamped(view));
        }
        wheel(view, QPoint(200, 200), -120);
        QVERIFY(qFuzzyCompare(view->horizontalZoom(), 16.0));
        QCOMPARE(view->verticalZoom(), 1.0);
        // No sticking once one direction reaches 20 while the other is at 1.
        for (int notch = 0; notch < 30; ++notch) {
            wheel(view, QPoint(view->width() - 5, 5), 120);
            QVERIFY(clamped(view));
        }
        QCOMPARE(view->horizontalZoom(), 20.0);
        QCOMPARE(view->verticalZoom(), 20.0);
        view->fit();
        QCOMPARE(view->verticalZoom(), 1.0);
        QCOMPARE(view->offset(), QPointF(0, 0));
    }

    void panningMovesTheContentWithinItsBounds()
    {
        const int w = view->width(), h = view->height();
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

    // In origin-handle mode (Space) the handle moves the origin within its
    // clamp; a press elsewhere places one timeline and pans.
    void originHandleModeMovesTheOriginOrPlacesATimeline()
    {
        const int w = view->width(), h = view->height();
        QTest::keyClick(view, Qt::Key_Space);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2 + 6, h / 2 - 6));
        moveHeld(view, QPoint(w * 3 / 4, h / 4));
        QCOMPARE(view->originFraction(), QPointF(float(double(w * 3 / 4) / w), float(double(h / 4) / h)));
        // Strip plus one axis on the left, one axis elsewhere.
        moveHeld(view, QPoint(0, h + 40));
        QCOMPARE(view->originFraction(), QPointF(120.0f / w, float(h - 60) / h));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(0, h - 1));
        // Grabbing the handle does not place a timeline.
        QVERIFY(view->timelines()->empty());

        view->setOriginFraction(QPointF(0.5, 0.5));
        const QPoint press(w * 3 / 4, h / 4);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, press);
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(std::fabs(*view->timelines()->front() - p->timeAt(press.x())) < 0.01);
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

    // Of two timelines ten pixels apart the later in the vector (further
    // left) is picked and dragged; Delete removes only the selected one and
    // tells the other plots.  A click far from every timeline selects none.
    void timelinesArePickedDraggedAndDeleted()
    {
        const double pixelsPerSecond = (view->width() / 2.0) / 13.0;
        auto early = std::make_shared<float>(1.0f);
        auto right = std::make_shared<float>(float(6.5 + 10 / pixelsPerSecond));
        auto left = std::make_shared<float>(6.5f);
        *view->timelines() = {early, right, left};
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(p->pixel(3.5, 0).x(), 50));
        QSignalSpy updated(view, &QGraphView::timelinesUpdated);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(view->timelines()->size(), size_t(3));

        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(p->pixel(6.5 + 5 / pixelsPerSecond, 0).x(), 100));
        QCOMPARE(view->selectedTimeline(), left);
        const QPoint target(p->pixel(2.6, 0).x(), 120);
        moveHeld(view, target);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, target);
        QVERIFY(std::fabs(*left - p->timeAt(target.x())) < 0.01);
        QCOMPARE(*right, float(6.5 + 10 / pixelsPerSecond));
        QCOMPARE(view->offset(), QPointF(0, 0));
        QCOMPARE(updated.count(), 1);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(*view->timelines(), Timelines({early, right}));
        // Deleted means gone: a second Delete finds nothing to delete.
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(*view->timelines(), Timelines({early, right}));
        QCOMPARE(updated.count(), 2);
    }

    void pressesOnAGraphWithoutAxesOnlyPan()
    {
        delete p->graph->takeFirst();
        view->timelines()->push_back(std::make_shared<float>(0.0f));
        p->graph->zoomX();
        p->graph->zoomY();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() / 2, 40));
        QVERIFY(!view->selectedTimeline());
        QTest::keyClick(view, Qt::Key_Space);
        const QPointF offset = view->offset();
        drag(view, QPoint(200, 200), QPoint(230, 190));
        QCOMPARE(view->offset(), offset + QPointF(30, -10));
        QCOMPARE(view->timelines()->size(), size_t(1));
        QVERIFY(clamped(view));
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
        QGraphView *chart = graph.view();
        chart->optimizeAxis();
        QCOMPARE(chart->originFraction(), QPointF(0.25, 0.75));
        // Shown, the origin keeps a strip for each axis's scale and one more
        // on the left: 3 * 60 px from the left edge, 2 * 60 px from the others.
        graph.show();
        QVERIFY(QTest::qWaitForWindowExposed(&graph));
        chart->optimizeAxis();
        QCOMPARE(chart->originFraction(), QPointF(std::max(0.25, double(float(3 * 60) / chart->width())),
                                                  std::min(0.75, double(float(chart->height() - 2 * 60) / chart->height()))));
        // An axis whose data sit on zero leaves the origin where it is.
        QGraph flat;
        addAxis(&flat, Qt::red, {curve({0, 0}, {0, 0})}, Tracked::No, Legend::No);
        flat.view()->setOriginFraction(QPointF(0.375, 0.625));
        flat.view()->optimizeAxis();
        QCOMPARE(flat.view()->originFraction(), QPointF(0.375, 0.625));
    }
};

QTEST_MAIN(TestGraphView)
#include "test_graph_view.moc"
