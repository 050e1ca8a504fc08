#include "device/hidapitransport.h"

#include <QSocketNotifier>
#include <algorithm>
#include <hidapi/hidapi.h>
#include <libudev.h>
#include <unistd.h>

namespace hidapiframing {

OutputBuffer outputBuffer(const HIDReport &report)
{
    OutputBuffer buffer;
    std::copy(report.begin(), report.end(), buffer.begin());
    // hidapi sends the first byte as the report ID; the device numbers none.
    buffer[0] = 0;
    return buffer;
}

HIDReport inputReport(const unsigned char *data, int length)
{
    HIDReport report{};
    std::copy_n(data, std::clamp(length, 0, HIDReportSize - 1), report.begin() + 1);
    return report;
}

} // namespace hidapiframing

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
        const hidapiframing::OutputBuffer buffer = hidapiframing::outputBuffer(report);
        return hid_write(handle, buffer.data(), buffer.size()) == int(buffer.size());
    }

    // hidapi polls before it reads, so a timed-out read leaves nothing
    // pending on the buffer.
    bool readReport(HIDReport &report, int timeoutMs) override
    {
        std::array<unsigned char, HIDReportSize - 1> received{};
        const int length = hid_read_timeout(handle, received.data(), received.size(), timeoutMs);
        if (length <= 0)
            return false;
        report = hidapiframing::inputReport(received.data(), length);
        return true;
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

// hidapi lists every hidraw node, also those the user may not open: no
// udev rule installed, or one not yet loaded for a device plugged in before.
QString HIDAPITransport::openFailureAdvice(const QString &path) const
{
    const QByteArray node = path.toLocal8Bit();
    if (!path.startsWith(QLatin1String("/dev/hidraw")) || ::access(node.constData(), F_OK) != 0
        || ::access(node.constData(), R_OK | W_OK) == 0)
        return {};
    return QStringLiteral("%1 cannot be opened: no permission. Install the udev rule "
                          "/usr/lib/udev/rules.d/70-okukipo.rules, run \"sudo udevadm control --reload-rules\", "
                          "then unplug the device and plug it in again.")
        .arg(path);
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
