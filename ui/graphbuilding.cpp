#include "ui/graphbuilding.h"

#include "ui/graphaxis.h"
#include "ui/graphseries.h"
#include "ui/qgraph.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

GraphSeries *newCurve(const QColor &colour, const QString &name)
{
    const QPen pen(QBrush(colour), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    auto *curve = new GraphSeries(pen, QPen(Qt::black), QBrush(Qt::black, Qt::SolidPattern), 2.0f);
    curve->name = name;
    curve->showMarkers = true;
    return curve;
}

Axis *addAxis(QGraph *graph, const QColor &axisColour, const QList<GraphSeries *> &curves, Tracked tracked,
              Legend legend)
{
    auto *axis = new Axis(QPen(axisColour), QPen(Qt::black), QPen(Qt::black), QPen(Qt::black));
    axis->xUnit = QStringLiteral("s");
    for (GraphSeries *curve : curves)
        axis->series.append(curve);
    graph->append(axis);
    if (tracked == Tracked::Yes)
        graph->view()->setTracker(curves.first());
    graph->view()->optimizeAxis();
    if (legend == Legend::Yes)
        graph->updateLegend();
    return axis;
}

QFrame *titledFrame(const QString &objectName, const QString &title, QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(objectName);
    frame->setFrameShape(QFrame::StyledPanel);
    (new QVBoxLayout(frame))->addWidget(new QLabel(title, frame));
    return frame;
}

QWidget *tabPage(const QString &objectName, QWidget *parent)
{
    auto *page = new QWidget(parent);
    page->setObjectName(objectName);
    return page;
}
