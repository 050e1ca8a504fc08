#include "device/sim/virtualflightcomputer.h"

using okukipo::sim::VirtualDevice;

namespace {

class VirtualConnection : public HIDConnection
{
public:
    VirtualConnection(std::shared_ptr<VirtualDevice> device, quint64 session)
        : device(std::move(device))
        , session(session)
    {
    }

    bool writeReport(const HIDReport &report, int timeoutMs) override { return device->write(session, report); }
    bool readReport(HIDReport &report, int timeoutMs) override { return device->read(session, report, timeoutMs); }
    void setInputBufferCount(int count) override {}
    void flushInput() override { device->flush(session); }

private:
    std::shared_ptr<VirtualDevice> device;
    quint64 session;
};

} // namespace

VirtualFlightComputer::VirtualFlightComputer(QObject *parent)
    : HIDTransport(parent)
    , virtualDevice(std::make_shared<VirtualDevice>())
{
    virtualDevice->setEnumerationListener([this](const QString &removed, const QString &arrived) {
        if (!removed.isEmpty())
            emit deviceRemoved(removed);
        if (!arrived.isEmpty())
            emit deviceArrived(arrived);
    });
}

VirtualFlightComputer::~VirtualFlightComputer()
{
    virtualDevice->setEnumerationListener({});
    virtualDevice->unplug();
}

QVector<HIDDeviceInfo> VirtualFlightComputer::enumerate()
{
    return virtualDevice->enumerate();
}

std::unique_ptr<HIDConnection> VirtualFlightComputer::open(const QString &path)
{
    const quint64 session = virtualDevice->openSession(path);
    if (session == 0)
        return nullptr;
    return std::make_unique<VirtualConnection>(virtualDevice, session);
}
