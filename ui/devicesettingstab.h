#pragma once

#include "model/settings.h"

#include <QList>
#include <QWidget>

class OKUKIPOInterface;
class QPushButton;
class SettingsWidget;

// The "Settings" tab: the settings editor with the buttons that read,
// write and reset the device's settings record through the worker.
class DeviceSettingsTab : public QWidget
{
    Q_OBJECT

public:
    DeviceSettingsTab(OKUKIPOInterface *worker, bool metric, QWidget *parent);

    // The controls that need a connected device.
    QList<QWidget *> deviceControls() const { return m_buttons; }

    // Refuses input the editor cannot turn into a record, naming it.
    void writeDeviceSettings();
    void settingsRead(OKUKIPOSettings settings);

private:
    OKUKIPOInterface *m_worker;
    SettingsWidget *m_settings;
    QList<QWidget *> m_buttons;
};
