#include "app/applicationsettingswidget.h"

#include "app/asker.h"
#include "app/units.h"

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
}

void ApplicationSettingsWidget::on_OK_clicked()
{
    storeSelected(ui.coordinateFormat, *m_settings, CoordinateFormatKey);
    storeSelected(ui.numberSystem, *m_settings, NumberSystemKey);
    showMessage(this, QMessageBox::Warning, tr("Restart required"),
                tr("Certain settings require the application to be restarted."));
    accept();
}
