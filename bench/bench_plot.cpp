// Paint times of a plot holding a million-point curve, fully zoomed out and
// at zoom 20 while panning.  A paint must stay under one display frame (16 ms).
#include "ui/qgraph.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QRandomGenerator>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int pointCount = 1000000;
constexpr int frames = 60;

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

// Milliseconds of one synchronous paint, including the time the GL
// implementation needs to finish it.
double timedPaint(QGraphView *view)
{
    QElapsedTimer timer;
    timer.start();
    view->repaint();
    view->makeCurrent();
    QOpenGLContext::currentContext()->functions()->glFinish();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char *scenario, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p95 = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    std::printf("%-34s median %6.2f ms   95%% %6.2f ms   max %6.2f ms   (%zu paints, goal < 16 ms)\n", scenario,
                median, p95, times.back(), times.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QGraph graph;
    auto *axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
    axis->xUnit = QStringLiteral("s");
    axis->yUnit = QStringLiteral("m");
    axis->series << millionPointCurve();
    graph << axis;
    graph.resize(1280, 720);
    graph.show();
    QElapsedTimer waiting;
    waiting.start();
    while (!(graph.windowHandle() && graph.windowHandle()->isExposed()) && waiting.elapsed() < 5000)
        application.processEvents(QEventLoop::AllEvents, 50);
    QGraphView *view = graph.view();
    view->optimizeAxis();
    std::printf("view %dx%d, %d points\n", view->width(), view->height(), pointCount);

    timedPaint(view); // warm-up: glyph cache, shaders
    std::vector<double> times;
    for (int i = 0; i < frames; ++i)
        times.push_back(timedPaint(view));
    report("zoomed out", times);
    times.clear();
    for (int i = 0; i < frames; ++i) { QElapsedTimer t; t.start(); QImage im = view->grab().toImage(); times.push_back(t.nsecsElapsed()/1e6); }
    report("raster zoomed out", times);

    view->zoomX(20);
    view->zoomY(20);
    const double panRange = view->width() * (view->horizontalZoom() - 1);
    const double step = panRange / frames;
    times.clear();
    for (int i = 0; i < frames; ++i) {
        view->setOffset(QPointF(-i * step, -(view->height() * (view->verticalZoom() - 1)) / 2));
        times.push_back(timedPaint(view));
    }
    report("zoom 20, panning", times);
    return 0;
}
