#include "ui/saveareadialog.h"

#include "webserver/tileareasaver.h"
#include "webserver/tileservice.h"
#include "webserver/webserver.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWebEnginePage>

SaveAreaDialog::SaveAreaDialog(const QVector<Area> &areas, const tiles::TileSettings &settings,
                               const QString &cacheRoot, QWidget *parent)
    : QDialog(parent)
    , m_areas(areas)
    , m_settings(settings)
    , m_cacheRoot(cacheRoot)
{
    setWindowTitle(tr("Save this area for offline use"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_area = new QComboBox(this);
    for (const Area &area : areas)
        m_area->addItem(area.name);
    form->addRow(tr("Area:"), m_area);
    m_zoom = new QSpinBox(this);
    m_zoom->setRange(0, tiles::MaxSaveZoom);
    m_zoom->setValue(tiles::MaxSaveZoom);
    form->addRow(tr("Deepest zoom level:"), m_zoom);
    layout->addLayout(form);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_limitNote = new QLabel(this);
    m_limitNote->setWordWrap(true);
    layout->addWidget(m_limitNote);
    m_progress = new QProgressBar(this);
    layout->addWidget(m_progress);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_start = m_buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    layout->addWidget(m_buttons);

    connect(m_area, qOverload<int>(&QComboBox::currentIndexChanged), this, &SaveAreaDialog::updatePlan);
    connect(m_zoom, qOverload<int>(&QSpinBox::valueChanged), this, &SaveAreaDialog::updatePlan);
    connect(m_start, &QPushButton::clicked, this, &SaveAreaDialog::start);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &SaveAreaDialog::reject);
    updatePlan();
}

SaveAreaDialog::~SaveAreaDialog() = default;

tiles::SavePlan SaveAreaDialog::plan() const
{
    const int index = m_area->currentIndex();
    return index < 0 ? tiles::SavePlan() : tiles::planSave(m_areas.at(index).box, m_zoom->value());
}

QString SaveAreaDialog::summary() const
{
    return m_summary->text();
}

void SaveAreaDialog::updatePlan()
{
    const tiles::SavePlan current = plan();
    m_summary->setText(tr("%1 tiles, about %2 MB (zoom levels 0 to %3)")
                           .arg(current.count)
                           .arg(double(current.estimatedBytes()) / (1024 * 1024), 0, 'f', 1)
                           .arg(current.maxZoom));
    m_limitNote->setText(current.cut() ? tr("The tile source allows at most %1 tiles per save, so this save "
                                            "stops at zoom level %2. Choose a smaller area for more detail.")
                                             .arg(tiles::MaxSaveTiles)
                                             .arg(current.maxZoom)
                                       : QString());
    m_progress->setRange(0, int(current.count));
    m_progress->setValue(0);
    m_start->setEnabled(current.count > 0);
}

void SaveAreaDialog::start()
{
    const tiles::SavePlan current = plan();
    m_area->setEnabled(false);
    m_zoom->setEnabled(false);
    m_start->setEnabled(false);
    m_running = true;
    m_saver = std::make_unique<TileAreaSaver>(m_settings, current.tiles(), m_cacheRoot);
    connect(m_saver.get(), &TileAreaSaver::progress, m_progress, &QProgressBar::setValue);
    connect(m_saver.get(), &TileAreaSaver::finished, this, &SaveAreaDialog::saverFinished);
    m_saver->start();
}

void SaveAreaDialog::saverFinished(int saved, int failed, bool cancelled)
{
    m_running = false;
    m_summary->setText(cancelled ? tr("Cancelled: %1 tiles saved.").arg(saved)
                                 : failed > 0 ? tr("%1 tiles saved; %2 could not be fetched.").arg(saved).arg(failed)
                                              : tr("%1 tiles saved for offline use.").arg(saved));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(tr("Close"));
}

void SaveAreaDialog::reject()
{
    // Cancel stops a running save first; the next one closes.
    if (m_running) {
        m_saver->cancel();
        return;
    }
    QDialog::reject();
}

void SaveAreaDialog::open(QWidget *parent, QWebEnginePage *map, QVector<Area> areas)
{
    const WebServer *server = WebServer::instance();
    if (!server)
        return;
    const tiles::TileSettings settings = server->tiles().settings();
    const QString cacheRoot = server->tiles().cacheRoot();
    QPointer<QWidget> owner(parent);
    map->runJavaScript(QStringLiteral("JSON.stringify(mapState().view)"), [=](const QVariant &view) mutable {
        if (!owner)
            return;
        const QJsonObject box = QJsonDocument::fromJson(view.toString().toUtf8()).object();
        if (!box.isEmpty())
            areas.append({ tr("The current view"),
                           { box.value(QLatin1String("south")).toDouble(), box.value(QLatin1String("west")).toDouble(),
                             box.value(QLatin1String("north")).toDouble(), box.value(QLatin1String("east")).toDouble() } });
        if (areas.isEmpty())
            return;
        auto *dialog = new SaveAreaDialog(areas, settings, cacheRoot, owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
}

QVector<SaveAreaDialog::Area> SaveAreaDialog::areasAround(double latitude, double longitude)
{
    QVector<Area> areas;
    for (const double radiusKm : { 2.0, 5.0, 10.0, 1.0 })
        areas.append({ tr("Within %1 km of the current GPS fix").arg(radiusKm),
                       tiles::boxAround(latitude, longitude, radiusKm) });
    return areas;
}
