#include "ui/devicesettingstab.h"

#include "app/asker.h"
#include "device/okukipointerface.h"
#include "ui/formbuilding.h"
#include "ui/settingswidget.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

DeviceSettingsTab::DeviceSettingsTab(OKUKIPOInterface *worker, bool metric, QWidget *parent)
    : QWidget(parent)
    , m_worker(worker)
{
    setObjectName(QStringLiteral("settingsTab"));
    QGroupBox *group = newGroupBox(QStringLiteral("deviceSettingsGroup"), tr("Device Settings"), this);
    (new QVBoxLayout(this))->addWidget(group);
    auto *layout = new QVBoxLayout(group);
    m_settings = new SettingsWidget(group);
    m_settings->setObjectName(QStringLiteral("settings"));
    m_settings->setMetric(metric);
    layout->addWidget(m_settings, 1);
    auto *buttons = new QWidget(group);
    new QHBoxLayout(buttons);
    QPushButton *read = addButton(QStringLiteral("readSettings"), tr("Read Settings"), buttons);
    QPushButton *write = addButton(QStringLiteral("writeSettings"), tr("Write Settings"), buttons);
    QPushButton *reset = addButton(QStringLiteral("resetSettings"), tr("Reset Settings"), buttons);
    layout->addWidget(buttons);
    m_buttons = {read, write, reset};

    connect(read, &QPushButton::clicked, worker, &OKUKIPOInterface::readDeviceSettings);
    connect(write, &QPushButton::clicked, this, &DeviceSettingsTab::writeDeviceSettings);
    connect(reset, &QPushButton::clicked, worker, &OKUKIPOInterface::resetDeviceSettings);
}

void DeviceSettingsTab::writeDeviceSettings()
{
    const QString problem = m_settings->inputProblem();
    if (!problem.isEmpty()) {
        showMessage(this, QMessageBox::Warning, tr("Write Settings"), problem);
        return;
    }
    const OKUKIPOSettings settings = m_settings->getSettings();
    OKUKIPOInterface *w = m_worker;
    QMetaObject::invokeMethod(w, [w, settings] { w->writeDeviceSettings(settings); }, Qt::QueuedConnection);
}

void DeviceSettingsTab::settingsRead(OKUKIPOSettings settings)
{
    m_settings->setSettings(settings);
}
