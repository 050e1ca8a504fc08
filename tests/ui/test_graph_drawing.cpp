#include "ui/qgraph.h"

#include <QLabel>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using ColourTest = std::function<bool(const QColor &)>;

bool isRed(const QColor &c) { return c.red() > 200 && c.green() < 110 && c.blue() < 110; }
bool isBlue(const QColor &c) { return c.blue() > 200 && c.red() < 200 && c.green() < 200; }
bool isGreen(const QColor &c) { return c.green() > 150 && c.red() < 160 && c.blue() < 160; }
bool isWhite(const QColor &c) { return c.red() > 245 && c.green() > 245 && c.blue() > 245; }
bool isDark(const QColor &c) { return qGray(c.rgb()) < 128; }
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

Plot plot(bool withAxis = true)
{
    Plot result;
    result.graph = std::make_unique<QGraph>();
    if (withAxis) {
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

    void labelsAreDrawnWithTheirUnits()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        const int w = p.view()->width();
        // 100 px at (w/2)/13 px per second reads as a 2 s tick step.
        const QPoint tick = p.pixel(2, 0);
        const QRect underTick(tick.x() - 20, tick.y() + 6, 40, 16);
        const QRect betweenTicks(p.pixel(3, 0).x() - 3, tick.y() + 6, 6, 16);
        // The value label of the first point of the level curve, just above it.
        const QPoint first = p.pixel(0, 40);
        const QRect aboveFirst(first.x(), first.y() - 30, 60, 22);

        const QImage withUnits = shot(p.view());
        QVERIFY(count(withUnits, underTick, isDark) > 10);
        QCOMPARE(count(withUnits, betweenTicks, isDark), 0);
        QVERIFY(count(withUnits, aboveFirst, isDark) > 10);

        p.axis->xUnit.clear();
        p.axis->yUnit.clear();
        const QImage withoutUnits = shot(p.view());
        QVERIFY(count(withUnits, underTick, isDark) > count(withoutUnits, underTick, isDark));
        QVERIFY(count(withUnits, aboveFirst, isDark) > count(withoutUnits, aboveFirst, isDark));
        // The pinned value scale stays left of the strip.
        QVERIFY(count(withUnits, QRect(0, 0, 55, p.view()->height()), isDark) > 20);
        QVERIFY(w > 0);
    }

    void overviewShowsTheVisibleWindow()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        const int left = view->width() - 100;

        QImage image = shot(view);
        QVERIFY(count(image, QRect(left + 2, 2, 96, 96), isOverviewWindow) > 96 * 96 / 2);

        view->zoomX(4);
        view->zoomY(4);
        view->setOffset(QPointF(0, 0));
        image = shot(view);
        // Unzoomed a quarter of the content shows, the top-left quarter of the box.
        QVERIFY(near(image, QPoint(left + 12, 12), isOverviewWindow));
        QVERIFY(!near(image, QPoint(left + 60, 60), isOverviewWindow));
        QVERIFY(!near(image, QPoint(left + 90, 90), isOverviewWindow));

        view->showOverview(false);
        image = shot(view);
        QCOMPARE(count(image, QRect(left + 2, 2, 20, 20), isOverviewWindow), 0);
    }

    void overviewDrawsTheCurves()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        const QImage image = shot(p.view());
        // The whole content squeezed into the 100 x 100 box: the level curve at
        // 5 s lies at 50 + 5 * 50/13 across and 50 - 40 * 50/52 down.
        const QPoint level(p.view()->width() - 100 + int(std::lround(50 + 5 * 50.0 / 13)),
                           int(std::lround(50 - 40 * 50.0 / 52)));
        const auto reddish = [](const QColor &c) { return c.red() > 200 && c.green() < 150 && c.blue() < 100; };
        QVERIFY(near(image, level, reddish));
    }

    void timelinesAppearInEverySharingView()
    {
        Plot first = plot();
        Plot second = plot();
        QVERIFY(first.graph && second.graph);
        auto shared = std::make_shared<Timelines>();
        first.view()->setTimelines(shared);
        second.view()->setTimelines(shared);

        QTest::keyClick(first.view(), Qt::Key_Space);
        const QPoint at = first.pixel(5, 0);
        QTest::mouseClick(first.view(), Qt::LeftButton, Qt::NoModifier, QPoint(at.x(), 30));
        QCOMPARE(shared->size(), size_t(1));

        const QImage image = shot(second.view());
        const int h = second.view()->height();
        QVERIFY(near(image, QPoint(at.x(), h / 4), isGreen));
        QVERIFY(near(image, QPoint(at.x(), h * 3 / 4 + 20), isGreen));
        QVERIFY(!near(image, QPoint(at.x() + 30, h / 4), isGreen));
        // Its time label sits on a blue-grey box halfway down.
        const auto labelBox = [](const QColor &c) { return c.blue() > 220 && c.red() > 150 && c.red() < 220; };
        QVERIFY(count(image, QRect(at.x(), h / 2 - 25, 80, 30), labelBox) > 50);
    }

    void markersAtOneHeightAreStacked()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        p.axis->markers << AxisMarker{QPointF(5, 0), QStringLiteral("Launch detected")}
                        << AxisMarker{QPointF(5.2, 0), QStringLiteral("Apogee detected")};
        const QImage image = shot(p.view());
        const auto markerGreen = [](const QColor &c) { return c.green() > 180 && c.red() < 120 && c.blue() < 120; };
        const QPoint first = p.pixel(5, 0);
        const QPoint second = p.pixel(5.2, 0) - QPoint(0, 20);
        QVERIFY(count(image, QRect(first.x() + 40, first.y() - 6, 4, 4), markerGreen) > 0);
        QVERIFY(count(image, QRect(second.x() + 40, second.y() - 6, 4, 4), markerGreen) > 0);
    }

    void pinnedScaleStaysInViewWhenPanning()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        QGraphView *view = p.view();
        view->zoomX(4);
        view->setOffset(QPointF(-1e9, 0));
        const QImage image = shot(view);
        // The origin is far left out of view, yet the first axis line stands at the strip.
        QVERIFY(near(image, QPoint(60, view->height() / 3), isBlue));
        QVERIFY(count(image, QRect(0, 0, 55, view->height()), isDark) > 20);
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
        QVERIFY(offset.x() < 0 && offset.y() < 0);

        view->removeTracker();
        tracked->addPoint(12, -30);
        shot(view);
        QCOMPARE(view->offset(), offset);
    }

    void graphWithoutAxesShowsOnlyBackgroundAndOverview()
    {
        Plot p = plot(false);
        QVERIFY(p.graph);
        const QImage image = shot(p.view());
        const int w = p.view()->width();
        const int h = p.view()->height();
        QCOMPARE(count(image, QRect(0, 0, w - 101, h), isWhite), (w - 101) * h);
        QCOMPARE(count(image, QRect(0, 101, w, h - 101), isWhite), w * (h - 101));
        QVERIFY(count(image, QRect(w - 98, 2, 96, 96), isOverviewWindow) > 90 * 90);
    }

    void flatDataStillDraws()
    {
        Plot p = plot(false);
        QVERIFY(p.graph);
        auto *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
        auto *flat = new GraphSeries(QPen(Qt::red, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
        flat->addPoint(0, 0);
        flat->addPoint(0, 0);
        axis->series << flat;
        *p.graph << axis;
        p.view()->optimizeAxis();
        const QImage image = shot(p.view());
        QVERIFY(!image.isNull());
        QVERIFY(std::isfinite(p.view()->originFraction().x()) && std::isfinite(p.view()->originFraction().y()));
    }

    void legendListsNamedCurvesWithTheirColours()
    {
        Plot p = plot();
        QVERIFY(p.graph);
        p.level->name = QStringLiteral("X");
        p.slope->name = QStringLiteral("Y");
        p.graph->updateLegend();
        p.graph->updateLegend();
        const QList<QLabel *> labels = p.graph->findChildren<QLabel *>();
        QCOMPARE(labels.size(), 4);
        QStringList texts;
        for (const QLabel *label : labels)
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("X -> ")));
        QVERIFY(texts.contains(QStringLiteral("Y -> ")));
        for (const QLabel *label : labels)
            QTRY_VERIFY(label->isVisible() && label->width() > 0);
        const QImage image = p.graph->grab().toImage();
        for (const QLabel *label : labels) {
            if (!label->text().isEmpty())
                continue;
            const QPoint centre = label->mapTo(p.graph.get(), label->rect().center());
            QVERIFY(isRed(image.pixelColor(centre)) || isBlue(image.pixelColor(centre)));
        }
    }
};

QTEST_MAIN(TestGraphDrawing)
#include "test_graph_drawing.moc"
