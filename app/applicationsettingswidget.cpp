#include "app/applicationsettingswidget.h"

#include "app/asker.h"
#include "app/units.h"
#include "webserver/tilecache.h"
#include "webserver/tileservice.h"
#include "webserver/webserver.h"

#include <QSettings>

namespace {

// Selects the item carrying the stored value; a value no item carries
// leaves nothing selected.
void selectStored(QComboBox *combo, const QSettings &settings, const char *key)
{
    combo->setCurrentIndex(combo->findData(settings.value(QLatin1String(key), 0)));
}

// A combo with nothing selected keeps what is stored rather than writing
// an invalid value over it.
void storeSelected(const QComboBox *combo, QSettings &settings, const char *key)
{
    if (combo->currentIndex() >= 0)
        settings.setValue(QLatin1String(key), combo->currentData());
}

} // namespace

ApplicationSettingsWidget::ApplicationSettingsWidget(QWidget *parent, QSettings *settings)
    : QDialog(parent)
    , m_settings(settings)
{
    ui.setupUi(this);
    ui.coordinateFormat->addItem(tr("Decimal degrees"), int(DecimalDegrees));
    ui.coordinateFormat->addItem(tr("Degrees, minutes and seconds"), int(DegreesMinutesSeconds));
    ui.coordinateFormat->addItem(tr("Degrees and decimal minutes"), int(DegreesDecimalMinutes));
    ui.numberSystem->addItem(tr("Metric"), int(Metric));
    ui.numberSystem->addItem(tr("Imperial"), int(Imperial));
    selectStored(ui.coordinateFormat, *m_settings, CoordinateFormatKey);
    selectStored(ui.numberSystem, *m_settings, NumberSystemKey);
    const tiles::TileSettings tileSettings = tiles::settingsFrom(*m_settings);
    ui.tileServer->setText(tileSettings.urlTemplate);
    ui.tileCacheLimit->setValue(int(tileSettings.cacheLimitBytes / (1024 * 1024)));
    showMapCacheSize();
}

void ApplicationSettingsWidget::showMapCacheSize()
{
    const double megabytes = double(TileCache::size()) / (1024 * 1024);
    ui.mapCacheSize->setText(tr("Map cache: %1 MB").arg(megabytes, 0, 'f', 1));
}

void ApplicationSettingsWidget::on_clearMapCache_clicked()
{
    if (!TileCache::clear())
        showMessage(this, QMessageBox::Warning, tr("Clear map cache"),
                    tr("Some map tiles could not be removed from %1").arg(TileCache::defaultRoot()));
    showMapCacheSize();
}

void ApplicationSettingsWidget::on_OK_clicked()
{
    storeSelected(ui.coordinateFormat, *m_settings, CoordinateFormatKey);
    storeSelected(ui.numberSystem, *m_settings, NumberSystemKey);
    m_settings->setValue(QLatin1String(tiles::ServerKey), ui.tileServer->text().trimmed());
    m_settings->setValue(QLatin1String(tiles::CacheLimitKey), ui.tileCacheLimit->value());
    if (WebServer *server = WebServer::instance())
        server->tiles().configure(tiles::settingsFrom(*m_settings));
    showMessage(this, QMessageBox::Warning, tr("Restart required"),
                tr("Certain settings require the application to be restarted."));
    accept();
}
