#pragma once

#include "model/tilerange.h"
#include "webserver/tilecache.h"

#include <QDialog>
#include <QVector>
#include <memory>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QWebEnginePage;
class TileAreaSaver;

// "Save this area for offline use": shows how many tiles an area takes and
// about how much room, then fetches them into the map cache with a progress
// bar and Cancel.
class SaveAreaDialog : public QDialog
{
    Q_OBJECT

public:
    struct Area {
        QString name;
        tiles::GeoBox box;
    };

    SaveAreaDialog(const QVector<Area> &areas, const tiles::TileSettings &settings, const QString &cacheRoot,
                   QWidget *parent = nullptr);
    ~SaveAreaDialog() override;

    tiles::SavePlan plan() const;
    QString summary() const;

    // Opens the dialog over a map page for the given areas and the page's
    // current view, with the local server's tile settings.
    static void open(QWidget *parent, QWebEnginePage *map, QVector<Area> areas);
    // The areas within a few distances of a GPS fix.
    static QVector<Area> areasAround(double latitude, double longitude);

private:
    void updatePlan();
    void start();
    void saverFinished(int saved, int failed, bool cancelled);
    void reject() override;

    const QVector<Area> m_areas;
    const tiles::TileSettings m_settings;
    const QString m_cacheRoot;
    QComboBox *m_area = nullptr;
    QSpinBox *m_zoom = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_limitNote = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_start = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    std::unique_ptr<TileAreaSaver> m_saver;
    bool m_running = false;
};
