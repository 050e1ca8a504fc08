#pragma once

#include "device/transferprogress.h"

#include <QList>
#include <QWidget>
#include <memory>
#include <vector>

class GraphSeries;
class OKUKIPOFlight;
class QGraph;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The "Download Data" tab: the flights downloaded from the device in a
// table, the selected one's altitude as a preview, and the buttons that
// download, clear the device and open the selected flight.
class DownloadsTab : public QWidget
{
    Q_OBJECT

public:
    DownloadsTab(bool metric, QWidget *parent);

    QPushButton *downloadButton() const { return m_download; }
    QPushButton *clearDeviceButton() const { return m_clearDevice; }
    QPushButton *loadButton() const { return m_load; }
    // The controls that need a connected device.
    QList<QWidget *> deviceControls() const;

    const std::vector<std::shared_ptr<OKUKIPOFlight>> &flights() const { return m_flights; }
    // Null when no row is current.
    std::shared_ptr<OKUKIPOFlight> selectedFlight() const;

    void clearFlights();
    // Empties the table and starts timing a new download.
    void downloadStarted();
    // Analyses the flight and adds a table row; the first row is selected.
    void flightDownloaded(std::shared_ptr<OKUKIPOFlight> flight);
    void flightDownloadProgress(int max, int current);
    void flightSelectionChanged();
    void flightDataCleared();

private:
    void showPreview(const OKUKIPOFlight *flight);

    bool m_metric;
    QTableWidget *m_table;
    QProgressBar *m_progress;
    QLabel *m_transferText;
    TransferProgress m_transfer;
    QPushButton *m_download;
    QPushButton *m_clearDevice;
    QGraph *m_previewGraph;
    GraphSeries *m_preview;
    QPushButton *m_load;
    std::vector<std::shared_ptr<OKUKIPOFlight>> m_flights;
};
