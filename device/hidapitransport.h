#pragma once

#include "device/hidtransport.h"

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Real USB devices through hidapi's hidraw backend.  hidapi has no hot-plug
// notification, so a udev monitor on the hidraw subsystem supplies
// deviceArrived/deviceRemoved where a udev daemon runs.
class HIDAPITransport : public HIDTransport
{
    Q_OBJECT

public:
    explicit HIDAPITransport(QObject *parent = nullptr);
    ~HIDAPITransport() override;

    QVector<HIDDeviceInfo> enumerate() override;
    std::unique_ptr<HIDConnection> open(const QString &path) override;

    // Starts hot-plug monitoring in the thread this object lives in.
    Q_INVOKABLE void startHotplugMonitor();

private:
    void readHotplugEvent();

    udev *udevContext = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *monitorNotifier = nullptr;
};
