#pragma once

#include "ui_applicationsettingswidget.h"

#include <QDialog>

class QSettings;

// Edits the display choices of "settings.ini": coordinate format and
// number system.
class ApplicationSettingsWidget : public QDialog
{
    Q_OBJECT

public:
    ApplicationSettingsWidget(QWidget *parent, QSettings *settings);

private slots:
    void on_OK_clicked();

private:
    Ui::ApplicationSettingsWidgetClass ui;
    QSettings *m_settings;
};
