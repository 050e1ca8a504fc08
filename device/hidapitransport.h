#pragma once

#include "device/hidtransport.h"

#include <memory>

class QSocketNotifier;

// hidapi's framing of the device's unnumbered reports.
namespace hidapiframing {
using OutputBuffer = std::array<unsigned char, HIDReportSize>;
// What hid_write takes: the report ID 0 first, then the 64 packet bytes.
OutputBuffer outputBuffer(const HIDReport &report);
// The report for what hid_read returned (the 64 packet bytes, the ID left
// out): ID 0 first, then the bytes read, zeros after a short read.
HIDReport inputReport(const unsigned char *data, int length);
} // namespace hidapiframing

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
    QString openFailureAdvice(const QString &path) const override;

    // Starts hot-plug monitoring in the thread this object lives in.
    Q_INVOKABLE void startHotplugMonitor();

private:
    void readHotplugEvent();

    udev *udevContext = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *monitorNotifier = nullptr;
};
