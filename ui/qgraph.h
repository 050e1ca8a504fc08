#pragma once

#include "ui/graphaxis.h"
#include "ui/qgraphview.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QMenuBar;

// A plot as a form places it: the "Options" menu, a legend row and the view.
// The graph is its own list of axes and owns them; the owner appends axes,
// adds curves and markers to them and then calls updateLegend().
class QGraph : public QWidget, public QList<Axis *>
{
    Q_OBJECT

public:
    explicit QGraph(QWidget *parent = nullptr);
    ~QGraph() override;

    QGraphView *view() const { return m_view; }
    // Owners add menus of their own next to "Options".
    QMenuBar *menuBar() const { return m_menuBar; }
    // Rebuilds the legend from the names and pen colours of all curves.
    void updateLegend();

public slots:
    void zoomX();
    void zoomY();

private:
    QMenuBar *m_menuBar;
    QHBoxLayout *m_legendLayout;
    QList<QLabel *> m_legendLabels;
    QGraphView *m_view;
};
