#include "ui/downloadstab.h"

#include "app/units.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "ui/formbuilding.h"
#include "ui/graphaxis.h"
#include "ui/graphbuilding.h"
#include "ui/graphseries.h"
#include "ui/livegps.h"
#include "ui/qgraph.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <optional>

namespace {

QString numberOrNa(std::optional<double> value)
{
    return value ? QString::number(*value, 'g', 6) : QStringLiteral("n/a");
}

// Date, latitude, longitude, flight duration and total data time.
QStringList tableCells(const OKUKIPOFlight &flight)
{
    QString date = QStringLiteral("n/a");
    if (const OKUEvent_GPSTime *time = flight.flightDateEvent())
        date = livegps::gpsTimeText(*time);
    const OKUEvent_GPSLLSol *position = flight.firstValidGPS();
    std::optional<double> latitude, longitude, duration;
    if (position) {
        latitude = position->latitude;
        longitude = position->longitude;
    }
    if (flight.isFlight())
        duration = std::max(flight.landingTime() - flight.launchTime(), 0.0f);
    const double dataTime =
        flight.events.empty() ? 0.0 : double(flight.events.back()->time - flight.events.front()->time);
    return {date, numberOrNa(latitude), numberOrNa(longitude), numberOrNa(duration), QString::number(dataTime, 'g', 6)};
}

} // namespace

DownloadsTab::DownloadsTab(bool metric, QWidget *parent)
    : QWidget(parent)
    , m_metric(metric)
{
    setObjectName(QStringLiteral("downloadTab"));
    auto *layout = new QVBoxLayout(this);

    QGroupBox *flights = newGroupBox(QStringLiteral("flightsGroup"), tr("Flights"), this);
    new QVBoxLayout(flights);
    m_table = new QTableWidget(0, 5, flights);
    m_table->setObjectName(QStringLiteral("flightsTable"));
    m_table->setHorizontalHeaderLabels({tr("Date [local]"), tr("Latitude [deg]"), tr("Longitude [deg]"),
                                        tr("Flight duration [s]"), tr("Total data time [s]")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    flights->layout()->addWidget(m_table);
    m_progress = new QProgressBar(flights);
    m_progress->setObjectName(QStringLiteral("downloadProgress"));
    m_progress->setValue(0);
    m_transferText = new QLabel(flights);
    m_transferText->setObjectName(QStringLiteral("downloadTransfer"));
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress);
    progressRow->addWidget(m_transferText);
    static_cast<QVBoxLayout *>(flights->layout())->addLayout(progressRow);
    m_download = addButton(QStringLiteral("downloadFlights"), tr("Download Flights"), flights);
    m_clearDevice = addButton(QStringLiteral("clearDevice"), tr("Clear Device"), flights);
    layout->addWidget(flights);

    auto *preview = new QWidget(this);
    new QVBoxLayout(preview);
    m_previewGraph = addGraphGroup(QStringLiteral("altitudePreviewGraph"), tr("Altitude Preview"), preview);
    m_preview = newCurve(Qt::blue);
    addAxis(m_previewGraph, Qt::red, {m_preview}, Tracked::No, Legend::No)->yUnit = DisplayUnits(metric).lengthUnit();
    m_load = addButton(QStringLiteral("loadSelectedFlight"), tr("Load selected flight"), preview);
    layout->addWidget(preview);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &DownloadsTab::flightSelectionChanged);
}

QList<QWidget *> DownloadsTab::deviceControls() const
{
    return {m_download, m_clearDevice, m_load};
}

std::shared_ptr<OKUKIPOFlight> DownloadsTab::selectedFlight() const
{
    const int row = m_table->currentRow();
    return row >= 0 && row < int(m_flights.size()) ? m_flights[row] : nullptr;
}

void DownloadsTab::clearFlights()
{
    m_flights.clear();
    m_table->setRowCount(0);
}

void DownloadsTab::downloadStarted()
{
    clearFlights();
    m_transfer.start();
    m_transferText->clear();
}

void DownloadsTab::flightDownloadProgress(int max, int current)
{
    m_progress->setMaximum(max);
    m_progress->setValue(qMin(current, max));
    m_transfer.update(max, current);
    m_transferText->setText(m_transfer.text());
}

void DownloadsTab::flightDownloaded(std::shared_ptr<OKUKIPOFlight> flight)
{
    // The parser only cuts the image; launch, landing and ground level come
    // from the analysis.
    flight->processFlight();
    const QStringList cells = tableCells(*flight);
    m_flights.push_back(std::move(flight));
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column)
        m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    if (row == 0)
        m_table->selectRow(0);
}

void DownloadsTab::flightSelectionChanged()
{
    showPreview(selectedFlight().get());
}

void DownloadsTab::flightDataCleared()
{
    clearFlights();
    showPreview(nullptr);
}

void DownloadsTab::showPreview(const OKUKIPOFlight *flight)
{
    m_preview->clear();
    if (flight) {
        const DisplayUnits units(m_metric);
        const float ground = flight->groundLevel();
        for (const OKUEvent *event : flight->events) {
            if (const auto *pressure = eventAs<OKUEvent_Pressure>(event))
                m_preview->addPoint(pressure->time, units.length(pressureAltitude(pressure->pressure) - ground));
        }
    }
    m_previewGraph->view()->optimizeAxis();
    m_previewGraph->view()->update();
}
