#include "ui/comparisonwindow.h"

#include "app/asker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "model/flight.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"
#include "ui/qgraph.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace {

// Told apart on a white plot, and in the order a comparison usually grows.
const QColor itemColours[] = {Qt::blue,         Qt::red,       QColor(0, 150, 0), Qt::magenta,  QColor(255, 140, 0),
                              Qt::darkCyan,     Qt::black,     QColor(140, 70, 20), Qt::darkMagenta, QColor(120, 120, 0)};

QColor itemColour(std::size_t index)
{
    return itemColours[index % std::size(itemColours)];
}

bool comparable(const QString &path)
{
    return path.endsWith(QLatin1String(".kipo"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

// The quantities of the three plots: the item's curve and the unit it is shown in.
struct PlottedQuantity {
    const char *objectName;
    const char *title;
    const Series ComparedItem::*series;
    Dimension dimension;
};
const PlottedQuantity plotted[3] = {
    {"comparisonAltitudeGraph", "AGL Altitude", &ComparedItem::altitude, Dimension::Length},
    {"comparisonVelocityGraph", "Vertical Velocity", &ComparedItem::velocity, Dimension::Speed},
    {"comparisonAccelerationGraph", "Vertical Acceleration", &ComparedItem::acceleration, Dimension::Acceleration},
};

double displayed(double value, Dimension dimension, const DisplayUnits &units)
{
    switch (dimension) {
    case Dimension::Length:
        return units.length(value);
    case Dimension::Speed:
        return units.speed(value);
    default:
        return value;
    }
}

QString unitOf(Dimension dimension, const DisplayUnits &units)
{
    switch (dimension) {
    case Dimension::Length:
        return units.lengthUnit();
    case Dimension::Speed:
        return units.speedUnit();
    case Dimension::Acceleration:
        return QStringLiteral("g");
    default:
        return QStringLiteral("s");
    }
}

QString quantityText(double value, Dimension dimension, const DisplayUnits &units, bool signedValue = false)
{
    const double shown = displayed(value, dimension, units);
    return (signedValue && shown >= 0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', 2)
        + QLatin1Char(' ') + unitOf(dimension, units);
}

} // namespace

FlightComparisonWidget::FlightComparisonWidget(OKUStudio *owner, QWidget *parent)
    : QWidget(parent)
    , m_owner(owner)
    , m_apogeeAlignment(new QCheckBox(tr("Align on apogee"), this))
    , m_plots(new QSplitter(Qt::Vertical, this))
    , m_readings(new QLabel(this))
    , m_table(new QTableWidget(this))
{
    setObjectName(QStringLiteral("flightComparison"));
    setWindowTitle(tr("Flight comparison"));
    setAcceptDrops(true);
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    layout->addLayout(bar);
    bar->addWidget(m_apogeeAlignment);
    bar->addStretch();
    auto *add = new QPushButton(tr("Add flights or simulations..."), this);
    auto *csv = new QPushButton(tr("Export CSV..."), this);
    auto *png = new QPushButton(tr("Export PNG..."), this);
    for (QPushButton *button : {add, csv, png})
        bar->addWidget(button);
    connect(add, &QPushButton::clicked, this, &FlightComparisonWidget::addFilesFromDialog);
    connect(csv, &QPushButton::clicked, this, &FlightComparisonWidget::exportCSV);
    connect(png, &QPushButton::clicked, this, &FlightComparisonWidget::exportPNG);
    connect(m_apogeeAlignment, &QCheckBox::toggled, this, &FlightComparisonWidget::refresh);

    // The plots share their timelines, as a flight window's do.
    const auto timelines = std::make_shared<Timelines>();
    for (int i = 0; i < 3; ++i) {
        QFrame *frame = titledFrame(QString(), tr(plotted[i].title), m_plots);
        m_graphs[i] = new QGraph(frame);
        m_graphs[i]->setObjectName(QLatin1String(plotted[i].objectName));
        frame->layout()->addWidget(m_graphs[i]);
        m_plots->addWidget(frame);
        addAxis(m_graphs[i], Qt::black, {}, Tracked::No, Legend::No);
        m_graphs[i]->view()->setTimelines(timelines);
        connect(m_graphs[i]->view(), &QGraphView::timelinesUpdated, this, &FlightComparisonWidget::showTimelineReadings);
    }
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_plots);
    auto *lower = new QWidget(splitter);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_readings);
    lowerLayout->addWidget(m_table);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter);
    m_table->setObjectName(QStringLiteral("comparisonTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_readings->setObjectName(QStringLiteral("timelineReadings"));
    m_readings->setWordWrap(true);
    refresh();
}

bool FlightComparisonWidget::addFiles(const QStringList &paths)
{
    std::vector<ComparedItem> loaded;
    for (const QString &path : paths) {
        ComparedItemLoading loading = loadComparedItem(path);
        if (!loading.item) {
            showMessage(this, QMessageBox::Critical, tr("Could not compare"), loading.error);
            return false;
        }
        loaded.push_back(std::move(*loading.item));
    }
    addItems(std::move(loaded));
    return true;
}

void FlightComparisonWidget::addFlight(std::shared_ptr<OKUKIPOFlight> flight, const QString &name)
{
    addItems({comparedFlight(*flight, name)});
}

void FlightComparisonWidget::addItems(std::vector<ComparedItem> items)
{
    std::move(items.begin(), items.end(), std::back_inserter(m_items));
    refresh();
}

Alignment FlightComparisonWidget::alignment() const
{
    return m_apogeeAlignment->isChecked() ? Alignment::Apogee : Alignment::Launch;
}

void FlightComparisonWidget::addFilesFromDialog()
{
    const QStringList paths = Asker::current().openFileNames(this, tr("Compare flights"), QString(),
                                                             tr("Flights and simulations (*.kipo *.csv)"));
    if (!paths.isEmpty())
        addFiles(paths);
}

bool FlightComparisonWidget::exportCSV()
{
    const QString path = Asker::current().saveFileName(this, tr("Export comparison"), QString(), tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return false;
    const bool written = exportComparisonCSV(m_items, alignment(), path);
    if (!written)
        showMessage(this, QMessageBox::Critical, tr("Could not export"), path);
    return written;
}

bool FlightComparisonWidget::exportPNG()
{
    const QString path = Asker::current().saveFileName(this, tr("Export plots"), QString(), tr("PNG pictures (*.png)"));
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && m_plots->grab().save(&file, "PNG") && file.commit();
    if (!written)
        showMessage(this, QMessageBox::Critical, tr("Could not export"), path);
    return written;
}

DisplayUnits FlightComparisonWidget::displayUnits() const
{
    return m_owner ? DisplayUnits::fromSettings(*m_owner->settings()) : DisplayUnits(true);
}

void FlightComparisonWidget::refresh()
{
    const DisplayUnits units = displayUnits();
    fillPlots(units);
    fillTable(units);
    showTimelineReadings();
}

void FlightComparisonWidget::fillPlots(const DisplayUnits &units)
{
    for (int q = 0; q < 3; ++q) {
        Axis *axis = m_graphs[q]->first();
        qDeleteAll(axis->series);
        axis->series.clear();
        axis->yUnit = unitOf(plotted[q].dimension, units);
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            const ComparedItem &item = m_items[i];
            GraphSeries *curve = newCurve(itemColour(i), item.name + QStringLiteral(" (") + item.date + QLatin1Char(')'));
            // Ten sets of value labels would hide the curves; the timeline readings give the values.
            curve->showMarkers = false;
            curve->showLabels = false;
            const Series &series = item.*plotted[q].series;
            const double zero = item.alignmentTime(alignment());
            curve->reserve(int(series.size()));
            for (const SeriesPoint &point : series)
                curve->addPoint(point.time - zero, displayed(point.value, plotted[q].dimension, units));
            axis->series.append(curve);
        }
        m_graphs[q]->view()->optimizeAxis();
        m_graphs[q]->view()->update();
    }
    altitudeGraph()->updateLegend();
}

void FlightComparisonWidget::fillTable(const DisplayUnits &units)
{
    m_table->clear();
    m_table->setRowCount(int(StatisticCount));
    m_table->setColumnCount(int(m_items.size()));
    QStringList rows;
    for (std::size_t s = 0; s < StatisticCount; ++s)
        rows << tr(statisticName(Statistic(s)).label);
    m_table->setVerticalHeaderLabels(rows);
    if (m_items.empty())
        return;
    const Statistics reference = comparisonStatistics(m_items.front());
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        m_table->setHorizontalHeaderItem(int(i), new QTableWidgetItem(m_items[i].name));
        m_table->horizontalHeaderItem(int(i))->setForeground(itemColour(i));
        const Statistics statistics = comparisonStatistics(m_items[i]);
        const Statistics differences = statisticDifferences(statistics, reference);
        for (std::size_t s = 0; s < StatisticCount; ++s) {
            const Dimension dimension = statisticName(Statistic(s)).dimension;
            QString text = statistics[s] ? quantityText(*statistics[s], dimension, units) : tr("n/a");
            if (i > 0 && differences[s])
                text += QStringLiteral(" (") + quantityText(*differences[s], dimension, units, true) + QLatin1Char(')');
            m_table->setItem(int(s), int(i), new QTableWidgetItem(text));
        }
    }
    m_table->resizeColumnsToContents();
}

void FlightComparisonWidget::showTimelineReadings()
{
    const auto timelines = altitudeGraph()->view()->timelines();
    const std::shared_ptr<float> selected = altitudeGraph()->view()->selectedTimeline();
    if (timelines->empty() || m_items.empty()) {
        m_readings->setText(tr("Place a timeline to read every flight at one moment."));
        return;
    }
    const float t = selected ? *selected : *timelines->back();
    const DisplayUnits units = displayUnits();
    QStringList readings;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const ComparedItem &item = m_items[i];
        const float itemTime = t + item.alignmentTime(alignment());
        QStringList values;
        for (const PlottedQuantity &quantity : plotted)
            values << quantityText(sampleSeries(item.*quantity.series, itemTime).value, quantity.dimension, units);
        readings << QStringLiteral("<span style=\"color:%1\">%2: %3</span>")
                        .arg(itemColour(i).name(), item.name.toHtmlEscaped(), values.join(QStringLiteral(", ")));
    }
    m_readings->setText(QStringLiteral("t = %1 s &nbsp; ").arg(double(t), 0, 'f', 2)
                        + readings.join(QStringLiteral(" &nbsp; ")));
}

void FlightComparisonWidget::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl &url) {
            return url.isLocalFile() && comparable(url.toLocalFile());
        }))
        event->acceptProposedAction();
}

void FlightComparisonWidget::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    if (addFiles(paths))
        event->acceptProposedAction();
}
