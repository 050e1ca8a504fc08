#pragma once

#include "app/studiowindows.h"
#include "model/flightcomparison.h"

#include <QWidget>
#include <vector>

class DisplayUnits;
class OKUStudio;
class QCheckBox;
class QGraph;
class QLabel;
class QSplitter;
class QTableWidget;

// Flights and simulations overlaid: AGL altitude, vertical velocity and
// vertical acceleration on shared plots with one colour per item, time 0 at
// each item's launch (or apogee), the statistics side by side with their
// differences to the first item, and the timelines' readings of every item.
// Flight files and simulator CSVs dropped on the window join the comparison.
class FlightComparisonWidget : public QWidget, public ComparisonWindow
{
    Q_OBJECT

public:
    // `owner` supplies the display units; without one they are metric.
    explicit FlightComparisonWidget(OKUStudio *owner, QWidget *parent = nullptr);

    bool addFiles(const QStringList &paths) override;
    void addFlight(std::shared_ptr<OKUKIPOFlight> flight, const QString &name) override;
    void addItems(std::vector<ComparedItem> items);

    const std::vector<ComparedItem> &items() const { return m_items; }
    Alignment alignment() const;
    // The parts, for tests.
    QGraph *altitudeGraph() const { return m_graphs[0]; }
    QGraph *velocityGraph() const { return m_graphs[1]; }
    QGraph *accelerationGraph() const { return m_graphs[2]; }
    QCheckBox *apogeeAlignment() const { return m_apogeeAlignment; }
    QTableWidget *table() const { return m_table; }
    QLabel *timelineReadings() const { return m_readings; }

public slots:
    void addFilesFromDialog();
    // Both ask for a file name; false when not written (the user is told why).
    bool exportCSV();
    bool exportPNG();
    // Fills the plots and the table again, in the current units and alignment.
    void refresh();
    void showTimelineReadings();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    DisplayUnits displayUnits() const;
    void fillPlots(const DisplayUnits &units);
    void fillTable(const DisplayUnits &units);

    OKUStudio *m_owner;
    std::vector<ComparedItem> m_items;
    QCheckBox *m_apogeeAlignment;
    QSplitter *m_plots;
    QGraph *m_graphs[3];
    QLabel *m_readings;
    QTableWidget *m_table;
};
