#include "ui/curvethinning.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// One data unit per pixel; columns 0..199 are visible, and like the view the
// thinning looks two columns beyond them, where a line's width still reaches in.
const PixelColumns view200{1.0, 0.0, -2.0, 201.0};

// A random walk with many points per pixel column, starting left of the view
// and ending right of it.
QVector<QPointF> randomWalk(int count, double fromX, double toX, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<QPointF> points;
    double y = 50;
    for (int i = 0; i < count; ++i) {
        y = std::clamp(y + random.bounded(6.0) - 3.0, -20.0, 120.0);
        points.append(QPointF(fromX + (toX - fromX) * i / count, y));
    }
    return points;
}

// A smooth curve with sensor noise, many samples per column.
QVector<QPointF> flightLike(int count, double fromX, double toX, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<QPointF> points;
    for (int i = 0; i < count; ++i) {
        const double x = fromX + (toX - fromX) * i / count;
        points.append(QPointF(x, 50 + 30 * std::sin(x / 20) + random.bounded(4.0) - 2));
    }
    return points;
}

bool inked(const QImage &image, int x, int y)
{
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() && qGray(image.pixel(x, y)) < 192;
}

int inkCount(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += inked(image, x, y);
    return count;
}

int differingInk(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += inked(a, x, y) != inked(b, x, y);
    return count;
}

