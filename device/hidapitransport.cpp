#include "device/hidapitransport.h"

#include <QSocketNotifier>
#include <hidapi/hidapi.h>
#include <libudev.h>

namespace {

class HIDAPIConnection : public HIDConnection
{
public:
    explicit HIDAPIConnection(hid_device *handle)
        : handle(handle)
    {
    }

    ~HIDAPIConnection() override { hid_close(handle); }

    // hidraw writes go straight to the kernel's interrupt-OUT queue and
    // return when the transfer is done or failed; there is nothing to wait
    // for afterwards, so the time-out has no separate role here.
    bool writeReport(const HIDReport &report, int) override
    {
        return hid_write(handle, report.data(), report.size()) == int(report.size());
    }

    // The device uses no numbered reports, so hidapi returns the 64 packet
    // bytes without the report ID; put them back behind ID 0.  hidapi polls
    // before it reads, so a timed-out read leaves nothing pending on the buffer.
    bool readReport(HIDReport &report, int timeoutMs) override
    {
        report.fill(0);
        return hid_read_timeout(handle, report.data() + 1, report.size() - 1, timeoutMs) > 0;
    }

    // hidraw keeps its own fixed queue per open file; the count cannot be set.
    void setInputBufferCount(int) override {}

    void flushInput() override
    {
        std::array<unsigned char, HIDReportSize> discarded;
        while (hid_read_timeout(handle, discarded.data(), discarded.size(), 0) > 0) {
        }
    }

private:
    hid_device *handle;
};

} // namespace

HIDAPITransport::HIDAPITransport(QObject *parent)
    : HIDTransport(parent)
{
    hid_init();
}

HIDAPITransport::~HIDAPITransport()
{
    delete monitorNotifier;
    if (monitor)
        udev_monitor_unref(monitor);
    if (udevContext)
        udev_unref(udevContext);
    hid_exit();
}

QVector<HIDDeviceInfo> HIDAPITransport::enumerate()
{
    QVector<HIDDeviceInfo> found;
    hid_device_info *list = hid_enumerate(0, 0);
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        HIDDeviceInfo info;
        info.path = QString::fromLocal8Bit(entry->path);
        info.vendorId = entry->vendor_id;
        info.productId = entry->product_id;
        info.versionNumber = entry->release_number;
        found.append(info);
    }
    hid_free_enumeration(list);
    return found;
}

std::unique_ptr<HIDConnection> HIDAPITransport::open(const QString &path)
{
    hid_device *handle = hid_open_path(path.toLocal8Bit().constData());
    if (!handle)
        return nullptr;
    return std::make_unique<HIDAPIConnection>(handle);
}

void HIDAPITransport::startHotplugMonitor()
{
    if (monitor)
        return;
    udevContext = udev_new();
    if (!udevContext)
        return;
    monitor = udev_monitor_new_from_netlink(udevContext, "udev");
    if (!monitor)
        return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr);
    if (udev_monitor_enable_receiving(monitor) < 0)
        return;
    monitorNotifier = new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read);
    connect(monitorNotifier, &QSocketNotifier::activated, this, &HIDAPITransport::readHotplugEvent);
}

void HIDAPITransport::readHotplugEvent()
{
    udev_device *device = udev_monitor_receive_device(monitor);
    if (!device)
        return;
    const QByteArray action = udev_device_get_action(device);
    const char *node = udev_device_get_devnode(device);
    const QString path = node ? QString::fromLocal8Bit(node) : QString();
    udev_device_unref(device);
    if (action == "add")
        emit deviceArrived(path);
    else if (action == "remove")
        emit deviceRemoved(path);
}
