#pragma once

#include "ui_applicationsettingswidget.h"

#include <QDialog>

class QSettings;

// Edits the display choices of "settings.ini": coordinate format and
// number system; and the map's tile server and cache limit, with the
// cache's size and a way to empty it.
class ApplicationSettingsWidget : public QDialog
{
    Q_OBJECT

public:
    ApplicationSettingsWidget(QWidget *parent, QSettings *settings);

private slots:
    void on_OK_clicked();
    void on_clearMapCache_clicked();

private:
    void showMapCacheSize();

    Ui::ApplicationSettingsWidgetClass ui;
    QSettings *m_settings;
};
