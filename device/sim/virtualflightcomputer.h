#pragma once

#include "device/hidtransport.h"
#include "device/sim/virtualdevice.h"

#include <memory>

// The virtual flight computer as a HID transport: the program talks to it
// exactly as to a real device (--demo, tests, benchmarks).  It announces its
// re-enumerations (firmware exit, bootloader start, unplug, plug) with
// deviceRemoved/deviceArrived, emitted from the thread that caused them.
// Connections stay safe to use after the transport is gone: their reads and
// writes then fail as on an unplugged device.
class VirtualFlightComputer : public HIDTransport
{
    Q_OBJECT

public:
    explicit VirtualFlightComputer(QObject *parent = nullptr);
    ~VirtualFlightComputer() override;

    QVector<HIDDeviceInfo> enumerate() override;
    std::unique_ptr<HIDConnection> open(const QString &path) override;

    // Its state, modes and fault injection.
    okukipo::sim::VirtualDevice &device() { return *virtualDevice; }

private:
    std::shared_ptr<okukipo::sim::VirtualDevice> virtualDevice;
};