bool inkWithinOnePixel(const QImage &from, const QImage &to)
{
    for (int y = 0; y < from.height(); ++y) {
        for (int x = 0; x < from.width(); ++x) {
            if (!inked(from, x, y))
                continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = inked(to, x + dx, y + dy);
            if (!near) {
                qWarning("ink at %d,%d has no counterpart", x, y);
                return false;
            }
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

QVector<QPointF> thinned(const QVector<QPointF> &points, bool sorted, const PixelColumns &columns = view200)
{
    QVector<QPointF> kept;
    thinToPixelColumns(points, sorted, columns, kept);
    return kept;
}

} // namespace

class TestGraphThinning : public QObject
{
    Q_OBJECT

private slots:
    void emptyStaysEmpty()
    {
        QVERIFY(thinned({}, true).isEmpty());
        QVERIFY(thinned({}, false).isEmpty());
    }

    void sparsePointsAreAllKept()
    {
        const QVector<QPointF> points{{0.5, 1}, {3.5, 9}, {10.5, -2}, {11.5, 4}};
        QCOMPARE(thinned(points, true), points);
        QCOMPARE(thinned(points, false), points);
    }

    void aColumnKeepsFirstLowestHighestAndLastInOrder()
    {
        // All in column 5: highest before lowest, so the order must follow the data.
        const QVector<QPointF> points{{5.0, 3}, {5.1, 8}, {5.2, 6}, {5.3, 9}, {5.4, 2}, {5.5, 1}, {5.6, 4}, {5.9, 5}};
        const QVector<QPointF> expected{{5.0, 3}, {5.3, 9}, {5.5, 1}, {5.9, 5}};
        QCOMPARE(thinned(points, true), expected);
        QCOMPARE(thinned(points, false), expected);
    }

    void aColumnDoesNotRepeatAPoint()
    {
        // The first point is also the lowest and the last also the highest.
        const QVector<QPointF> points{{7.0, 1}, {7.2, 4}, {7.4, 3}, {7.8, 6}};
        const QVector<QPointF> expected{{7.0, 1}, {7.8, 6}};
        QCOMPARE(thinned(points, false), expected);
    }

    void runsOutsideTheViewKeepOnlyTheirEnds()
    {
        // Unsorted input takes the linear path; runs left and right collapse.
        const QVector<QPointF> points{{-30, 1}, {-20, 90}, {-10, -40}, {-5, 7}, {50, 5}, {300, 3}, {400, 80}, {250, 2}};
        const QVector<QPointF> expected{{-30, 1}, {-5, 7}, {50, 5}, {300, 3}, {250, 2}};
        QCOMPARE(thinned(points, false, PixelColumns{1.0, 0.0, 0.0, 199.0}), expected);
    }

    void sortedInputStartsOneBeforeTheView()
    {
        const QVector<QPointF> points{{-30, 1}, {-20, 90}, {-10, -40}, {-5, 7}, {50, 5}, {250, 3}, {300, 80}};
        const QVector<QPointF> expected{{-5, 7}, {50, 5}, {250, 3}};
        QCOMPARE(thinned(points, true, PixelColumns{1.0, 0.0, 0.0, 199.0}), expected);
    }

    void zoomedInThinningTouchesOnlyTheVisibleStretch()
    {
        // A million points over 1000 s seen at 100 px per second: the view
        // shows 2 s, so about 2000 points of which 4 per column survive at most.
        QVector<QPointF> points;
        points.reserve(1000000);
        for (int i = 0; i < 1000000; ++i)
            points.append(QPointF(i * 0.001, std::sin(i * 0.37)));
        const PixelColumns zoomed{100.0, -50000.0, 0.0, 199.0};
        const QVector<QPointF> kept = thinned(points, true, zoomed);
        QVERIFY(kept.size() <= 4 * 200 + 2);
        QVERIFY(kept.size() > 200);
        QVERIFY(kept.first().x() < 500.0 && kept.last().x() > 501.99);
        QVERIFY(kept.first().x() > 499.99 - 0.001 && kept.last().x() < 502.0 + 0.001);
    }

    // Rasterisers differ in which of two neighbouring pixels a steep line
    // lights, so "the same picture" means: every inked pixel of one drawing has
    // an inked pixel of the other at most one pixel away.  Aliased, few differ
    // at all; antialiased, a column crossed by hundreds of lines is a shade
    // darker than its thinned copy, but the shape is the same.
    void picturesAreTheSameAsDrawingEveryPoint_data()
    {
        QTest::addColumn<bool>("sorted");
        QTest::addColumn<bool>("antialiased");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("noisy");
        QTest::newRow("sorted, dense, aliased") << true << false << 200000 << false;
        QTest::newRow("sorted, dense, antialiased") << true << true << 200000 << false;
        QTest::newRow("unsorted path, dense") << false << true << 200000 << false;
        QTest::newRow("random walk filling whole columns") << true << true << 200000 << true;
        QTest::newRow("random walk, aliased") << true << false << 200000 << true;
        QTest::newRow("about one point per column") << true << false << 260 << true;
    }

    void picturesAreTheSameAsDrawingEveryPoint()
    {
        QFETCH(bool, sorted);
        QFETCH(bool, antialiased);
        QFETCH(int, count);
        QFETCH(bool, noisy);
        const QVector<QPointF> points = noisy ? randomWalk(count, -40, 240, 7) : flightLike(count, -40, 240, 7);
        const QVector<QPointF> kept = thinned(points, sorted);
        QVERIFY(kept.size() <= 4 * 204 + 4);
        const QImage full = drawn(points, antialiased);
        const QImage thin = drawn(kept, antialiased);
        QVERIFY(inkWithinOnePixel(full, thin));
        QVERIFY(inkWithinOnePixel(thin, full));
        if (!antialiased)
            QVERIFY2(differingInk(full, thin) * 10 < inkCount(full), qPrintable(QString::number(differingInk(full, thin))));
    }

    void aSingleSpikeSurvives()
    {
        QVector<QPointF> points = flightLike(100000, 0, 200, 5);
        points[54321].setY(95);
        const QVector<QPointF> kept = thinned(points, true);
        QVERIFY(kept.contains(points.at(54321)));
        QVERIFY(qGray(drawn(kept, false).pixel(int(points.at(54321).x()), 95)) < 128);
    }

    void nanPointsDoNotBreakThinning()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const QVector<QPointF> points{{1, 1}, {nan, 2}, {3, nan}, {4, 4}};
        const QVector<QPointF> kept = thinned(points, false);
        QCOMPARE(kept.size(), 4);
    }

    void labelsAreAtLeastTheSpacingApart()
    {
        QVector<QPointF> points;
        for (int i = 0; i < 10; ++i)
            points.append(QPointF(i * 30, 0));
        const QVector<int> expected{0, 4, 8};
        QCOMPARE(labelledPointIndices(points, true, 1.0, 100), expected);
        QCOMPARE(labelledPointIndices(points, false, 1.0, 100), expected);
        // Two pixels per unit halves the distance in units.
        const QVector<int> denser{0, 2, 4, 6, 8};
        QCOMPARE(labelledPointIndices(points, true, 2.0, 100), denser);
    }

    void unsortedLabelsFollowTheOrderOfThePoints()
    {
        const QVector<QPointF> points{{0, 0}, {150, 0}, {50, 0}, {260, 0}, {200, 0}};
        const QVector<int> expected{0, 1, 3};
        QCOMPARE(labelledPointIndices(points, false, 1.0, 100), expected);
        QVERIFY(labelledPointIndices({}, true, 1.0, 100).isEmpty());
    }

    void sortedAndLinearLabelSearchAgree()
    {
        const QVector<QPointF> points = randomWalk(50000, 0, 1000, 3);
        QCOMPARE(labelledPointIndices(points, true, 0.7, 100), labelledPointIndices(points, false, 0.7, 100));
    }
};

QTEST_MAIN(TestGraphThinning)
#include "test_graph_thinning.moc"
