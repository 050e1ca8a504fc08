#include "ui/qgraph.h"

#include <QtTest>

#include <functional>
#include <memory>

namespace {

using ColourTest = std::function<bool(const QColor &)>;

bool isRed(const QColor &c) { return c.red() > 200 && c.green() < 110 && c.blue() < 110; }
bool isBlue(const QColor &c) { return c.blue() > 200 && c.red() < 200 && c.green() < 200; }
bool isMagenta(const QColor &c) { return c.red() > 150 && c.blue() > 100 && c.green() < 160; }
// The visible-window rectangle of the overview: orange at half alpha over white.
bool isOverviewWindow(const QColor &c) { return c.red() > 230 && c.green() > 160 && c.green() < 220 && c.blue() < 160; }

// True if some pixel within one pixel of `at` passes the test; antialiasing
// may put a line's strongest pixel next to where it mathematically lies.
bool near(const QImage &image, const QPoint &at, const ColourTest &test)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.rect().contains(at + QPoint(dx, dy)) && test(image.pixelColor(at + QPoint(dx, dy))))
                return true;
    return false;
}

int count(const QImage &image, const QRect &area, const ColourTest &test)
{
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            found += image.rect().contains(x, y) && test(image.pixelColor(x, y));
    return found;
}

QImage shot(QGraphView *view)
{
    view->repaint();
    return view->grabFrameBuffer();
}

// A plot with the data origin in the middle of the view.  The time axis holds
// 0..10 s, widened to 13 s at the right edge; values span -40..40, widened to
// -52..52 at the bottom and top edges.  So data (t, v) lands at
// (w/2 + t * (w/2)/13, h/2 - v * (h/2)/52) while unzoomed.
struct Plot
{
    std::unique_ptr<QGraph> graph;
    Axis *axis = nullptr;
    GraphSeries *level = nullptr; // red, at 40 from 0 to 10 s
    GraphSeries *slope = nullptr; // blue, from (0, 0) down to (10, -40)

    QGraphView *view() const { return graph->view(); }
    QPoint pixel(double t, double v) const
    {
        const double w = view()->width() / 2.0;
        const double h = view()->height() / 2.0;
        return QPoint(int(std::lround(w + t * w / 13)), int(std::lround(h - v * h / 52)));
    }
};

Plot plot()
{
    Plot result;
    result.graph = std::make_unique<QGraph>();
    {
        result.axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
        result.axis->xUnit = QStringLiteral("s");
        result.axis->yUnit = QStringLiteral("m");
        result.level = new GraphSeries(QPen(Qt::red, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        result.slope = new GraphSeries(QPen(Qt::blue, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        for (int i = 0; i <= 20; ++i) {
            result.level->addPoint(i * 0.5, 40);
            result.slope->addPoint(i * 0.5, -i * 2.0);
        }
        result.axis->series << result.level << result.slope;
        *result.graph << result.axis;
    }
    result.graph->resize(700, 500);
    result.graph->show();
    if (!QTest::qWaitForWindowExposed(result.graph.get()))
        result.graph.reset();
    else
        result.view()->setOriginFraction(QPointF(0.5, 0.5));
    return result;
}

} // namespace

class TestGraphDrawing : public QObject
{
    Q_OBJECT

private slots:
    void curvesPassThroughTheirPoints()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        const QImage image = shot(p.view());
        // Away from the labelled points at 0, 4 and 8 s, which carry markers.
        for (double t : {1.5, 2.5, 6.0, 9.0}) {
            QVERIFY2(near(image, p.pixel(t, 40), isRed), qPrintable(QString::number(t)));
            QVERIFY2(near(image, p.pixel(t, -t * 4), isBlue), qPrintable(QString::number(t)));
            QVERIFY(!near(image, p.pixel(t, 40) + QPoint(0, 12), isRed));
        }
        // Nothing right of the data's end.
        QVERIFY(!near(image, p.pixel(11, 40), isRed));
    }

    // One "apogee" sample among 20000 flat ones must be drawn however many
    // samples share its pixel column: in the plot, zoomed in and panned to
    // it, and in the overview box.
    void aOneSampleSpikeIsAlwaysDrawn()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        auto *spiky = new GraphSeries(QPen(Qt::magenta, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        spiky->showMarkers = false;
        const double spikeTime = 5.0005;
        for (int i = 0; i <= 20000; ++i)
            spiky->addPoint(i * 0.0005, i == 10001 ? 40 : 0);
        p.axis->series << spiky;
        QGraphView *view = p.view();
        const int w = view->width();
        // Spike pixels: the column between 10 and 30 high, whatever x.
        const auto spikeIn = [&](const QImage &image, int x) {
            const QRect column(x - 2, p.pixel(0, 30).y(), 5, p.pixel(0, 10).y() - p.pixel(0, 30).y());
            return count(image, column, isMagenta);
        };
        QVERIFY(spikeIn(shot(view), p.pixel(spikeTime, 0).x()) > 10);

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
        QVERIFY(count(shot(view), inOverview, isMagenta) > 0);
        spiky->clear();
        QCOMPARE(count(shot(view), inOverview, isMagenta), 0);
    }

    void aValueThatIsNotANumberLeavesAGap()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        p.slope->clear();
        for (int i = 0; i <= 20; ++i)
            p.slope->addPoint(i * 0.5, i == 11 ? std::nan("") : -30);
        const QImage image = shot(p.view());
        QVERIFY(near(image, p.pixel(2.5, -30), isBlue));
        QVERIFY(near(image, p.pixel(9.5, -30), isBlue));
        QVERIFY(!near(image, p.pixel(5.5, -30), isBlue));
    }

    void overviewShowsTheVisibleWindow()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        const int left = view->width() - 100;
        QVERIFY(count(shot(view), QRect(left + 2, 2, 96, 96), isOverviewWindow) > 96 * 96 / 2);

        view->zoomX(4);
        view->zoomY(4);
        view->setOffset(QPointF(0, 0));
        const QImage image = shot(view);
        // A quarter of the content shows: the top-left quarter of the box.
        QVERIFY(near(image, QPoint(left + 12, 12), isOverviewWindow));
        QVERIFY(!near(image, QPoint(left + 60, 60), isOverviewWindow));
    }

    void trackingKeepsTheNewestPointInTheMiddle()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        auto *tracked = new GraphSeries(QPen(Qt::darkGreen, 5), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        tracked->showMarkers = false;
        for (int i = 0; i <= 10; ++i)
            tracked->addPoint(i, 0);
        p.axis->series << tracked;
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
};

QTEST_MAIN(TestGraphDrawing)
#include "test_graph_drawing.moc"
