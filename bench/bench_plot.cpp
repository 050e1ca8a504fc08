// Paint times of a plot holding a million-point curve, fully zoomed out and
// at zoom 20 while panning.  A paint must stay under one display frame (16 ms).
// Wall time suffers when other processes share the cores, so the processor
// time the paint costs this process (GL rasteriser threads included) is
// printed beside it.
#include "bench/benchtiming.h"
#include "ui/qgraph.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QRandomGenerator>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int pointCount = 1000000;
constexpr int frames = 60;

struct PaintTime
{
    double wall;
    double processor;
};

// A flight-like altitude curve sampled at 1 kHz with sensor noise on top, so
// that every pixel column holds a spread of values.
GraphSeries *millionPointCurve()
{
    auto *curve = new GraphSeries(QPen(Qt::blue, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin), QPen(Qt::black),
                                  QBrush(Qt::black), 2.0f);
    curve->reserve(pointCount);
    QRandomGenerator noise(42);
    for (int i = 0; i < pointCount; ++i) {
        const double t = i * 0.001;
        const double altitude = 1500 * std::sin(t / 1000 * M_PI) + 30 * std::sin(t * 3);
        curve->addPoint(t, altitude + noise.bounded(20.0) - 10);
    }
    return curve;
}

// One synchronous paint, including the time the GL implementation needs to finish it.
PaintTime timedPaint(QGraphView *view)
{
    QElapsedTimer wall;
    wall.start();
    const double processorStart = bench::processorMilliseconds();
    view->repaint();
    view->makeCurrent();
    QOpenGLContext::currentContext()->functions()->glFinish();
    return PaintTime{wall.nsecsElapsed() / 1e6, bench::processorMilliseconds() - processorStart};
}

double percentile95(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * 95 / 100)];
}

void report(const char *scenario, const std::vector<PaintTime> &times)
{
    std::vector<double> wall;
    std::vector<double> processor;
    for (const PaintTime &time : times) {
        wall.push_back(time.wall);
        processor.push_back(time.processor);
    }
    std::printf("%-22s wall median %6.2f ms, 95%% %6.2f ms | processor median %6.2f ms, 95%% %6.2f ms"
                " (%zu paints, goal < 16 ms)\n",
                scenario, bench::median(wall), percentile95(wall), bench::median(processor), percentile95(processor), times.size());
}

// What thinning saves: the whole curve drawn point by point into an image of
// the view's size, with the same pen and antialiasing.
void reportUnthinned(const Axis &axis, const QSize &size)
{
    const GraphSeries &curve = *axis.series.first();
    const QPointF scale = axis.scale();
    QVector<QPointF> polyline;
    polyline.reserve(curve.points().size());
    for (const QPointF &point : curve.points())
        polyline.append(QPointF(axis.originX + point.x() * scale.x(), axis.originY - point.y() * scale.y()));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
        image.fill(Qt::white);
        QElapsedTimer timer;
        timer.start();
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(curve.pen);
        painter.drawPolyline(polyline.constData(), polyline.size());
        painter.end();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%-22s median %6.2f ms (every point, no thinning, curve only)\n", "unthinned polyline", bench::median(times));
}

bool waitExposed(QWidget &widget)
{
    QElapsedTimer waiting;
    waiting.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && waiting.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return widget.windowHandle() && widget.windowHandle()->isExposed();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    QGraph empty;
    empty.resize(1280, 720);
    empty.show();
    QGraph graph;
    auto *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
    axis->xUnit = QStringLiteral("s");
    axis->yUnit = QStringLiteral("m");
    axis->series << millionPointCurve();
    graph << axis;
    graph.resize(1280, 720);
    graph.show();
    if (!waitExposed(empty) || !waitExposed(graph)) {
        std::printf("the plot windows were never shown\n");
        return 1;
    }
    QGraphView *view = graph.view();
    view->optimizeAxis();
    std::printf("view %dx%d, %d points\n", view->width(), view->height(), pointCount);

    std::vector<PaintTime> times;
    timedPaint(empty.view()); // warm-up: shaders, glyph cache
    for (int i = 0; i < frames; ++i)
        times.push_back(timedPaint(empty.view()));
    report("empty plot (floor)", times);

    times.clear();
    timedPaint(view);
    for (int i = 0; i < frames; ++i)
        times.push_back(timedPaint(view));
    report("zoomed out", times);
    reportUnthinned(*axis, view->size());

    view->zoomX(20);
    view->zoomY(20);
    const double panRange = view->width() * (view->horizontalZoom() - 1);
    const double centredY = -(view->height() * (view->verticalZoom() - 1)) / 2;
    times.clear();
    for (int i = 0; i < frames; ++i) {
        view->setOffset(QPointF(-i * panRange / frames, centredY));
        times.push_back(timedPaint(view));
    }
    report("zoom 20, panning", times);
    return 0;
}
