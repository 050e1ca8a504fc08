#pragma once

#include "ui/qgraph.h"

#include <QCursor>
#include <QtTest>

#include <cmath>
#include <memory>

// A plot with the data origin in the middle of a 700 x 500 view.  The time
// axis holds 0..10 s, widened to 13 s at the right edge; values span
// -40..40, widened to -52..52.  So data (t, v) lands at
// (w/2 + t * (w/2)/13, h/2 - v * (h/2)/52) while unzoomed.
struct Plot {
    std::unique_ptr<QGraph> graph = std::make_unique<QGraph>();
    Axis *axis = nullptr;
    GraphSeries *level = nullptr; // red, at 40 from 0 to 10 s
    GraphSeries *slope = nullptr; // blue, from (0, 0) down to (10, -40)

    explicit Plot(bool withAxis = true)
    {
        if (withAxis) {
            axis = new Axis(QPen(Qt::blue), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
            axis->xUnit = QStringLiteral("s");
            level = new GraphSeries(QPen(Qt::red, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
            slope = new GraphSeries(QPen(Qt::blue, 3), QPen(Qt::black), QBrush(Qt::black), 2.0f);
            for (int i = 0; i <= 20; ++i) {
                level->addPoint(i * 0.5, 40);
                slope->addPoint(i * 0.5, -i * 2.0);
            }
            axis->series << level << slope;
            *graph << axis;
        }
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
