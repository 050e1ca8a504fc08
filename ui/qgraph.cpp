#include "ui/qgraph.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

QGraph::QGraph(QWidget *parent)
    : QWidget(parent), m_menuBar(new QMenuBar(this)), m_legendLayout(new QHBoxLayout),
      m_view(new QGraphView(this, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_menuBar);
    layout->addLayout(m_legendLayout);
    layout->addWidget(m_view);

    QMenu *options = m_menuBar->addMenu(tr("Options"));
    QAction *overview = options->addAction(tr("Show Overview"));
    overview->setCheckable(true);
    overview->setChecked(true);
    connect(overview, &QAction::toggled, m_view, &QGraphView::showOverview);
    QAction *track = options->addAction(tr("Track input"));
    track->setCheckable(true);
    connect(track, &QAction::toggled, m_view, &QGraphView::setTracking);
    connect(options->addAction(tr("Zoom X")), &QAction::triggered, this, &QGraph::zoomX);
    connect(options->addAction(tr("Zoom Y")), &QAction::triggered, this, &QGraph::zoomY);
    connect(options->addAction(tr("Fit")), &QAction::triggered, m_view, &QGraphView::fit);
    connect(options->addAction(tr("Optimize Axis")), &QAction::triggered, m_view, &QGraphView::optimizeAxis);
}

QGraph::~QGraph()
{
    // The view reads the axes; it goes first so it never sees them half destroyed.
    delete m_view;
    qDeleteAll(*this);
    clear();
}

void QGraph::updateLegend()
{
    qDeleteAll(m_legendLabels);
    m_legendLabels.clear();
    for (const Axis *axis : qAsConst(*this)) {
        for (const GraphSeries *curve : axis->series) {
            auto *name = new QLabel(curve->name + QStringLiteral(" -> "), this);
            name->setStyleSheet(QStringLiteral("padding-left: 20px"));
            auto *colour = new QLabel(this);
            colour->setAutoFillBackground(true);
            QPalette palette = colour->palette();
            palette.setColor(colour->backgroundRole(), curve->pen.color());
            colour->setPalette(palette);
            colour->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);
            m_legendLayout->addWidget(name);
            m_legendLayout->addWidget(colour);
            m_legendLabels << name << colour;
        }
    }
}

void QGraph::zoomX()
{
    m_view->zoomX(2.0f);
}

void QGraph::zoomY()
{
    m_view->zoomY(2.0f);
}
